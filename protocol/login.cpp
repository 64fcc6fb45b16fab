// Login, group 0x00: challenge, then user name and MD5(password + challenge).
#include <cstring>

#include "platform/md5.h"
#include "protocol/card_session.h"
#include "protocol/record_exchange.h"
#include "protocol/text_field.h"
#include "wire/status_codes.h"

namespace vorl {
namespace {
constexpr uint16_t kGetChallenge = 0x0001;
constexpr uint16_t kLogin = 0x0002;
constexpr size_t kLoginRecordSize = 72;
constexpr size_t kFieldWidth = 32;
}  // namespace

int CardSession::getChallenge(uint8_t challenge[8]) {
    // The first 8 bytes are the challenge whatever the answer's length (a longer one is cut, a
    // shorter one reads as zeros), so this is not a whole-record getter of record_exchange.h.
    uint8_t answer[64] = {};
    uint32_t responseLength = 0;
    const int status = transact(kGetChallenge, answer, 0, responseLength, 0, sizeof answer);
    if (status != kStatusSuccess) return status;
    std::memcpy(challenge, answer, 8);
    return kStatusSuccess;
}

int CardSession::login(std::string_view userName, std::string_view password) {
    // Both texts need their terminating NUL inside the 32-byte fields.
    if (userName.size() >= kFieldWidth || password.size() >= kFieldWidth) return kStatusOutOfRange;

    uint8_t record[kLoginRecordSize] = {};
    putTextField(record, kFieldWidth, userName);

    uint8_t challenge[8] = {};
    if (getChallenge(challenge) != 0) return kStatusAuthenticationFailed;

    uint8_t input[kFieldWidth + 8];
    std::memcpy(input, password.data(), password.size());
    std::memcpy(input + password.size(), challenge, sizeof challenge);
    uint8_t digest[16];
    if (!platform::md5(input, password.size() + sizeof challenge, digest))
        return kStatusGeneralError;
    std::memcpy(record + kFieldWidth, digest, sizeof digest);

    return sendFixed(*this, kLogin, record, sizeof record, sizeof record);
}

}  // namespace vorl
