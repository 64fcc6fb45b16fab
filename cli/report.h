#pragma once
// The result of one command as data, and the two ways it is shown: the console texts people read
// (byte for byte those of the original tool) or the JSON document scripts read. A handler builds
// its result once and hands it to the Report with the function that prints it as text; it never
// asks which of the two is in use.
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

namespace vorl::cli {

using Json = nlohmann::ordered_json;

// Prints a result's console text from its data and the command's status.
using TextRenderer = void (*)(const Json& data, int status);

// What a command does to the card: reads it, writes it (changed when its status is 0), or would
// write it but did not (the user declined, say).
enum class Change { Reads, Writes, Unchanged };

class Report {
public:
    virtual ~Report() = default;
    // The command's result: `status` of its operation, its `data`, what it did to the card, and
    // the function that prints it as text. `consoleOnly` holds what the console shows but a
    // document must never carry (a password, a value the card refused): its members are merged
    // into the data for the text alone.
    virtual void result(int status, Json data, Change change, TextRenderer text,
                        Json consoleOnly) = 0;
    void result(int status, Json data, Change change, TextRenderer text) {
        result(status, std::move(data), change, text, Json());
    }
    // A write's result: the values sent are its data when the card took them; when it refused
    // them they reach the console alone, and the data holds `kept` (what names the target), so
    // that no document gives a value the card does not have.
    void written(int status, Json sent, TextRenderer text, Json kept = Json::object()) {
        if (status == 0)
            result(status, std::move(sent), Change::Writes, text);
        else
            result(status, std::move(kept), Change::Writes, text, std::move(sent));
    }
    // The card did not do what was asked although the command ends with the status the console
    // tool has always given (0): a refusal it reports in its own words, a question answered no.
    // `reason` says why, for the document (it comes before any message of the tool's own).
    virtual void notDone(const std::string& reason) = 0;
    // A message of the tool's own (a refusal of the words, say), exactly as text mode prints it.
    // A command that would change the card and refuses its words before sending anything says
    // so with Change::Unchanged.
    virtual void message(const char* text, Change change) = 0;
    void message(const char* text) { message(text, Change::Reads); }
};

// Text mode: the console texts on standard output.
class TextReport : public Report {
public:
    using Report::result;
    void result(int status, Json data, Change change, TextRenderer text, Json consoleOnly) override;
    void notDone(const std::string&) override {}
    using Report::message;
    void message(const char* text, Change change) override;
};

// JSON mode: keeps the result for the command's document.
class JsonReport : public Report {
public:
    using Report::result;
    void result(int status, Json data, Change change, TextRenderer text, Json consoleOnly) override;
    void notDone(const std::string& reason) override;
    using Report::message;
    void message(const char* text, Change change) override;

    bool hasData() const { return hasData_; }
    const Json& data() const { return data_; }
    Change change() const { return change_; }
    // True when the card did not do what was asked (see Report::notDone).
    bool done() const { return !notDone_; }
    // The tool's own message, without its line ends; empty when there was none.
    const std::string& ownMessage() const { return message_; }
    // Why the command was not done; empty when it was.
    const std::string& notDoneReason() const { return reason_; }
    void clear() { *this = JsonReport(); }

private:
    bool hasData_ = false;
    bool notDone_ = false;
    Change change_ = Change::Reads;
    Json data_;
    std::string message_;
    std::string reason_;
};

// The text of a string value of a result, for the console renderers.
inline const char* textOf(const Json& value) {
    return value.get_ref<const std::string&>().c_str();
}

// The message printed for a tool's own refusal; formatted like printf.
std::string formatted(const char* format, const std::string& word);

// An enumeration word as the documents give it: the card's (or the console's) word in lower case
// with blanks as "_" ("Normal" -> "normal", "MD5" -> "md5").
std::string enumerationWord(const std::string& word);

}  // namespace vorl::cli
