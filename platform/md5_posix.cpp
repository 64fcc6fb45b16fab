#include <openssl/evp.h>

#include "platform/md5.h"

namespace vorl::platform {

bool md5(const uint8_t* data, size_t length, uint8_t digest[16]) {
    unsigned int digestLength = 0;
    return EVP_Digest(data, length, digest, &digestLength, EVP_md5(), nullptr) == 1 &&
           digestLength == 16;
}

}  // namespace vorl::platform
