#include "protocol/general_records.h"

#include "protocol/record_text.h"
#include "wire/byte_order.h"

namespace vorl {

void FirmwareInfo::decode(const uint8_t* in, size_t length) {
    if (length > kSize) length = kSize;
    const size_t versionBytes = length < kVersionWidth ? length : kVersionWidth;
    readFieldText(version, in, versionBytes);
    readFieldText(buildDate, in + versionBytes, length - versionBytes);
}

void ServerInfo::encode(uint8_t* out) const {
    writeFieldText(out, kNameWidth, name);
    writeFieldText(out + 32, kLocationWidth, location);
    writeFieldText(out + 64, kOsWidth, os);
    writeFieldText(out + 96, kDescriptionWidth, description);
}

void ServerInfo::decode(const uint8_t* in) {
    readFieldText(name, in, kNameWidth);
    readFieldText(location, in + 32, kLocationWidth);
    readFieldText(os, in + 64, kOsWidth);
    readFieldText(description, in + 96, kDescriptionWidth);
}

void SmtpConfig::encode(uint8_t* out) const {
    writeFieldText(out, kServerWidth, server1);
    writeFieldText(out + 16, kMailIdWidth, mailId1);
    writeFieldText(out + 272, kServerWidth, server2);
    writeFieldText(out + 288, kMailIdWidth, mailId2);
}

void SmtpConfig::decode(const uint8_t* in) {
    readFieldText(server1, in, kServerWidth);
    readFieldText(mailId1, in + 16, kMailIdWidth);
    readFieldText(server2, in + 272, kServerWidth);
    readFieldText(mailId2, in + 288, kMailIdWidth);
}

void CardTime::encode(uint8_t* out) const {
    out[0] = rollBack;
    putBe32(out + 1, static_cast<uint32_t>(seconds));
}

void CardTime::decode(const uint8_t* in) {
    rollBack = in[0];
    seconds = static_cast<int32_t>(getBe32(in + 1));
}

}  // namespace vorl
