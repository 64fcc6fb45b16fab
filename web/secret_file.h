#pragma once
// A secret (a card's password) kept in a file of its own, as the daemons' configuration files
// name it: the first line of a regular, non-empty file. The file is examined on the descriptor
// that is read, and opened without blocking, so a FIFO, a device or a directory put in its place
// is refused instead of read as an empty password or waited on for ever.
#include <string>

namespace vorl::web {

// Longest file taken: a password is short, so a larger file is a mistake (a wrong path).
constexpr size_t kMaxSecretFileSize = 4096;

// Reads the first line of `path` (without its line break) into `secret`. False with `error`
// saying why ("is a directory, not a regular file", "is empty", ...; the path is the caller's
// to add). `warning` is set (else cleared) when the file's mode lets its group or others read
// it: the secret is then not only the daemon's.
bool readSecretFile(const std::string& path, std::string& secret, std::string& error,
                    std::string& warning);

}  // namespace vorl::web
