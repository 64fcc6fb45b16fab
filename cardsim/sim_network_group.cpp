#include "cardsim/sim_network_group.h"

#include <cstring>

#include "cardsim/sim_groups.h"
#include "cardsim/sim_settings_file.h"
#include "protocol/network_records.h"
#include "protocol/record_text.h"
#include "protocol/text_field.h"
#include "wire/status_codes.h"

namespace vorl::sim {
namespace {
// The card's own command table, kept apart from protocol/ on purpose (sim_groups.h).
constexpr uint16_t kGetConfig = 0x0700;
constexpr uint16_t kSetStatic = 0x0701;
constexpr uint16_t kSetDhcp = 0x0702;
constexpr uint16_t kGetMac = 0x0800;
constexpr uint16_t kSetMac = 0x0801;

constexpr uint8_t kDefaultMac[6] = {0x02, 0x00, 0x4B, 0x38, 0x00, 0x01};
// What the simulated DHCP server hands out.
constexpr const char* kLeaseIp = "192.168.0.100";
constexpr const char* kLeaseNetmask = "255.255.255.0";
constexpr const char* kLeaseGateway = "192.168.0.1";

std::string dottedQuad(uint32_t value) {
    return std::to_string(value >> 24) + "." + std::to_string((value >> 16) & 0xFF) + "." +
           std::to_string((value >> 8) & 0xFF) + "." + std::to_string(value & 0xFF);
}

}  // namespace

bool parseDottedQuad(const std::string& text, uint32_t& value) {
    uint32_t result = 0;
    size_t at = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (at >= text.size() || text[at] != '.') return false;
            ++at;
        }
        size_t digits = 0;
        unsigned number = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 3) {
            number = number * 10 + static_cast<unsigned>(text[at] - '0');
            ++at;
            ++digits;
        }
        if (digits == 0 || number > 255) return false;
        result = result << 8 | number;
    }
    if (at != text.size()) return false;
    value = result;
    return true;
}

bool SimNetworkGroup::handles(uint16_t command) const {
    return (command >> 8) == 0x07 || (command >> 8) == 0x08;
}

void SimNetworkGroup::handle(const SimRequest& request, SimReply& reply) {
    reply.status = kStatusSuccess;
    reply.length = 0;
    switch (request.command) {
        case kGetConfig:
            answerConfig(reply);
            break;
        case kSetStatic:
            setStatic(request, reply);
            break;
        case kSetDhcp:
            dhcp_ = true;
            reply.stateChanged = true;
            break;
        case kGetMac:
            std::memcpy(reply.payload, mac_, sizeof mac_);
            reply.length = sizeof mac_;
            break;
        case kSetMac:
            setMacRecord(request, reply);
            break;
        default:
            reply.status = kStatusUnsupported;
    }
}

void SimNetworkGroup::answerConfig(SimReply& reply) const {
    NetworkConfig config;
    setRecordText(config.method, dhcp_ ? "DHCP" : "STATIC");
    if (!interfaceDown_) {
        const std::string ip = dhcp_ ? kLeaseIp : ip_;
        const std::string netmask = dhcp_ ? kLeaseNetmask : netmask_;
        uint32_t address = 0, mask = 0;
        parseDottedQuad(ip, address);
        parseDottedQuad(netmask, mask);
        char macText[kMacTextLength + 1];
        formatMacText(mac_, macText);
        setRecordText(config.interfaceName, "eth0");
        setRecordText(config.macAddress, macText);
        setRecordText(config.ipAddress, ip);
        setRecordText(config.broadcast, dottedQuad(address | ~mask));
        setRecordText(config.netmask, netmask);
        setRecordText(config.gateway, dhcp_ ? kLeaseGateway : gateway_);
    }
    config.encode(reply.payload);
    reply.length = NetworkConfig::kSize;
}

void SimNetworkGroup::setStatic(const SimRequest& request, SimReply& reply) {
    if (request.length != StaticNetworkSettings::kSize) {
        reply.status = kStatusInvalidArgument;
        return;
    }
    const size_t width = StaticNetworkSettings::kFieldWidth;
    const std::string ip = getTextField(request.payload, width);
    const std::string netmask = getTextField(request.payload + width, width);
    const std::string gateway = getTextField(request.payload + 2 * width, width);
    uint32_t unused = 0;
    if (!parseDottedQuad(ip, unused) || !parseDottedQuad(netmask, unused) ||
        !parseDottedQuad(gateway, unused)) {
        reply.status = kStatusInvalidArgument;
        return;
    }
    dhcp_ = false;
    ip_ = ip;
    netmask_ = netmask;
    gateway_ = gateway;
    reply.stateChanged = true;
    // The card now listens on its new address: the answer goes to the old one and is lost.
    reply.sendOverNetwork = false;
}

void SimNetworkGroup::setMacRecord(const SimRequest& request, SimReply& reply) {
    if (request.length != kMacRecordSize) {
        reply.status = kStatusInvalidArgument;
        return;
    }
    if (macChecksum(request.payload) != request.payload[kMacLength]) {
        reply.status = kStatusChecksumError;
        return;
    }
    setMac(request.payload);
    reply.stateChanged = true;
}

void SimNetworkGroup::setMac(const uint8_t* mac) {
    std::memcpy(mac_, mac, sizeof mac_);
}

void SimNetworkGroup::setDefaults() {
    dhcp_ = false;
    ip_ = "10.10.1.10";
    netmask_ = "255.255.255.0";
    gateway_ = "10.10.1.1";
    // The MAC address is the board's, not configuration: a reset to defaults keeps it (a MAC
    // change followed by such a reset must stick).
}

void SimNetworkGroup::load(const std::filesystem::path& dir) {
    const SettingsMap settings = readSettingsFile(dir / kFileName);
    uint32_t unused = 0;
    auto address = [&](const char* key, std::string& target) {
        const auto it = settings.find(key);
        if (it != settings.end() && parseDottedQuad(it->second, unused)) target = it->second;
    };
    address("ip", ip_);
    address("netmask", netmask_);
    address("gateway", gateway_);
    if (const auto it = settings.find("method"); it != settings.end()) dhcp_ = it->second == "dhcp";
    if (const auto it = settings.find("mac"); it != settings.end()) {
        uint8_t mac[6];
        if (parseMacText(it->second, mac) && it->second.size() == kMacTextLength) setMac(mac);
    }
}

void SimNetworkGroup::save(const std::filesystem::path& dir) const {
    char macText[kMacTextLength + 1];
    formatMacText(mac_, macText);
    writeSettingsFile(dir / kFileName, {{"method", dhcp_ ? "dhcp" : "static"},
                                        {"ip", ip_},
                                        {"netmask", netmask_},
                                        {"gateway", gateway_},
                                        {"mac", macText}});
}

SimNetworkGroup::SimNetworkGroup(bool interfaceDown) : interfaceDown_(interfaceDown) {
    std::memcpy(mac_, kDefaultMac, sizeof mac_);
}

std::unique_ptr<SimGroup> makeNetworkGroup(SimCard&, SimOptions& options) {
    return std::make_unique<SimNetworkGroup>(options.take("interface-down").has_value());
}

}  // namespace vorl::sim
