// -ModemCfg, -PppCfg and -ASRCfg: the card's dial-in and automatic server restart settings.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/group_handlers.h"
#include "cli/settings_words.h"
#include "cli/typed_numbers.h"
#include "protocol/advanced_records.h"
#include "protocol/card_session.h"
#include "protocol/text_field.h"
#include "wire/status_codes.h"

namespace vorl::cli {
namespace {

template <size_t N>
void setText(char (&field)[N], const std::string& text) {
    putTextField(reinterpret_cast<uint8_t*>(field), N, text);
}

template <size_t N>
std::string text(const char (&field)[N]) {
    return getTextField(reinterpret_cast<const uint8_t*>(field), N);
}

// ---- -ModemCfg ----

int showModemPort(CardSession& session, const std::string& port) {
    ModemConfig modem;
    setText(modem.port, port);
    const int status = session.getModemConfig(modem);
    if (status != kStatusSuccess) {
        std::printf("Error when getting Modem configuration!\n");
        return status;
    }
    std::printf("Serial Port : %s\n", text(modem.port).c_str());
    std::printf("Speed       : %s\n", text(modem.speed).c_str());
    std::printf("Init String : %s\n", text(modem.initString).c_str());
    std::printf("Phone Number: %s\n", text(modem.phoneNumber).c_str());
    return status;
}

bool storeSpeed(ModemConfig& modem, const std::string& speed) {
    if (!speed.empty() && !isModemSpeed(speed)) {
        std::printf("Invalid baud rate. Baud rate can only be 9600,19200,38400 or 57600!!\n");
        return false;
    }
    setText(modem.speed, speed);
    return true;
}

bool storeInit(ModemConfig& modem, const std::string& init) {
    if (init.size() > ModemConfig::kMaxInitLength) {
        std::printf("init string cannot be more than 60 characters\n");
        return false;
    }
    setText(modem.initString, init);
    return true;
}

bool storePhone(ModemConfig& modem, const std::string& phone) {
    if (phone.size() > ModemConfig::kMaxPhoneLength) {
        std::printf("Phone number cannot be more than 30 characters\n");
        return false;
    }
    setText(modem.phoneNumber, phone);
    return true;
}

bool isFlag(const std::string& word, const char* flag) {
    return equalsIgnoringCase(word, flag);
}

// One "-s", "-i" or "-p" option; false for another flag or a value that fails its check.
bool storeOption(ModemConfig& modem, const std::string& flag, const std::string& value) {
    if (isFlag(flag, "-s")) return storeSpeed(modem, value);
    if (isFlag(flag, "-i")) return storeInit(modem, value);
    if (isFlag(flag, "-p")) return storePhone(modem, value);
    return false;
}

// The options after the device, read by how many words there are (`o` points at the first).
bool readModemOptions(ModemConfig& modem, const std::string* o, size_t count) {
    switch (count) {
        case 2:
            return storeOption(modem, o[0], o[1]);
        case 4:
            if (isFlag(o[0], "-s")) {
                if (!isFlag(o[2], "-i") && !isFlag(o[2], "-p")) return false;
                return storeSpeed(modem, o[1]) && storeOption(modem, o[2], o[3]);
            }
            // After an init string the second value is the phone number, whatever its flag.
            if (isFlag(o[0], "-i")) return storeInit(modem, o[1]) && storePhone(modem, o[3]);
            return true;
        case 6:
            if (!isFlag(o[0], "-s") || !isFlag(o[2], "-i") || !isFlag(o[4], "-p")) return false;
            return storeSpeed(modem, o[1]) && storeInit(modem, o[3]) && storePhone(modem, o[5]);
        default:
            return true;
    }
}

int setModem(CardSession& session, const Words& words) {
    const std::string& device = words[3];
    ModemConfig modem;
    if (!isModemPort(device)) {
        std::printf("Device can be ttyS2 or ttyS3\n");
        return -1;
    }
    setText(modem.port, device);
    if (!readModemOptions(modem, words.data() + 4, words.size() - 4)) return -1;
    return session.setModemConfig(modem);
}

// ---- -ASRCfg ----

int showAsr(CardSession& session) {
    AsrConfig asr;
    const int status = session.getAsrConfig(asr);
    if (status != kStatusSuccess) {
        std::printf("Not able to get ASR config !\n");
        return status;
    }
    std::printf("ASR Configuration : \n%s = ", "ASR_STATE");
    std::printf("%s\n", asr.state == kAsrEnabled ? "ENABLED" : "DISABLED");
    std::printf("%s = ", "ASR_METHOD");
    std::printf("%s\n", asr.method == kAsrPowerCycle ? "POWER_CYCLE" : "RESET");
    std::printf("%s=%d\n", "ASR_DELAY", asr.delay);
    return 0;
}

int disableAsr(CardSession& session, const std::string& word) {
    if (!equalsIgnoringCase(word, "DISABLED")) {
        std::printf("ASR method was not given !\n");
        return -1;
    }
    AsrConfig asr;
    asr.state = kAsrDisabled;
    asr.method = kAsrReset;
    asr.delay = AsrConfig::kMinimumDelay;
    return session.setAsrConfig(asr);
}

int setAsr(CardSession& session, const std::string& state, const std::string& method,
           const std::string& delayWord) {
    AsrConfig asr;
    if (!readAsrState(state, asr.state) || !readAsrMethod(method, asr.method)) return -1;
    // A delay the record cannot hold is refused, not wrapped into a short one.
    const int32_t delay = leadingDecimal(delayWord);
    if (delay > 0xFFFF) return -1;
    if (delay < AsrConfig::kMinimumDelay) {
        std::printf("Defaulting ASR delay to %d seconds\n", AsrConfig::kMinimumDelay);
        asr.delay = AsrConfig::kMinimumDelay;
    } else {
        asr.delay = static_cast<uint16_t>(delay);
    }
    std::printf("asr->asr_status: %d asr->asr_method: %d asr->asr_delay: %d\n", asr.state,
                asr.method, asr.delay);
    return session.setAsrConfig(asr);
}

// The number of words after the command word.
size_t wordsAfterCommand(const Words& words) {
    return words.size() > 2 ? words.size() - 2 : 0;
}

}  // namespace

int runModemCfg(CardSession& session, const Words& words) {
    const size_t after = wordsAfterCommand(words);
    if (after < 1) return -1;
    const std::string& sub = words[2];
    if (after == 1 && isFlag(sub, "-get")) {
        if (showModemPort(session, std::string(kModemPorts[0])) != kStatusSuccess) return -1;
        return showModemPort(session, std::string(kModemPorts[1]));
    }
    if (after == 2 && isFlag(sub, "-get")) {
        // The port name travels in a 32-byte field with its terminating NUL.
        if (words[3].size() >= ModemConfig::kPortSize) return -1;
        return showModemPort(session, words[3]);
    }
    if (after >= 2 && isFlag(sub, "-set")) return setModem(session, words);
    return -1;
}

int runPppCfg(CardSession& session, const Words& words) {
    const size_t after = wordsAfterCommand(words);
    if (after == 1 && isFlag(words[2], "-get")) {
        PppConfig ppp;
        const int status = session.getPppConfig(ppp);
        if (status != kStatusSuccess) {
            std::printf("Error when getting PPP server IPs !\n");
            return status;
        }
        std::printf("PPP Server IP Configuration\n");
        std::printf("Server IP : %s \n", text(ppp.serverIp).c_str());
        std::printf("Client IP : %s \n", text(ppp.clientIp).c_str());
        return status;
    }
    if (after == 3 && isFlag(words[2], "-set")) {
        if (!isValidIpText(words[3]) || !isValidIpText(words[4])) {
            std::printf("Invalid IP address !\n");
            return -1;
        }
        PppConfig ppp;
        setText(ppp.serverIp, words[3]);
        setText(ppp.clientIp, words[4]);
        if (session.setPppConfig(ppp) != kStatusSuccess)
            std::printf("Error when setting PPP server IPs !\n");
        return 0;
    }
    return -1;
}

int runAsrCfg(CardSession& session, const Words& words) {
    const size_t after = wordsAfterCommand(words);
    const bool set = after >= 1 && isFlag(words[2], "-set");
    switch (after) {
        case 1:
            return isFlag(words[2], "-get") ? showAsr(session) : 0;
        case 2:
            return set ? disableAsr(session, words[3]) : -1;
        case 4:
            return set ? setAsr(session, words[3], words[4], words[5]) : 0;
        default:
            return 0;
    }
}

}  // namespace vorl::cli
