#include <sys/stat.h>

#include "platform/private_file.h"

namespace vorl::platform {

bool isPrivateFile(const char* path) {
    struct stat info {};
    if (stat(path, &info) != 0) return true;
    return (info.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

}  // namespace vorl::platform
