#include "protocol/event_log_records.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "protocol/text_field.h"
#include "wire/byte_order.h"

namespace vorl {

void SelInfo::encode(uint8_t* out) const {
    out[0] = version;
    putBe16(out + 1, recordCount);
    putBe16(out + 3, freeSpace);
    putBe32(out + 5, lastAddition);
    putBe32(out + 9, lastErase);
    out[13] = supportFlags;
}

void SelInfo::decode(const uint8_t* in) {
    version = in[0];
    recordCount = getBe16(in + 1);
    freeSpace = getBe16(in + 3);
    lastAddition = getBe32(in + 5);
    lastErase = getBe32(in + 9);
    supportFlags = in[13];
}

void SelRecord::encode(uint8_t* out) const {
    putBe16(out, recordNumber);
    out[2] = reserved2;
    putBe32(out + 3, timestamp);
    std::memcpy(out + 7, reserved7, sizeof reserved7);
    putBe16(out + 10, eventId);
    out[12] = severity;
    out[13] = reserved13;
    putBe16(out + 14, extra);
    std::memcpy(out + 16, eventData, sizeof eventData);
}

void SelRecord::decode(const uint8_t* in) {
    recordNumber = getBe16(in);
    reserved2 = in[2];
    timestamp = getBe32(in + 3);
    std::memcpy(reserved7, in + 7, sizeof reserved7);
    eventId = getBe16(in + 10);
    severity = in[12];
    reserved13 = in[13];
    extra = getBe16(in + 14);
    std::memcpy(eventData, in + 16, sizeof eventData);
}

void SelRecordEx::encode(uint8_t* out) const {
    record.encode(out);
    std::memcpy(out + SelRecord::kSize, description, kDescriptionSize);
}

void SelRecordEx::decode(const uint8_t* in) {
    record.decode(in);
    std::memcpy(description, in + SelRecord::kSize, kDescriptionSize);
}

namespace recipient_pairs {
namespace {

// The wire order of the pairs after "RECIPIENT_SELECT".
constexpr size_t kTextSize = AlertRecipient::kTextSize;
using Field = char (AlertRecipient::*)[kTextSize];
struct Keyed {
    const char* key;
    Field field;
};
constexpr Keyed kFields[] = {
    {"RECIPIENT_NAME", &AlertRecipient::name},
    {"EMAIL_ID", &AlertRecipient::mailAddress},
    {"PPP_LOGIN_ID", &AlertRecipient::pppLogin},
    {"NOTIFICATION_METHOD", &AlertRecipient::notificationMethod},
    {"PPP_PASSWORD", &AlertRecipient::pppPassword},
    {"ALERT_LEVEL", &AlertRecipient::alertLevel},
    {"SNMP_TRAP_DESTINATION", &AlertRecipient::snmpDestination},
};
constexpr const char* kSelectKey = "RECIPIENT_SELECT";

void putPair(uint8_t* pair, std::string_view key, std::string_view value) {
    putTextField(pair, kFieldSize, key);
    putTextField(pair + kFieldSize, kFieldSize, value);
}

std::string indexText(uint8_t index) {
    char text[8];
    std::snprintf(text, sizeof text, "%d", index);
    return text;
}

}  // namespace

bool build(const AlertRecipient& recipient, uint8_t* out) {
    std::memset(out, 0, kSize);
    putPair(out, kSelectKey, indexText(recipient.index));
    uint8_t* pair = out + kPairSize;
    for (const Keyed& keyed : kFields) {
        const char* text = recipient.*keyed.field;
        // A field without a NUL holds 32 characters: one more than the card keeps.
        if (std::memchr(text, 0, kTextSize) == nullptr) {
            std::memset(out, 0, kSize);
            return false;
        }
        putPair(pair, keyed.key, text);
        pair += kPairSize;
    }
    return true;
}

void buildSelect(uint8_t index, uint8_t* out) {
    std::memset(out, 0, kGetRequestSize);
    putPair(out, kSelectKey, indexText(index));
}

void parse(const uint8_t* in, size_t length, AlertRecipient& recipient) {
    for (size_t start = 0; start < length && start < kSize; start += kPairSize) {
        const size_t available = length - start;
        const size_t keyWidth = available < kFieldSize ? available : kFieldSize;
        const std::string key = getTextField(in + start, keyWidth);
        const size_t valueWidth =
            available <= kFieldSize
                ? 0
                : (available - kFieldSize < kFieldSize ? available - kFieldSize : kFieldSize);
        for (const Keyed& keyed : kFields) {
            if (key != keyed.key) continue;
            std::string value = getTextField(in + start + kFieldSize, valueWidth);
            if (value.size() > kTextSize - 1) value.resize(kTextSize - 1);
            putTextField(reinterpret_cast<uint8_t*>(recipient.*keyed.field), kTextSize, value);
            break;
        }
    }
}

}  // namespace recipient_pairs

}  // namespace vorl
