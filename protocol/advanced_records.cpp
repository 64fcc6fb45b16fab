#include "protocol/advanced_records.h"

#include <cstring>

#include "wire/byte_order.h"

namespace vorl {
namespace {

void putFlag(uint8_t* out, bool yes) {
    std::memset(out, 0, 4);
    out[0] = yes ? 1 : 0;
}

bool getFlag(const uint8_t* in) {
    return (in[0] | in[1] | in[2] | in[3]) != 0;
}

}  // namespace

void PppConfig::encode(uint8_t* out) const {
    std::memcpy(out, serverIp, kAddressSize);
    std::memcpy(out + kAddressSize, clientIp, kAddressSize);
}

void PppConfig::decode(const uint8_t* in) {
    std::memcpy(serverIp, in, kAddressSize);
    std::memcpy(clientIp, in + kAddressSize, kAddressSize);
}

void ModemConfig::encode(uint8_t* out) const {
    std::memcpy(out, port, kPortSize);
    std::memcpy(out + 32, speed, kSpeedSize);
    std::memcpy(out + 44, initString, kInitSize);
    std::memcpy(out + 108, phoneNumber, kPhoneSize);
}

void ModemConfig::decode(const uint8_t* in) {
    std::memcpy(port, in, kPortSize);
    std::memcpy(speed, in + 32, kSpeedSize);
    std::memcpy(initString, in + 44, kInitSize);
    std::memcpy(phoneNumber, in + 108, kPhoneSize);
}

void AsrConfig::encode(uint8_t* out) const {
    out[0] = state;
    out[1] = method;
    putBe16(out + 2, delay);
}

void AsrConfig::decode(const uint8_t* in) {
    state = in[0];
    method = in[1];
    delay = getBe16(in + 2);
}

void IpmiConfig::encode(uint8_t* out) const {
    putFlag(out, hasBmc);
    out[4] = bmcAddress;
    putFlag(out + 5, ipmiPowerControl);
    putFlag(out + 9, useBmcSdrs);
    putFlag(out + 13, privateEventLog);
}

void IpmiConfig::decode(const uint8_t* in) {
    hasBmc = getFlag(in);
    bmcAddress = in[4];
    ipmiPowerControl = getFlag(in + 5);
    useBmcSdrs = getFlag(in + 9);
    privateEventLog = getFlag(in + 13);
}

void CardHealthEntry::encode(uint8_t* out) const {
    std::memcpy(out, name, kNameSize);
    putBe32(out + 80, millivolts);
    for (int i = 0; i < 5; ++i) putBe32(out + 84 + 4 * i, other[i]);
    std::memcpy(out + 104, status, kStatusSize);
}

void CardHealthEntry::decode(const uint8_t* in) {
    std::memcpy(name, in, kNameSize);
    millivolts = getBe32(in + 80);
    for (int i = 0; i < 5; ++i) other[i] = getBe32(in + 84 + 4 * i);
    std::memcpy(status, in + 104, kStatusSize);
}

void CardHealth::encode(uint8_t* out) const {
    for (size_t i = 0; i < kEntryCount; ++i) entries[i].encode(out + i * CardHealthEntry::kSize);
}

void CardHealth::decode(const uint8_t* in) {
    for (size_t i = 0; i < kEntryCount; ++i) entries[i].decode(in + i * CardHealthEntry::kSize);
}

}  // namespace vorl
