#include "cli/run_output.h"

#include "cli/dispatch.h"
#include "cli/document_text.h"
#include "wire/status_codes.h"

#ifndef VORL_TOOL_VERSION
#define VORL_TOOL_VERSION "unknown"
#endif

namespace vorl::cli {
namespace {

std::string lowerWord(const std::string& word) {
    std::string text = word.size() > 1 && word[0] == '-' ? word.substr(1) : word;
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

const char* stageName(Stage stage) {
    switch (stage) {
        case Stage::Connect:
            return "connect";
        case Stage::Login:
            return "login";
        case Stage::Words:
            break;
    }
    return "words";
}

// The position of a password among the command's words (a new account's, or an alert
// recipient's PPP password), or 0 when the words name none.
size_t passwordWord(const Words& words) {
    if (words.size() >= 5 && isSubCommand(words[1], "user")) return 4;
    if (words.size() == 12 && isSubCommand(words[1], "pef") &&
        isSubCommand(words[2], "ARInfoSet")) {
        return 10;
    }
    return 0;
}

// The command's words after the leading word; a password among them shows as "***".
Json commandWords(const Words& words) {
    Json list = Json::array();
    const size_t secret = passwordWord(words);
    for (size_t i = 1; i < words.size(); ++i) {
        list.push_back(secret != 0 && i == secret ? std::string("***") : words[i]);
    }
    return list;
}

// Groups that are one command each: their further words are arguments, not sub-commands.
bool isSingleCommandGroup(const std::string& group) {
    for (const char* name : {"setserverinfo", "getserverinfo", "getcardhealth", "geti2ccfg",
                             "seti2ccfg", "getipmicfg", "setipmicfg", "script"}) {
        if (group == name) return true;
    }
    return false;
}

// The group's name in the documents: the flash group's three keywords are one group.
std::string groupName(const std::string& keyword) {
    const std::string group = lowerWord(keyword);
    return group == "cardmode" || group == "file" ? "flash" : group;
}

}  // namespace

std::string schemaName(const Words& words) {
    if (words.size() < 2 || words[1].size() < 2 || words[1][0] != '-') return "vorl.run/1";
    const std::string group = groupName(words[1]);
    std::string name = "vorl." + group;
    if (words.size() >= 3 && !words[2].empty() && !isSingleCommandGroup(group)) {
        name += "." + lowerWord(words[2]);
    }
    return name + "/1";
}

Json JsonOutput::envelope(const Words& words, int status, int line) const {
    Json target = {{"interface", target_.network ? "network" : "host"}};
    if (target_.network) {
        target["host"] = target_.host;
        target["user"] = target_.user;
    }
    Json document = {{"schema", "vorl.run/1"},
                     {"tool", {{"name", "vorlcli"}, {"version", VORL_TOOL_VERSION}}},
                     {"target", std::move(target)},
                     {"command", commandWords(words)},
                     {"ok", status == 0},
                     {"status", status},
                     {"message", statusMessage(status)}};
    if (line > 0) document["line"] = line;
    return document;
}

void JsonOutput::commandDone(const Words& words, int status, int line) {
    Json document = envelope(words, status, line);
    document["schema"] = schemaName(words);
    if (!report_.ownMessage().empty()) document["message"] = report_.ownMessage();
    // "ok" says the card did what was asked, also where the status stays 0 when it did not.
    if (!report_.done()) {
        document["ok"] = false;
        document["message"] = report_.notDoneReason();
    }
    if (report_.change() != Change::Reads) {
        document["changed"] = report_.change() == Change::Writes && status == 0;
    }
    document["data"] = report_.hasData() ? report_.data() : Json();
    write(std::move(document));
    report_.clear();
}

void JsonOutput::stopped(Stage stage, const Words& words, int status, const std::string& message,
                         int line) {
    Json document = envelope(words, status, line);
    document["stage"] = stageName(stage);
    std::string text = report_.ownMessage().empty() ? message : report_.ownMessage();
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    // A refused script line is quoted in the message: its password must not be.
    if (const size_t secret = passwordWord(words); secret != 0 && !words[secret].empty()) {
        for (size_t at = text.find(words[secret]); at != std::string::npos;
             at = text.find(words[secret], at + 3))
            text.replace(at, words[secret].size(), "***");
    }
    document["message"] = text;
    write(std::move(document));
    report_.clear();
}

void JsonOutput::write(Json document) {
    // Texts from a card need not be UTF-8; a document must be, and must not lose them.
    for (auto& [name, member] : document.items()) keepExactText(member, name == "data");
    const std::string text = document.dump(-1, ' ', false, Json::error_handler_t::replace);
    std::fputs(text.c_str(), document_);
    std::fputc('\n', document_);
    std::fflush(document_);
}

}  // namespace vorl::cli
