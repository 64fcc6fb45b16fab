// -Net: the card's network configuration and MAC address.
#include <cstdio>

#include "cli/group_handlers.h"
#include "cli/prompts.h"
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

int getMac(CardSession& session) {
    char text[kMacTextLength + 1] = {};
    const int status = session.getMacAddress(text);
    if (status == kStatusSuccess)
        std::printf("MAC Address is : %s \n", text);
    else
        std::printf("Error while getting MAC address !\n");
    return status;
}

int setDhcp(CardSession& session) {
    const int status = session.setDhcp();
    if (status == kStatusSuccess)
        std::printf("Network configuration changed successfully !\n");
    else
        std::printf("Error while changing the configuration! \n");
    return status;
}

int getConfig(CardSession& session) {
    NetworkConfig config;
    const int status = session.getNetworkConfig(config);
    if (status != kStatusSuccess) {
        std::printf("Unable to get Network configuration ! \n");
        return status;
    }
    if (config.interfaceName[0] == '\0') {
        std::printf("Network interface is not up.\n");
        return kStatusSuccess;
    }
    std::printf("Current Network Configuration : \n");
    std::printf("Configuration method: %s\n", config.method);
    std::printf("Interface Name      : %s\n", config.interfaceName);
    std::printf("MAC Address         : %s\n", config.macAddress);
    std::printf("IP Address          : %s\n", config.ipAddress);
    std::printf("Broadcast           : %s\n", config.broadcast);
    std::printf("Netmask             : %s\n", config.netmask);
    std::printf("Gateway             : %s\n", config.gateway);
    return kStatusSuccess;
}

int setMac(CardSession& session, const std::string& text) {
    if (askYesNo("This operation will reset the VORL card after completion.Are you Sure (y/n)?") !=
        'Y') {
        std::printf("\nCommand cancelled by user\n");
        return kStatusSuccess;
    }
    uint8_t mac[kMacLength];
    if (!parseMacText(text, mac)) {
        std::printf("Invalid MAC address: %s \n", text.c_str());
        return -1;
    }
    const int status = session.setMacAddressAndReset(mac);
    if (status == kStatusSuccess) {
        std::printf("MAC address set successfully! \n");
        std::printf("Card has been reset! \n");
    } else {
        std::printf("Unable to set MAC address  ! \n");
    }
    return status;
}

int setStatic(CardSession& session, const std::string& ip, const std::string& netmask,
              const std::string& gateway) {
    if (!isValidIpText(ip) || !isValidIpText(netmask) || !isValidIpText(gateway)) {
        std::printf("Wrong IP address : IP: %s Netmask: %s Gateway: %s\n", ip.c_str(),
                    netmask.c_str(), gateway.c_str());
        return -1;
    }
    const bool network = overNetwork(session);
    const int status =
        session.setStaticNetwork(ip, netmask, gateway, network ? kStaticWaitPolls : 0);
    if (status == kStatusSuccess) {
        std::printf("Network Configuration changed successfully! \n");
        return kStatusSuccess;
    }
    if (status == kStatusConnectError && network) {
        // No answer: the card took its new address at once.
        std::printf(
            "The IP address of VORL card has been changed to %s.\nPlease use the new IP to "
            "connect to the card.\n",
            ip.c_str());
        return kStatusSuccess;
    }
    std::printf("Error while setting network configuration ! \n");
    return status;
}

}  // namespace

int runNetGroup(CardSession& session, const Words& words) {
    if (words.size() < 3 || words[2].empty() || words[2][0] != '-') return -1;
    const std::string& command = words[2];
    const size_t arguments = words.size() - 3;
    if (isSubCommand(command, "GetMAC") && arguments == 0) return getMac(session);
    if (isSubCommand(command, "SetDHCP") && arguments == 0) return setDhcp(session);
    if (isSubCommand(command, "GetConfig") && arguments == 0) return getConfig(session);
    if (isSubCommand(command, "SetMAC") && arguments == 1) return setMac(session, words[3]);
    if (isSubCommand(command, "SetStatic") && arguments == 3)
        return setStatic(session, words[3], words[4], words[5]);
    return -1;
}

}  // namespace vorl::cli
