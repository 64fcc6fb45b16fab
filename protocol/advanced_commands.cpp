// Modem, PPP, automatic server restart, I2C and IPMI settings, group 0x0C.
#include <algorithm>

#include "protocol/advanced_records.h"
#include "protocol/card_session.h"
#include "wire/status_codes.h"

namespace vorl {
namespace {
constexpr uint16_t kGetPppConfig = 0x0C00;
constexpr uint16_t kSetPppConfig = 0x0C01;
constexpr uint16_t kGetModemConfig = 0x0C02;
constexpr uint16_t kSetModemConfig = 0x0C03;
constexpr uint16_t kGetAsrConfig = 0x0C06;
constexpr uint16_t kSetAsrConfig = 0x0C07;
constexpr uint16_t kGetI2cAddress = 0x0C08;
constexpr uint16_t kSetI2cAddress = 0x0C09;
constexpr uint16_t kGetIpmiConfig = 0x0C0A;
constexpr uint16_t kSetIpmiConfig = 0x0C0B;

// Reads a record: sends `requestLength` bytes of its encoded form (0 for an empty request)
// and decodes the answer only when the status is 0 and the answer holds the whole record.
template <class Record>
int readRecord(CardSession& session, uint16_t command, Record& record, uint32_t requestLength) {
    uint8_t buffer[Record::kSize] = {};
    if (requestLength != 0) record.encode(buffer);
    uint32_t responseLength = 0;
    const int status =
        session.transact(command, buffer, requestLength, responseLength, 0, sizeof buffer);
    if (status != kStatusSuccess) return status;
    if (responseLength < Record::kSize) return kStatusConnectError;
    record.decode(buffer);
    return status;
}

template <class Record>
int writeRecord(CardSession& session, uint16_t command, const Record& record) {
    uint8_t buffer[Record::kSize] = {};
    record.encode(buffer);
    uint32_t responseLength = 0;
    return session.transact(command, buffer, sizeof buffer, responseLength, 0, sizeof buffer);
}
}  // namespace

int CardSession::getPppConfig(PppConfig& config) {
    return readRecord(*this, kGetPppConfig, config, 0);
}

int CardSession::setPppConfig(const PppConfig& config) {
    return writeRecord(*this, kSetPppConfig, config);
}

int CardSession::getModemConfig(ModemConfig& config) {
    ModemConfig request;
    std::copy(config.port, config.port + ModemConfig::kPortSize, request.port);
    const int status = readRecord(*this, kGetModemConfig, request, ModemConfig::kSize);
    if (status == kStatusSuccess) config = request;
    return status;
}

int CardSession::setModemConfig(const ModemConfig& config) {
    return writeRecord(*this, kSetModemConfig, config);
}

int CardSession::getAsrConfig(AsrConfig& config) {
    return readRecord(*this, kGetAsrConfig, config, 0);
}

int CardSession::setAsrConfig(const AsrConfig& config) {
    return writeRecord(*this, kSetAsrConfig, config);
}

int CardSession::getI2cAddress(uint8_t& address) {
    uint8_t buffer[1] = {};
    uint32_t responseLength = 0;
    const int status = transact(kGetI2cAddress, buffer, 0, responseLength, 0, sizeof buffer);
    if (status != kStatusSuccess) return status;
    if (responseLength < 1) return kStatusConnectError;
    address = buffer[0];
    return status;
}

int CardSession::setI2cAddress(uint8_t address) {
    uint8_t buffer[1] = {address};
    uint32_t responseLength = 0;
    return transact(kSetI2cAddress, buffer, sizeof buffer, responseLength, 0, sizeof buffer);
}

int CardSession::getIpmiConfig(IpmiConfig& config) {
    return readRecord(*this, kGetIpmiConfig, config, 0);
}

int CardSession::setIpmiConfig(const IpmiConfig& config) {
    return writeRecord(*this, kSetIpmiConfig, config);
}

}  // namespace vorl
