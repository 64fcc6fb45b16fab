#include "cli/password_source.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/private_file.h"
#include "wire/status_codes.h"

namespace vorl::cli {
namespace {

// Longer than any password login takes, so a longer first line is refused, not cut short.
constexpr size_t kMaxFileLine = 256;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

PasswordSource refused(int status, const std::string& error) {
    std::fprintf(stderr, "vorlcli: %s\n", error.c_str());
    PasswordSource source;
    source.status = status;
    source.error = error;
    return source;
}

}  // namespace

PasswordSource passwordSource(const char* fileName) {
    PasswordSource source;
    if (!fileName) {
        const char* value = std::getenv("VORL_PASSWORD");
        if (value) {
            source.given = true;
            source.password = value;
        }
        return source;
    }
    const std::string name = fileName;
    if (!platform::isPrivateFile(fileName)) {
        return refused(kStatusPermissionDenied,
                       "password file '" + name +
                           "' is accessible by other accounts; allow its owner alone "
                           "(chmod 600)");
    }
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(fileName, "r"));
    char line[kMaxFileLine + 2] = {};
    if (!file || (!std::fgets(line, sizeof line, file.get()) && std::ferror(file.get()))) {
        return refused(kStatusUnableToOpenFile, "cannot read password file '" + name + "'");
    }
    line[std::strcspn(line, "\r\n")] = '\0';
    source.given = true;
    source.password = line;
    return source;
}

}  // namespace vorl::cli
