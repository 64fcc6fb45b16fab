// General settings, clock and resets (group 0x09) and the heartbeat interval (group 0x0A).
#include <cstring>

#include "platform/sleep.h"
#include "protocol/card_session.h"
#include "protocol/general_records.h"
#include "protocol/record_exchange.h"
#include "wire/byte_order.h"
#include "wire/status_codes.h"

namespace vorl {
namespace {
constexpr uint16_t kResetCard = 0x0900;
constexpr uint16_t kResetCardToDefaults = 0x0901;
constexpr uint16_t kGetFirmwareInfo = 0x0903;
constexpr uint16_t kSetServerInfo = 0x0904;
constexpr uint16_t kGetServerInfo = 0x0905;
constexpr uint16_t kSetCardName = 0x0906;
constexpr uint16_t kGetCardName = 0x0907;
constexpr uint16_t kSetSmtpConfig = 0x0908;
constexpr uint16_t kGetSmtpConfig = 0x0909;
constexpr uint16_t kSetCardTime = 0x090A;
constexpr uint16_t kGetCardTime = 0x090B;
constexpr uint16_t kGetHeartbeatInterval = 0x0A00;
constexpr uint16_t kSetHeartbeatInterval = 0x0A01;
constexpr uint32_t kResetPauseMs = 3000;
// Answers without a payload still get a buffer to land in.
constexpr uint32_t kSmallAnswerCapacity = 64;

// The card restarts after a reset; nothing may talk to it before it is back.
int sendReset(CardSession& session, uint16_t command) {
    const int status = sendEmpty<kSmallAnswerCapacity>(session, command);
    platform::sleepMs(kResetPauseMs);
    return status;
}

}  // namespace

int CardSession::resetCard() {
    return sendReset(*this, kResetCard);
}

int CardSession::resetCardToDefaults() {
    return sendReset(*this, kResetCardToDefaults);
}

int CardSession::getFirmwareInfo(FirmwareInfo& info) {
    // Zeroed and cut at the answer's length, so the texts end inside what the card sent.
    uint8_t staging[FirmwareInfo::kSize] = {};
    uint32_t responseLength = 0;
    const int status = transact(kGetFirmwareInfo, staging, 0, responseLength, 0, sizeof staging);
    info.decode(staging, responseLength);
    return status;
}

int CardSession::setServerInfo(const ServerInfo& info) {
    return sendRecord(*this, kSetServerInfo, info);
}

int CardSession::getServerInfo(ServerInfo& info) {
    return fetchRecord(*this, kGetServerInfo, info);
}

int CardSession::setCardName(std::string_view name) {
    if (name.size() > kCardNameFieldSize) return kStatusOutOfRange;
    uint8_t buffer[kCardNameFieldSize] = {};
    std::memcpy(buffer, name.data(), name.size());
    return sendFixed(*this, kSetCardName, buffer, sizeof buffer, sizeof buffer);
}

int CardSession::getCardName(char* name, size_t capacity) {
    uint8_t staging[kCardNameFieldSize] = {};
    uint32_t responseLength = 0;
    const int status = transact(kGetCardName, staging, 0, responseLength, 0, sizeof staging);
    size_t length = strnlen(reinterpret_cast<const char*>(staging), responseLength);
    if (capacity == 0) return status;
    if (length > capacity - 1) length = capacity - 1;
    std::memcpy(name, staging, length);
    name[length] = '\0';
    return status;
}

int CardSession::setSmtpConfig(const SmtpConfig& config) {
    return sendRecord(*this, kSetSmtpConfig, config);
}

int CardSession::getSmtpConfig(SmtpConfig& config) {
    return fetchRecord(*this, kGetSmtpConfig, config);
}

int CardSession::getCardTime(CardTime& time) {
    uint8_t buffer[kSmallAnswerCapacity] = {};
    const int status =
        exchangeFixed(*this, kGetCardTime, buffer, sizeof buffer, 0, CardTime::kSize);
    if (status == kStatusSuccess) time.decode(buffer);
    return status;
}

int CardSession::setCardTime(const CardTime& wanted) {
    CardTime present;
    if (getCardTime(present) != kStatusSuccess) return kStatusGeneralError;
    CardTime request = wanted;
    if (wanted.seconds < present.seconds) {
        // Going back in time restarts the card, so it needs the caller's explicit consent.
        if (wanted.rollBack != 1) return kStatusOutOfRange;
    } else {
        request.rollBack = 0;
    }
    uint8_t buffer[kSmallAnswerCapacity] = {};
    request.encode(buffer);
    return sendFixed(*this, kSetCardTime, buffer, CardTime::kSize, sizeof buffer);
}

int CardSession::getHeartbeatInterval(int32_t& seconds) {
    uint8_t buffer[kSmallAnswerCapacity] = {};
    const int status = exchangeFixed(*this, kGetHeartbeatInterval, buffer, sizeof buffer, 0,
                                     kHeartbeatIntervalSize);
    if (status == kStatusSuccess) seconds = static_cast<int32_t>(getBe32(buffer));
    return status;
}

int CardSession::setHeartbeatInterval(int32_t seconds) {
    uint8_t buffer[kSmallAnswerCapacity] = {};
    putBe32(buffer, static_cast<uint32_t>(seconds));
    return sendFixed(*this, kSetHeartbeatInterval, buffer, kHeartbeatIntervalSize, sizeof buffer);
}

}  // namespace vorl
