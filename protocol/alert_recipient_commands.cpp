// Alert recipient commands of group 0x04: one recipient as eight key/value pairs.
#include "protocol/card_session.h"
#include "protocol/event_log_records.h"
#include "protocol/record_exchange.h"
#include "wire/status_codes.h"

namespace vorl {
namespace {
constexpr uint16_t kSetAlertRecipient = 0x040E;
constexpr uint16_t kGetAlertRecipient = 0x040F;
}  // namespace

int CardSession::setAlertRecipient(const AlertRecipient& recipient) {
    uint8_t buffer[recipient_pairs::kSize];
    if (!recipient_pairs::build(recipient, buffer)) return kStatusOutOfRange;
    return sendFixed(*this, kSetAlertRecipient, buffer, sizeof buffer, sizeof buffer);
}

int CardSession::getAlertRecipient(AlertRecipient& recipient) {
    uint8_t buffer[recipient_pairs::kGetRequestSize];
    recipient_pairs::buildSelect(recipient.index, buffer);
    uint32_t responseLength = 0;
    const int status =
        transact(kGetAlertRecipient, buffer, sizeof buffer, responseLength, 0, sizeof buffer);
    if (status != kStatusSuccess) return status;
    recipient_pairs::parse(buffer, responseLength, recipient);
    return status;
}

}  // namespace vorl
