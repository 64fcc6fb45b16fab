// Event log commands, group 0x04 (alert recipients: alert_recipient_commands.cpp).
#include "protocol/card_session.h"
#include "protocol/event_log_records.h"
#include "protocol/record_exchange.h"
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

}  // namespace

int CardSession::getSelInfo(SelInfo& info) {
    return fetchRecord(*this, kGetSelInfo, info);
}

int CardSession::getSelEntry(SelRecord& record) {
    return queryRecord(*this, kGetSelEntry, record);
}

int CardSession::addSelEntry(const SelRecord& record) {
    return sendRecord(*this, kAddSelEntry, record);
}

int CardSession::clearSel(uint16_t& deleted) {
    uint8_t buffer[2] = {};
    const int status = exchangeFixed(*this, kClearSel, buffer, sizeof buffer, 0, sizeof buffer);
    if (status == kStatusSuccess) deleted = getBe16(buffer);
    return status;
}

int CardSession::deleteSelEntry(uint16_t recordNumber) {
    uint8_t buffer[2] = {};
    putBe16(buffer, recordNumber);
    return sendFixed(*this, kDeleteSelEntry, buffer, sizeof buffer, sizeof buffer);
}

int CardSession::getSelPolicy(uint8_t& policy) {
    return fetchByte(*this, kGetSelPolicy, policy);
}

int CardSession::setSelPolicy(uint8_t policy) {
    uint8_t buffer[1] = {policy};
    return sendFixed(*this, kSetSelPolicy, buffer, sizeof buffer, sizeof buffer);
}

int CardSession::getSelEntryEx(SelRecordEx& record) {
    return queryRecord(*this, kGetSelEntryEx, record);
}

}  // namespace vorl
