// -Net: the card's network configuration and MAC address.
#include <cstdio>

#include "cli/group_handlers.h"
#include "cli/prompts.h"
#include "cli/report.h"
#include "cli/settings_words.h"
#include "protocol/card_session.h"
#include "protocol/network_records.h"
#include "protocol/network_transport.h"
#include "wire/status_codes.h"

namespace vorl::cli {
namespace {

// Over the network the answer to 0x0701 is lost once the card has taken the new address, so
// one empty poll is enough to stop waiting for it.
constexpr uint32_t kStaticWaitPolls = 1;

// The host interface does not depend on the card's address: its answer always arrives, so it is
// waited for, and a failure there is a failure.
bool overNetwork(CardSession& session) {
    return dynamic_cast<NetworkTransport*>(&session.transport()) != nullptr;
}

std::string lowerCase(std::string word) {
    for (char& c : word) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return word;
}

void printMac(const Json& data, int status) {
    if (status == kStatusSuccess)
        std::printf("MAC Address is : %s \n", textOf(data["mac_address_as_received"]));
    else
        std::printf("Error while getting MAC address !\n");
}

void printSetDhcp(const Json&, int status) {
    if (status == kStatusSuccess)
        std::printf("Network configuration changed successfully !\n");
    else
        std::printf("Error while changing the configuration! \n");
}

void printConfig(const Json& data, int status) {
    if (status != kStatusSuccess) {
        std::printf("Unable to get Network configuration ! \n");
        return;
    }
    if (!data["up"].get<bool>()) {
        std::printf("Network interface is not up.\n");
        return;
    }
    std::printf("Current Network Configuration : \n");
    std::printf("Configuration method: %s\n", textOf(data["method_as_received"]));
    std::printf("Interface Name      : %s\n", textOf(data["interface"]));
    std::printf("MAC Address         : %s\n", textOf(data["mac_address_as_received"]));
    std::printf("IP Address          : %s\n", textOf(data["address"]));
    std::printf("Broadcast           : %s\n", textOf(data["broadcast"]));
    std::printf("Netmask             : %s\n", textOf(data["netmask"]));
    std::printf("Gateway             : %s\n", textOf(data["gateway"]));
}

void printSetMac(const Json& data, int status) {
    if (!data["confirmed"].get<bool>()) {
        std::printf("\nCommand cancelled by user\n");
    } else if (status == kStatusSuccess) {
        std::printf("MAC address set successfully! \n");
        std::printf("Card has been reset! \n");
    } else {
        std::printf("Unable to set MAC address  ! \n");
    }
}

void printSetStatic(const Json& data, int status) {
    if (status != kStatusSuccess) {
        std::printf("Error while setting network configuration ! \n");
    } else if (data["address_changed_without_answer"].get<bool>()) {
        std::printf(
            "The IP address of VORL card has been changed to %s.\nPlease use the new IP to "
            "connect to the card.\n",
            textOf(data["address"]));
    } else {
        std::printf("Network Configuration changed successfully! \n");
    }
}

int getMac(CardSession& session, Report& report) {
    char mac[kMacTextLength + 1] = {};
    const int status = session.getMacAddress(mac);
    Json data = Json::object();
    if (status == kStatusSuccess) {
        data["mac_address"] = lowerCase(mac);
        data["mac_address_as_received"] = mac;
    }
    report.result(status, std::move(data), Change::Reads, printMac);
    return status;
}

int setDhcp(CardSession& session, Report& report) {
    const int status = session.setDhcp();
    report.written(status, {{"method", "dhcp"}}, printSetDhcp);
    return status;
}

int getConfig(CardSession& session, Report& report) {
    NetworkConfig config;
    const int status = session.getNetworkConfig(config);
    Json data = Json::object();
    if (status == kStatusSuccess) {
        data["up"] = config.interfaceName[0] != '\0';
        data["method"] = lowerCase(config.method);
        data["method_as_received"] = config.method;
        data["interface"] = config.interfaceName;
        data["mac_address"] = lowerCase(config.macAddress);
        data["mac_address_as_received"] = config.macAddress;
        data["address"] = config.ipAddress;
        data["broadcast"] = config.broadcast;
        data["netmask"] = config.netmask;
        data["gateway"] = config.gateway;
    }
    report.result(status, std::move(data), Change::Reads, printConfig);
    return status;
}

int setMac(CardSession& session, const std::string& word, Report& report) {
    if (askYesNo("This operation will reset the VORL card after completion.Are you Sure (y/n)?") !=
        'Y') {
        report.notDone("Command cancelled by user");
        report.result(kStatusSuccess, {{"confirmed", false}}, Change::Unchanged, printSetMac);
        return kStatusSuccess;
    }
    uint8_t mac[kMacLength];
    if (!parseMacText(word, mac)) {
        report.message(formatted("Invalid MAC address: %s \n", word).c_str());
        return -1;
    }
    const int status = session.setMacAddressAndReset(mac);
    report.written(status, {{"confirmed", true}, {"mac_address", lowerCase(word)}}, printSetMac,
                   {{"confirmed", true}});
    return status;
}

int setStatic(CardSession& session, const std::string& ip, const std::string& netmask,
              const std::string& gateway, Report& report) {
    if (!isValidIpText(ip) || !isValidIpText(netmask) || !isValidIpText(gateway)) {
        const std::string refusal =
            "Wrong IP address : IP: " + ip + " Netmask: " + netmask + " Gateway: " + gateway + "\n";
        report.message(refusal.c_str());
        return -1;
    }
    const bool network = overNetwork(session);
    int status = session.setStaticNetwork(ip, netmask, gateway, network ? kStaticWaitPolls : 0);
    // No answer over the network: the card took its new address at once.
    const bool unanswered = status == kStatusConnectError && network;
    if (unanswered) status = kStatusSuccess;
    report.written(status,
                   {{"method", "static"},
                    {"address", ip},
                    {"netmask", netmask},
                    {"gateway", gateway},
                    {"address_changed_without_answer", unanswered}},
                   printSetStatic);
    return status;
}

}  // namespace

int runNetGroup(CardSession& session, const Words& words, Report& report) {
    if (words.size() < 3 || words[2].empty() || words[2][0] != '-') return -1;
    const std::string& command = words[2];
    const size_t arguments = words.size() - 3;
    if (isSubCommand(command, "GetMAC") && arguments == 0) return getMac(session, report);
    if (isSubCommand(command, "SetDHCP") && arguments == 0) return setDhcp(session, report);
    if (isSubCommand(command, "GetConfig") && arguments == 0) return getConfig(session, report);
    if (isSubCommand(command, "SetMAC") && arguments == 1) return setMac(session, words[3], report);
    if (isSubCommand(command, "SetStatic") && arguments == 3)
        return setStatic(session, words[3], words[4], words[5], report);
    return -1;
}

}  // namespace vorl::cli
