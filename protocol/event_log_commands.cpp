// Event log commands, group 0x04 (alert recipients: alert_recipient_commands.cpp).
#include "protocol/card_session.h"
#include "protocol/event_log_records.h"
#include "wire/byte_order.h"
#include "wire/status_codes.h"

namespace vorl {
namespace {
constexpr uint16_t kGetSelInfo = 0x0400;
constexpr uint16_t kGetSelEntry = 0x0401;
constexpr uint16_t kAddSelEntry = 0x0402;
constexpr uint16_t kClearSel = 0x0403;
constexpr uint16_t kDeleteSelEntry = 0x0404;
constexpr uint16_t kGetSelPolicy = 0x0406;
constexpr uint16_t kSetSelPolicy = 0x0407;
constexpr uint16_t kGetSelEntryEx = 0x0408;

// A "success" that does not carry the whole record is a broken answer: 33, like the other
// failures below the card's own status.
int answerStatus(int status, uint32_t responseLength, size_t needed) {
    if (status != kStatusSuccess) return status;
    return responseLength < needed ? kStatusConnectError : kStatusSuccess;
}
}  // namespace

int CardSession::getSelInfo(SelInfo& info) {
    uint8_t buffer[SelInfo::kSize] = {};
    uint32_t responseLength = 0;
    const int status = transact(kGetSelInfo, buffer, 0, responseLength, 0, sizeof buffer);
    const int result = answerStatus(status, responseLength, SelInfo::kSize);
    if (result == kStatusSuccess) info.decode(buffer);
    return result;
}

int CardSession::getSelEntry(SelRecord& record) {
    uint8_t buffer[SelRecord::kSize] = {};
    record.encode(buffer);
    uint32_t responseLength = 0;
    const int status =
        transact(kGetSelEntry, buffer, sizeof buffer, responseLength, 0, sizeof buffer);
    const int result = answerStatus(status, responseLength, SelRecord::kSize);
    if (result == kStatusSuccess) record.decode(buffer);
    return result;
}

int CardSession::addSelEntry(const SelRecord& record) {
    uint8_t buffer[SelRecord::kSize] = {};
    record.encode(buffer);
    uint32_t responseLength = 0;
    return transact(kAddSelEntry, buffer, sizeof buffer, responseLength, 0, sizeof buffer);
}

int CardSession::clearSel(uint16_t& deleted) {
    uint8_t buffer[2] = {};
    uint32_t responseLength = 0;
    const int status = transact(kClearSel, buffer, 0, responseLength, 0, sizeof buffer);
    const int result = answerStatus(status, responseLength, sizeof buffer);
    if (result == kStatusSuccess) deleted = getBe16(buffer);
    return result;
}

int CardSession::deleteSelEntry(uint16_t recordNumber) {
    uint8_t buffer[2] = {};
    putBe16(buffer, recordNumber);
    uint32_t responseLength = 0;
    return transact(kDeleteSelEntry, buffer, sizeof buffer, responseLength, 0, sizeof buffer);
}

int CardSession::getSelPolicy(uint8_t& policy) {
    uint8_t buffer[1] = {};
    uint32_t responseLength = 0;
    const int status = transact(kGetSelPolicy, buffer, 0, responseLength, 0, sizeof buffer);
    const int result = answerStatus(status, responseLength, sizeof buffer);
    if (result == kStatusSuccess) policy = buffer[0];
    return result;
}

int CardSession::setSelPolicy(uint8_t policy) {
    uint8_t buffer[1] = {policy};
    uint32_t responseLength = 0;
    return transact(kSetSelPolicy, buffer, sizeof buffer, responseLength, 0, sizeof buffer);
}

int CardSession::getSelEntryEx(SelRecordEx& record) {
    uint8_t buffer[SelRecordEx::kSize] = {};
    record.encode(buffer);
    uint32_t responseLength = 0;
    const int status =
        transact(kGetSelEntryEx, buffer, sizeof buffer, responseLength, 0, sizeof buffer);
    const int result = answerStatus(status, responseLength, SelRecordEx::kSize);
    if (result == kStatusSuccess) record.decode(buffer);
    return result;
}

}  // namespace vorl
