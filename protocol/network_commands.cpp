// Network settings (group 0x07) and the MAC address (group 0x08).
#include <cstring>

#include "protocol/card_session.h"
#include "protocol/network_records.h"
#include "protocol/record_exchange.h"
#include "wire/status_codes.h"

namespace vorl {
namespace {
constexpr uint16_t kGetNetworkConfig = 0x0700;
constexpr uint16_t kSetStaticNetwork = 0x0701;
constexpr uint16_t kSetDhcp = 0x0702;
constexpr uint16_t kGetMacAddress = 0x0800;
constexpr uint16_t kSetMacAddress = 0x0801;
// Room for the 6-byte MAC answer and whatever a card may add behind it.
constexpr uint32_t kMacAnswerCapacity = 64;
}  // namespace

int CardSession::getNetworkConfig(NetworkConfig& config) {
    return fetchRecord(*this, kGetNetworkConfig, config);
}

int CardSession::setStaticNetwork(std::string_view ip, std::string_view netmask,
                                  std::string_view gateway, uint32_t waitPolls) {
    uint8_t buffer[StaticNetworkSettings::kSize];
    if (!StaticNetworkSettings::encode(buffer, ip, netmask, gateway)) return kStatusOutOfRange;
    return sendFixed(*this, kSetStaticNetwork, buffer, sizeof buffer, sizeof buffer, waitPolls);
}

int CardSession::setDhcp() {
    return sendEmpty<32>(*this, kSetDhcp);
}

int CardSession::getMacAddress(char* text) {
    text[0] = '\0';
    uint8_t buffer[kMacAnswerCapacity] = {};
    const int status = exchangeFixed(*this, kGetMacAddress, buffer, sizeof buffer, 0, kMacLength);
    if (status == kStatusSuccess) formatMacText(buffer, text);
    return status;
}

int CardSession::setMacAddress(const uint8_t* mac) {
    uint8_t buffer[kMacRecordSize];
    encodeMacRecord(mac, buffer);
    return sendFixed(*this, kSetMacAddress, buffer, sizeof buffer, sizeof buffer);
}

int CardSession::setMacAddressFromText(std::string_view text) {
    uint8_t mac[kMacLength];
    if (!parseMacText(text, mac, false)) return kStatusInvalidArgument;
    return setMacAddress(mac);
}

int CardSession::setMacAddressAndReset(const uint8_t* mac) {
    const int written = setMacAddress(mac);
    // The reset happens whatever the write did: the card must not stay half-configured.
    const int reset = resetCard();
    return written != kStatusSuccess ? written : reset;
}

}  // namespace vorl
