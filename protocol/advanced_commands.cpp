// Modem, PPP, automatic server restart, I2C and IPMI settings, group 0x0C.
#include <algorithm>

#include "protocol/advanced_records.h"
#include "protocol/card_session.h"
#include "protocol/record_exchange.h"
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
}  // namespace

int CardSession::getPppConfig(PppConfig& config) {
    return fetchRecord(*this, kGetPppConfig, config);
}

int CardSession::setPppConfig(const PppConfig& config) {
    return sendRecord(*this, kSetPppConfig, config);
}

int CardSession::getModemConfig(ModemConfig& config) {
    // The request names the port and nothing else.
    ModemConfig request;
    std::copy(config.port, config.port + ModemConfig::kPortSize, request.port);
    const int status = queryRecord(*this, kGetModemConfig, request);
    if (status == kStatusSuccess) config = request;
    return status;
}

int CardSession::setModemConfig(const ModemConfig& config) {
    return sendRecord(*this, kSetModemConfig, config);
}

int CardSession::getAsrConfig(AsrConfig& config) {
    return fetchRecord(*this, kGetAsrConfig, config);
}

int CardSession::setAsrConfig(const AsrConfig& config) {
    return sendRecord(*this, kSetAsrConfig, config);
}

int CardSession::getI2cAddress(uint8_t& address) {
    return fetchByte(*this, kGetI2cAddress, address);
}

int CardSession::setI2cAddress(uint8_t address) {
    uint8_t buffer[1] = {address};
    return sendFixed(*this, kSetI2cAddress, buffer, sizeof buffer, sizeof buffer);
}

int CardSession::getIpmiConfig(IpmiConfig& config) {
    return fetchRecord(*this, kGetIpmiConfig, config);
}

int CardSession::setIpmiConfig(const IpmiConfig& config) {
    return sendRecord(*this, kSetIpmiConfig, config);
}

}  // namespace vorl
