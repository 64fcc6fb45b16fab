#include "protocol/network_records.h"

#include <cstring>

#include "protocol/record_text.h"
#include "protocol/text_field.h"

namespace vorl {
namespace {

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

void NetworkConfig::decode(const uint8_t* in) {
    char* fields[] = {method, interfaceName, macAddress, ipAddress, broadcast, netmask, gateway};
    for (size_t i = 0; i < 7; ++i) readFieldText(fields[i], in + i * kFieldWidth, kFieldWidth);
}

void NetworkConfig::encode(uint8_t* out) const {
    const char* fields[] = {method,    interfaceName, macAddress, ipAddress,
                            broadcast, netmask,       gateway};
    for (size_t i = 0; i < 7; ++i) writeFieldText(out + i * kFieldWidth, kFieldWidth, fields[i]);
}

bool StaticNetworkSettings::encode(uint8_t* out, std::string_view ip, std::string_view netmask,
                                   std::string_view gateway) {
    std::memset(out, 0, kSize);
    if (ip.size() > kMaxText || netmask.size() > kMaxText || gateway.size() > kMaxText)
        return false;
    putTextField(out, kFieldWidth, ip);
    putTextField(out + kFieldWidth, kFieldWidth, netmask);
    putTextField(out + 2 * kFieldWidth, kFieldWidth, gateway);
    return true;
}

uint8_t macChecksum(const uint8_t mac[kMacLength]) {
    unsigned sum = 0;
    for (size_t i = 0; i < kMacLength; ++i) sum += mac[i];
    return static_cast<uint8_t>(sum % 100);
}

void encodeMacRecord(const uint8_t mac[kMacLength], uint8_t out[kMacRecordSize]) {
    std::memcpy(out, mac, kMacLength);
    out[kMacLength] = macChecksum(mac);
}

void formatMacText(const uint8_t mac[kMacLength], char out[kMacTextLength + 1]) {
    static const char kDigits[] = "0123456789ABCDEF";
    char* p = out;
    for (size_t i = 0; i < kMacLength; ++i) {
        *p++ = kDigits[mac[i] >> 4];
        *p++ = kDigits[mac[i] & 0x0F];
        if (i + 1 < kMacLength) *p++ = ':';
    }
    *p = '\0';
}

bool parseMacText(std::string_view text, uint8_t mac[kMacLength], bool requireColons) {
    if (text.size() < kMacTextLength) return false;
    uint8_t bytes[kMacLength];
    for (size_t i = 0; i < kMacLength; ++i) {
        const size_t at = i * 3;
        const int high = hexDigitValue(text[at]);
        const int low = hexDigitValue(text[at + 1]);
        if (high < 0 || low < 0) return false;
        if (requireColons && i + 1 < kMacLength && text[at + 2] != ':') return false;
        bytes[i] = static_cast<uint8_t>(high << 4 | low);
    }
    std::memcpy(mac, bytes, kMacLength);
    return true;
}

}  // namespace vorl
