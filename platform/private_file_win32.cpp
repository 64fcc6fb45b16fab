#include "platform/private_file.h"

namespace vorl::platform {

bool isPrivateFile(const char*) {
    return true;
}

}  // namespace vorl::platform
