// -PppCfg and -ASRCfg: the card's PPP dial-in addresses and its automatic server restart.
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

bool isFlag(const std::string& word, const char* flag) {
    return equalsIgnoringCase(word, flag);
}

// Reads one record and reports it: its data when the card answered, nothing otherwise.
template <typename Record>
int showRecord(CardSession& session, int (CardSession::*read)(Record&),
               Json (*toData)(const Record&), TextRenderer text, Report& report) {
    Record record;
    const int status = (session.*read)(record);
    report.result(status, status == kStatusSuccess ? toData(record) : Json::object(), Change::Reads,
                  text);
    return status;
}

// ---- -PppCfg ----

Json pppData(const PppConfig& ppp) {
    return {{"server_address", fieldText(ppp.serverIp)},
            {"client_address", fieldText(ppp.clientIp)}};
}

void printPpp(const Json& data, int status) {
    if (status != kStatusSuccess) {
        std::printf("Error when getting PPP server IPs !\n");
        return;
    }
    std::printf("PPP Server IP Configuration\n");
    std::printf("Server IP : %s \n", textOf(data["server_address"]));
    std::printf("Client IP : %s \n", textOf(data["client_address"]));
}

void printPppWrite(const Json& data, int) {
    if (!data["performed"].get<bool>()) std::printf("Error when setting PPP server IPs !\n");
}

// A write the card refuses still returns 0, as the console tool always has; the data says so.
int setPpp(CardSession& session, const std::string& server, const std::string& client,
           Report& report) {
    if (!isValidIpText(server) || !isValidIpText(client)) {
        report.message("Invalid IP address !\n");
        return -1;
    }
    PppConfig ppp;
    setFieldText(ppp.serverIp, server);
    setFieldText(ppp.clientIp, client);
    const int status = session.setPppConfig(ppp);
    report.result(0, writeOutcome(pppData(ppp), Json::object(), status, session, report),
                  changeFor(status), printPppWrite);
    return 0;
}

// ---- -ASRCfg ----

// The settings as words and as the card's numbers; any state but 1 reads as disabled, any
// method but 1 as reset, as the console texts have always shown them.
Json asrData(const AsrConfig& asr) {
    return {{"state", asr.state == kAsrEnabled ? "enabled" : "disabled"},
            {"state_code", asr.state},
            {"method", asr.method == kAsrPowerCycle ? "power_cycle" : "reset"},
            {"method_code", asr.method},
            {"delay_seconds", asr.delay}};
}

void printAsr(const Json& data, int status) {
    if (status != kStatusSuccess) {
        std::printf("Not able to get ASR config !\n");
        return;
    }
    std::printf("ASR Configuration : \n%s = ", "ASR_STATE");
    std::printf("%s\n", data["state"] == "enabled" ? "ENABLED" : "DISABLED");
    std::printf("%s = ", "ASR_METHOD");
    std::printf("%s\n", data["method"] == "power_cycle" ? "POWER_CYCLE" : "RESET");
    std::printf("%s=%d\n", "ASR_DELAY", data["delay_seconds"].get<int>());
}

// The lines the tool prints before it writes; -set DISABLED prints none.
void printAsrWrite(const Json& data, int) {
    if (!data.contains("requested_delay_seconds")) return;
    if (data["requested_delay_seconds"].get<int32_t>() < AsrConfig::kMinimumDelay)
        std::printf("Defaulting ASR delay to %d seconds\n", AsrConfig::kMinimumDelay);
    std::printf("asr->asr_status: %d asr->asr_method: %d asr->asr_delay: %d\n",
                data["state_code"].get<int>(), data["method_code"].get<int>(),
                data["delay_seconds"].get<int>());
}

int writeAsr(CardSession& session, const AsrConfig& asr, Json data, Report& report) {
    const int status = session.setAsrConfig(asr);
    report.written(status, std::move(data), printAsrWrite);
    return status;
}

int disableAsr(CardSession& session, const std::string& word, Report& report) {
    if (!equalsIgnoringCase(word, "DISABLED")) {
        report.message("ASR method was not given !\n");
        return -1;
    }
    AsrConfig asr;
    asr.state = kAsrDisabled;
    asr.method = kAsrReset;
    asr.delay = AsrConfig::kMinimumDelay;
    return writeAsr(session, asr, asrData(asr), report);
}

int setAsr(CardSession& session, const std::string& state, const std::string& method,
           const std::string& delayWord, Report& report) {
    AsrConfig asr;
    if (!readAsrState(state, asr.state) || !readAsrMethod(method, asr.method)) return -1;
    // A delay the record cannot hold is refused, not wrapped into a short one.
    const int32_t delay = leadingDecimal(delayWord);
    if (delay > 0xFFFF) return -1;
    asr.delay =
        delay < AsrConfig::kMinimumDelay ? AsrConfig::kMinimumDelay : static_cast<uint16_t>(delay);
    Json data = asrData(asr);
    data["requested_delay_seconds"] = delay;
    return writeAsr(session, asr, std::move(data), report);
}

}  // namespace

int runPppCfg(CardSession& session, const Words& words, Report& report) {
    const size_t after = words.size() > 2 ? words.size() - 2 : 0;
    if (after == 1 && isFlag(words[2], "-get"))
        return showRecord(session, &CardSession::getPppConfig, pppData, printPpp, report);
    if (after == 3 && isFlag(words[2], "-set")) return setPpp(session, words[3], words[4], report);
    return -1;
}

// Forms that have always been accepted without doing anything still return 0; their data says
// nothing was done.
int runAsrCfg(CardSession& session, const Words& words, Report& report) {
    const size_t after = words.size() > 2 ? words.size() - 2 : 0;
    const bool set = after >= 1 && isFlag(words[2], "-set");
    if (after == 1 && isFlag(words[2], "-get"))
        return showRecord(session, &CardSession::getAsrConfig, asrData, printAsr, report);
    if (after == 2) return set ? disableAsr(session, words[3], report) : -1;
    if (after == 4 && set) return setAsr(session, words[3], words[4], words[5], report);
    report.notDone("The words name no ASR command: nothing was done");
    report.result(0, {{"performed", false}}, Change::Unchanged, nullptr);
    return 0;
}

}  // namespace vorl::cli
