// -GetI2CCfg, -SetI2CCfg, -GetIpmiCfg, -SetIpmiCfg and -HostCtrl: the card's bus addresses,
// its IPMI settings and the server's power.
#include <cstdio>
#include <string>

#include "cli/card_outcome.h"
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

// The address shows as two hexadecimal digits; the data holds it as a number.
void printI2cAddress(const Json& data, int) {
    if (!data["available"].get<bool>())
        std::printf("Unable to get I2C slave adress\n");
    else
        std::printf("Current %s I2C Slave Address: 0x%02x\n", "VORL",
                    data["slave_address"].get<unsigned>());
}

void printI2cWrite(const Json& data, int) {
    if (!data["performed"].get<bool>()) std::printf("Unable to set I2C slave adress\n");
}

Json ipmiData(const IpmiConfig& ipmi) {
    return {{"has_bmc", ipmi.hasBmc},
            {"bmc_i2c_address", ipmi.bmcAddress},
            {"ipmi_power_control", ipmi.ipmiPowerControl},
            {"bmc_sdrs_for_sensors", ipmi.useBmcSdrs},
            {"private_event_log", ipmi.privateEventLog}};
}

void printIpmi(const Json& data, int) {
    if (!data["available"].get<bool>()) {
        std::printf("Unable to get IPMI configuration information\n");
        return;
    }
    std::printf("Host system has BMC                          : %s\n",
                yesNo(data["has_bmc"].get<bool>()));
    std::printf("Host System BMC I2C Address                  : 0x%02x\n",
                data["bmc_i2c_address"].get<unsigned>());
    std::printf("Use IPMI to Control System Power             : %s\n",
                yesNo(data["ipmi_power_control"].get<bool>()));
    std::printf("Use BMC's SDRs for Sensor Information        : %s\n",
                yesNo(data["bmc_sdrs_for_sensors"].get<bool>()));
    std::printf("%s Maintains Private System Health Event Log : %s\n", "VORL",
                yesNo(data["private_event_log"].get<bool>()));
}

void printIpmiWrite(const Json& data, int) {
    if (data["performed"].get<bool>()) return;
    std::printf("Unable to set IPMI configuration information\n");
    std::printf("Check the IPMB connectivity and try again\n");
    std::printf(
        "Note: To do this configuration you motherboard should have BMC \nand %s should be "
        "connected to BMC using proper connector\n",
        "VORL");
}

void printHostControl(const Json& data, int) {
    if (!data["performed"].get<bool>()) std::printf("Unable to perform Remote Power management\n");
}

}  // namespace

// These four have always returned 0 when the card refuses them; the data says whether it did.
int runGetI2cCfg(CardSession& session, const Words&, Report& report) {
    uint8_t address = 0;
    const int status = session.getI2cAddress(address);
    const Json data = status == kStatusSuccess
                          ? Json{{"available", true}, {"slave_address", address}}
                          : readFailure(status, session, report);
    report.result(0, std::move(data), Change::Reads, printI2cAddress);
    return 0;
}

int runSetI2cCfg(CardSession& session, const Words& words, Report& report) {
    uint8_t address = 0;
    if (words.size() < 3 || !readByteAddress(words[2], address)) return -1;
    const int status = session.setI2cAddress(address);
    report.result(
        0, writeOutcome({{"slave_address", address}}, Json::object(), status, session, report),
        changeFor(status), printI2cWrite);
    return 0;
}

int runGetIpmiCfg(CardSession& session, const Words&, Report& report) {
    IpmiConfig ipmi;
    const int status = session.getIpmiConfig(ipmi);
    Json data = {{"available", true}};
    if (status == kStatusSuccess)
        data.update(ipmiData(ipmi));
    else
        data = readFailure(status, session, report);
    report.result(0, std::move(data), Change::Reads, printIpmi);
    return 0;
}

// Words: 2 has-BMC flag, 3 BMC address, 4 power control, 5 sensors, 6 event log.
int runSetIpmiCfg(CardSession& session, const Words& words, Report& report) {
    if (words.size() != 7) return -1;
    IpmiConfig ipmi;
    if (!readByteAddress(words[3], ipmi.bmcAddress)) return -1;
    ipmi.hasBmc = isYes(words[2]);
    ipmi.ipmiPowerControl = isYes(words[4]);
    ipmi.useBmcSdrs = isYes(words[5]);
    ipmi.privateEventLog = isYes(words[6]);
    const int status = session.setIpmiConfig(ipmi);
    report.result(0, writeOutcome(ipmiData(ipmi), Json::object(), status, session, report),
                  changeFor(status), printIpmiWrite);
    return 0;
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
    report.result(0, writeOutcome({{"action", name}}, {{"action", name}}, status, session, report),
                  changeFor(status), printHostControl);
    return 0;
}

}  // namespace vorl::cli
