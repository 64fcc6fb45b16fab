// -GetI2CCfg, -SetI2CCfg, -GetIpmiCfg, -SetIpmiCfg and -HostCtrl: the card's bus addresses,
// its IPMI settings and the server's power.
#include <cstdio>
#include <string>

#include "cli/group_handlers.h"
#include "cli/report.h"
#include "cli/settings_words.h"
#include "cli/typed_numbers.h"
#include "protocol/advanced_records.h"
#include "protocol/card_session.h"
#include "wire/status_codes.h"

namespace vorl::cli {
namespace {

const char* yesNo(bool flag) {
    return flag ? "YES" : "NO";
}

bool isYes(const std::string& word) {
    return equalsIgnoringCase(word, "Yes");
}

}  // namespace

int runGetI2cCfg(CardSession& session, const Words&) {
    uint8_t address = 0;
    if (session.getI2cAddress(address) != kStatusSuccess)
        std::printf("Unable to get I2C slave adress\n");
    else
        std::printf("Current %s I2C Slave Address: 0x%02x\n", "VORL", address);
    return 0;
}

int runSetI2cCfg(CardSession& session, const Words& words) {
    uint8_t address = 0;
    if (words.size() < 3 || !readByteAddress(words[2], address)) return -1;
    if (session.setI2cAddress(address) != kStatusSuccess)
        std::printf("Unable to set I2C slave adress\n");
    return 0;
}

int runGetIpmiCfg(CardSession& session, const Words&) {
    IpmiConfig ipmi;
    if (session.getIpmiConfig(ipmi) != kStatusSuccess) {
        std::printf("Unable to get IPMI configuration information\n");
        return 0;
    }
    std::printf("Host system has BMC                          : %s\n", yesNo(ipmi.hasBmc));
    std::printf("Host System BMC I2C Address                  : 0x%02x\n", ipmi.bmcAddress);
    std::printf("Use IPMI to Control System Power             : %s\n",
                yesNo(ipmi.ipmiPowerControl));
    std::printf("Use BMC's SDRs for Sensor Information        : %s\n", yesNo(ipmi.useBmcSdrs));
    std::printf("%s Maintains Private System Health Event Log : %s\n", "VORL",
                yesNo(ipmi.privateEventLog));
    return 0;
}

// Words: 2 has-BMC flag, 3 BMC address, 4 power control, 5 sensors, 6 event log.
int runSetIpmiCfg(CardSession& session, const Words& words) {
    if (words.size() != 7) return -1;
    IpmiConfig ipmi;
    if (!readByteAddress(words[3], ipmi.bmcAddress)) return -1;
    ipmi.hasBmc = isYes(words[2]);
    ipmi.ipmiPowerControl = isYes(words[4]);
    ipmi.useBmcSdrs = isYes(words[5]);
    ipmi.privateEventLog = isYes(words[6]);
    if (session.setIpmiConfig(ipmi) != kStatusSuccess) {
        std::printf("Unable to set IPMI configuration information\n");
        std::printf("Check the IPMB connectivity and try again\n");
        std::printf(
            "Note: To do this configuration you motherboard should have BMC \nand %s should be "
            "connected to BMC using proper connector\n",
            "VORL");
    }
    return 0;
}

void printHostControl(const Json& data, int) {
    if (!data["performed"].get<bool>()) std::printf("Unable to perform Remote Power management\n");
}

// A refused power action still returns 0, as the console tool always has; the data says so.
int runHostCtrl(CardSession& session, const Words& words, Report& report) {
    if (words.size() < 3) return -1;
    const std::string& word = words[2];
    uint8_t action = 0;
    const char* name = nullptr;
    if (equalsIgnoringCase(word, "PowerUp")) {
        action = kPowerUp;
        name = "power_up";
    } else if (equalsIgnoringCase(word, "PowerDown")) {
        action = kPowerDown;
        name = "power_down";
    } else if (equalsIgnoringCase(word, "Reset")) {
        action = kPowerReset;
        name = "reset";
    } else if (equalsIgnoringCase(word, "PowerCycle")) {
        action = kPowerCycle;
        name = "power_cycle";
    } else {
        return -1;
    }
    const int status = session.hostControl(action);
    const bool performed = status == kStatusSuccess;
    Json data = {{"action", name}, {"performed", performed}};
    if (!performed) data["card_status"] = status;
    report.result(0, std::move(data), performed ? Change::Writes : Change::Unchanged,
                  printHostControl);
    return 0;
}

}  // namespace vorl::cli
