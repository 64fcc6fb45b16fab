// -pef: the card's alert recipients (platform event filtering).
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/group_handlers.h"
#include "cli/report.h"
#include "cli/settings_words.h"
#include "cli/typed_numbers.h"
#include "protocol/card_session.h"
#include "protocol/event_log_records.h"
#include "protocol/text_field.h"
#include "wire/status_codes.h"

namespace vorl::cli {
namespace {

constexpr size_t kMaxText = AlertRecipient::kTextSize - 1;
constexpr size_t kMinIdentity = 3;

// The index as typed, checked before it is narrowed: 259 is not recipient 3.
bool readIndex(const std::string& word, uint8_t& index, Report& report) {
    const int32_t typed = leadingDecimal(word);
    if (typed < 1 || typed > 8) {
        char refusal[64];
        std::snprintf(refusal, sizeof refusal,
                      "Alert Receipients ID range is 1 to 8. Given = %d \n", typed);
        report.message(refusal);
        return false;
    }
    index = static_cast<uint8_t>(typed);
    return true;
}

void setText(char* field, const std::string& text) {
    putTextField(reinterpret_cast<uint8_t*>(field), AlertRecipient::kTextSize, text);
}

std::string text(const char* field) {
    return getTextField(reinterpret_cast<const uint8_t*>(field), AlertRecipient::kTextSize);
}

Json enumeration(const std::string& text,
                 std::initializer_list<std::pair<const char*, const char*>> names) {
    for (const auto& [received, name] : names) {
        if (text == received) return name;
    }
    return nullptr;
}

// The recipient as a document gives it: its PPP password is never part of it.
Json recipientData(const AlertRecipient& r) {
    const std::string method = text(r.notificationMethod);
    const std::string level = text(r.alertLevel);
    return {{"index", r.index},
            {"name", text(r.name)},
            {"mail_address", text(r.mailAddress)},
            {"snmp_destination", text(r.snmpDestination)},
            {"ppp_login", text(r.pppLogin)},
            {"notification_method", enumeration(method, {{"Mail via LAN", "mail_via_lan"},
                                                         {"SNMP via LAN", "snmp_via_lan"},
                                                         {"Mail via PPP", "mail_via_ppp"},
                                                         {"SNMP via PPP", "snmp_via_ppp"}})},
            {"notification_method_as_received", method},
            {"alert_level", enumeration(level, {{"All Alerts", "all"},
                                                {"Disable Alerts", "disabled"},
                                                {"Critical Only", "critical"}})},
            {"alert_level_as_received", level}};
}

// What only the console shows of a recipient.
Json consoleOnly(const AlertRecipient& r) {
    return {{"ppp_password", text(r.pppPassword)}};
}

void printRecipient(const Json& r) {
    std::printf("Alert Receipient    : %d \n", r["index"].get<int>());
    std::printf("Name                : %s \n", textOf(r["name"]));
    std::printf("Email-Id            : %s \n", textOf(r["mail_address"]));
    std::printf("SNMP Destination    : %s \n", textOf(r["snmp_destination"]));
    std::printf("PPP Login name      : %s \n", textOf(r["ppp_login"]));
    std::printf("PPP Password        : %s \n", textOf(r["ppp_password"]));
    std::printf("Notification Method : %s \n", textOf(r["notification_method_as_received"]));
    std::printf("Alert Level         : %s \n", textOf(r["alert_level_as_received"]));
}

void printFailure(int status) {
    std::printf("Error while get number of Records, %s\n", statusMessage(status));
}

// -ARInfoSet shows the recipient before it is sent, then the failure if there was one.
void printSetRecipient(const Json& data, int status) {
    printRecipient(data);
    if (status != kStatusSuccess) printFailure(status);
}

void printGetRecipient(const Json& data, int status) {
    if (status != kStatusSuccess) return printFailure(status);
    printRecipient(data);
}

// A word of three or more characters fills the field; a shorter one is refused with `message`
// when the field is required, and leaves it empty otherwise.
bool takeIdentity(char* field, const std::string& word, bool required, const char* message,
                  Report& report) {
    if (word.size() >= kMinIdentity) {
        setText(field, word);
        return true;
    }
    if (required) {
        report.message(message);
        return false;
    }
    setText(field, "");
    return true;
}

struct Requirements {
    bool mail = false;
    bool snmp = false;
    bool ppp = false;
};

// Fills the method text from medium and method; false (after its message) when alerts are on
// and the medium is neither LAN nor PPP.
bool takeMethod(AlertRecipient& r, const std::string& method, const std::string& medium,
                bool alertsDisabled, Requirements& needs, Report& report) {
    const bool mail = equalsIgnoringCase(method, "Mail");
    const bool snmp = equalsIgnoringCase(method, "SNMP");
    const char* text = "";
    if (equalsIgnoringCase(medium, "lan")) {
        text = mail ? "Mail via LAN" : snmp ? "SNMP via LAN" : "";
    } else if (equalsIgnoringCase(medium, "PPP")) {
        needs.ppp = true;
        text = mail ? "Mail via PPP" : snmp ? "SNMP via PPP" : "";
    } else if (!alertsDisabled) {
        report.message("Alerts Level is enabled, Notification method required !\n");
        return false;
    } else {
        setText(r.notificationMethod, "");
        return true;
    }
    needs.mail = mail;
    needs.snmp = snmp;
    setText(r.notificationMethod, text);
    return true;
}

// Words: 3 index, 4 name, 5 mailId, 6 SNMPDest, 7 PPPID, 8 NotifyMethod, 9 NotifyMedium,
// 10 PPPPass, 11 AlertType.
int setRecipient(CardSession& session, const Words& words, Report& report) {
    AlertRecipient r;
    if (!readIndex(words[3], r.index, report)) return -1;
    // Texts the card keeps in 31 characters are refused rather than cut.
    for (size_t i : {4, 5, 6, 7, 10}) {
        if (words[i].size() > kMaxText) return -1;
    }
    setText(r.name, words[4]);
    const std::string& level = words[11];
    bool disabled = false;
    if (equalsIgnoringCase(level, "All")) {
        setText(r.alertLevel, "All Alerts");
    } else if (equalsIgnoringCase(level, "Disable")) {
        setText(r.alertLevel, "Disable Alerts");
        disabled = true;
    } else if (equalsIgnoringCase(level, "Critical")) {
        setText(r.alertLevel, "Critical Only");
    } else {
        report.message("Wrong Alert Level !\n");
        return -1;
    }
    Requirements needs;
    if (!takeMethod(r, words[8], words[9], disabled, needs, report)) return -1;
    if (!takeIdentity(r.mailAddress, words[5], needs.mail, "Vaild Mail Id required !", report) ||
        !takeIdentity(r.snmpDestination, words[6], needs.snmp, "Vaild SNMP Destination required !",
                      report) ||
        !takeIdentity(r.pppLogin, words[7], needs.ppp, "Vaild PPP Login Id required !", report) ||
        !takeIdentity(r.pppPassword, words[10], needs.ppp, "Vaild PPP Password required !", report))
        return -1;
    const int status = session.setAlertRecipient(r);
    Json sent = recipientData(r);
    Json console = consoleOnly(r);
    Json data = {{"index", r.index}};
    if (status == kStatusSuccess)
        data = sent;
    else
        console.update(sent);
    report.result(status, std::move(data), Change::Writes, printSetRecipient, std::move(console));
    return status;
}

int getRecipient(CardSession& session, const std::string& indexWord, Report& report) {
    AlertRecipient r;
    if (!readIndex(indexWord, r.index, report)) return -1;
    const int status = session.getAlertRecipient(r);
    Json data = {{"index", r.index}};
    if (status == kStatusSuccess) data = recipientData(r);
    report.result(status, std::move(data), Change::Reads, printGetRecipient, consoleOnly(r));
    return status;
}

}  // namespace

int runPefGroup(CardSession& session, const Words& words, Report& report) {
    if (words.size() < 3 || words[2].empty() || words[2][0] != '-') return -1;
    const std::string& sub = words[2];
    if (isSubCommand(sub, "pefInfo")) return -1;
    if (isSubCommand(sub, "ARInfoSet"))
        return words.size() == 12 ? setRecipient(session, words, report) : -1;
    if (isSubCommand(sub, "ARInfoGet"))
        return words.size() == 4 ? getRecipient(session, words[3], report) : -1;
    return -1;
}

}  // namespace vorl::cli
