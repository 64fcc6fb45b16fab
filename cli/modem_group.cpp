// -ModemCfg: the settings of the card's two dial-in modem ports.
#include <cstdio>
#include <string>

#include "cli/card_outcome.h"
#include "cli/group_handlers.h"
#include "cli/record_text.h"
#include "cli/report.h"
#include "cli/settings_words.h"
#include "cli/typed_numbers.h"
#include "protocol/advanced_records.h"
#include "protocol/card_session.h"
#include "wire/status_codes.h"

namespace vorl::cli {
namespace {

constexpr const char* kReadFailure = "Error when getting Modem configuration!\n";

bool isFlag(const std::string& word, const char* flag) {
    return equalsIgnoringCase(word, flag);
}

// The speed as a number of baud; null when the card's text is empty or not a number.
Json speedBaud(const std::string& speed) {
    int32_t baud = 0;
    if (readWholeDecimal(speed, baud) && baud > 0) return baud;
    return nullptr;
}

Json portData(const ModemConfig& modem) {
    const std::string speed = fieldText(modem.speed);
    return {{"port", fieldText(modem.port)},
            {"available", true},
            {"speed_baud", speedBaud(speed)},
            {"speed_as_received", speed},
            {"init_string", fieldText(modem.initString)},
            {"phone_number", fieldText(modem.phoneNumber)}};
}

// One port's settings as the card gives them; `status` receives the card's answer.
Json readPort(CardSession& session, const std::string& port, int& status) {
    ModemConfig modem;
    setFieldText(modem.port, port);
    status = session.getModemConfig(modem);
    if (status == kStatusSuccess) return portData(modem);
    Json data = {{"port", port}, {"available", false}};
    addFailureStatus(data, session, status);
    return data;
}

void printPorts(const Json& data, int) {
    for (const Json& port : data["ports"]) {
        if (!port["available"].get<bool>()) {
            std::fputs(kReadFailure, stdout);
            continue;
        }
        std::printf("Serial Port : %s\n", textOf(port["port"]));
        std::printf("Speed       : %s\n", textOf(port["speed_as_received"]));
        std::printf("Init String : %s\n", textOf(port["init_string"]));
        std::printf("Phone Number: %s\n", textOf(port["phone_number"]));
    }
}

// -get: both ports, ttyS2 first (a failure there ends the command as invalid, as it always
// has); -get device: that port alone.
int showPorts(CardSession& session, const Words& words, Report& report) {
    Json ports = Json::array();
    int status = kStatusSuccess;
    if (words.size() > 3) {
        ports.push_back(readPort(session, words[3], status));
    } else {
        ports.push_back(readPort(session, std::string(kModemPorts[0]), status));
        if (status != kStatusSuccess) {
            report.message(kReadFailure);
            return -1;
        }
        ports.push_back(readPort(session, std::string(kModemPorts[1]), status));
    }
    report.result(status, {{"ports", std::move(ports)}}, Change::Reads, printPorts);
    return status;
}

bool storeSpeed(ModemConfig& modem, const std::string& speed, Report& report) {
    if (!speed.empty() && !isModemSpeed(speed)) {
        report.message("Invalid baud rate. Baud rate can only be 9600,19200,38400 or 57600!!\n");
        return false;
    }
    setFieldText(modem.speed, speed);
    return true;
}

// A text option that must fit `limit` characters; `refusal` says why it does not.
template <size_t N>
bool storeLimited(char (&field)[N], const std::string& value, size_t limit, const char* refusal,
                  Report& report) {
    if (value.size() > limit) {
        report.message(refusal);
        return false;
    }
    setFieldText(field, value);
    return true;
}

bool storeInit(ModemConfig& modem, const std::string& init, Report& report) {
    return storeLimited(modem.initString, init, ModemConfig::kMaxInitLength,
                        "init string cannot be more than 60 characters\n", report);
}

bool storePhone(ModemConfig& modem, const std::string& phone, Report& report) {
    return storeLimited(modem.phoneNumber, phone, ModemConfig::kMaxPhoneLength,
                        "Phone number cannot be more than 30 characters\n", report);
}

// One "-s", "-i" or "-p" option; false for another flag or a value that fails its check.
bool storeOption(ModemConfig& modem, const std::string& flag, const std::string& value,
                 Report& report) {
    if (isFlag(flag, "-s")) return storeSpeed(modem, value, report);
    if (isFlag(flag, "-i")) return storeInit(modem, value, report);
    if (isFlag(flag, "-p")) return storePhone(modem, value, report);
    return false;
}

// The options after the device, read by how many words there are (`o` points at the first).
bool readModemOptions(ModemConfig& modem, const std::string* o, size_t count, Report& report) {
    switch (count) {
        case 2:
            return storeOption(modem, o[0], o[1], report);
        case 4:
            if (isFlag(o[0], "-s")) {
                if (!isFlag(o[2], "-i") && !isFlag(o[2], "-p")) return false;
                return storeSpeed(modem, o[1], report) && storeOption(modem, o[2], o[3], report);
            }
            // After an init string the second value is the phone number, whatever its flag.
            if (isFlag(o[0], "-i"))
                return storeInit(modem, o[1], report) && storePhone(modem, o[3], report);
            return true;
        case 6:
            if (!isFlag(o[0], "-s") || !isFlag(o[2], "-i") || !isFlag(o[4], "-p")) return false;
            return storeSpeed(modem, o[1], report) && storeInit(modem, o[3], report) &&
                   storePhone(modem, o[5], report);
        default:
            return true;
    }
}

// What the write carries: the port and the fields given (the card keeps those sent empty).
Json writtenData(const ModemConfig& modem) {
    Json data = {{"port", fieldText(modem.port)}};
    const std::string speed = fieldText(modem.speed);
    if (!speed.empty()) data["speed_baud"] = speedBaud(speed);
    const std::string init = fieldText(modem.initString);
    if (!init.empty()) data["init_string"] = init;
    const std::string phone = fieldText(modem.phoneNumber);
    if (!phone.empty()) data["phone_number"] = phone;
    return data;
}

int setModem(CardSession& session, const Words& words, Report& report) {
    const std::string& device = words[3];
    if (!isModemPort(device)) {
        report.message("Device can be ttyS2 or ttyS3\n");
        return -1;
    }
    ModemConfig modem;
    setFieldText(modem.port, device);
    if (!readModemOptions(modem, words.data() + 4, words.size() - 4, report)) return -1;
    const int status = session.setModemConfig(modem);
    // Nothing is shown about the write: its status is the exit status.
    report.written(status, writtenData(modem), nullptr, {{"port", device}});
    return status;
}

}  // namespace

int runModemCfg(CardSession& session, const Words& words, Report& report) {
    if (words.size() < 3) return -1;
    const size_t after = words.size() - 2;
    const std::string& sub = words[2];
    if (after <= 2 && isFlag(sub, "-get")) {
        // The port name travels in a 32-byte field with its terminating NUL.
        if (after == 2 && words[3].size() >= ModemConfig::kPortSize) return -1;
        return showPorts(session, words, report);
    }
    if (after >= 2 && isFlag(sub, "-set")) return setModem(session, words, report);
    return -1;
}

}  // namespace vorl::cli
