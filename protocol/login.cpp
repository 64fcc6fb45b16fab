// Login, group 0x00: challenge, then user name and MD5(password + challenge).
#include <cstring>

#include "platform/md5.h"
#include "protocol/card_session.h"
#include "protocol/text_field.h"

namespace vorl {
namespace {
constexpr uint16_t kGetChallenge = 0x0001;
constexpr uint16_t kLogin = 0x0002;
constexpr size_t kLoginRecordSize = 72;
constexpr size_t kFieldWidth = 32;
}  // namespace

int CardSession::getChallenge(uint8_t challenge[8]) {
    // The card may send more than 8 bytes; only the first 8 are used.
    uint8_t answer[64] = {};
    uint32_t responseLength = 0;
    const int status = transact(kGetChallenge, answer, 0, responseLength, 0, sizeof answer);
    if (status != 0) return status;
    std::memcpy(challenge, answer, 8);
    return 0;
}

int CardSession::login(std::string_view userName, std::string_view password) {
    // Both texts need their terminating NUL inside the 32-byte fields.
    if (userName.size() >= kFieldWidth || password.size() >= kFieldWidth) return 26;

    uint8_t record[kLoginRecordSize] = {};
    putTextField(record, kFieldWidth, userName);

    uint8_t challenge[8] = {};
    if (getChallenge(challenge) != 0) return 1;

    uint8_t input[kFieldWidth + 8];
    std::memcpy(input, password.data(), password.size());
    std::memcpy(input + password.size(), challenge, sizeof challenge);
    uint8_t digest[16];
    if (!platform::md5(input, password.size() + sizeof challenge, digest)) return 30;
    std::memcpy(record + kFieldWidth, digest, sizeof digest);

    uint32_t responseLength = 0;
    return transact(kLogin, record, sizeof record, responseLength, 0, sizeof record);
}

}  // namespace vorl
