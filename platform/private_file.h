#pragma once
// Whether a secret's file is kept from other accounts.

namespace vorl::platform {

// False when the file at `path` is readable or writable by its group or by others (POSIX mode
// bits), as ssh refuses such key files. True otherwise, also when the file cannot be examined (the
// open that follows reports that). Windows: always true (no mode bits to check).
bool isPrivateFile(const char* path);

}  // namespace vorl::platform
