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
    // the function that prints it as text.
    virtual void result(int status, Json data, Change change, TextRenderer text) = 0;
    // A message of the tool's own (a refusal of the words, say), exactly as text mode prints it.
    // A command that would change the card and refuses its words before sending anything says
    // so with Change::Unchanged.
    virtual void message(const char* text, Change change) = 0;
    void message(const char* text) { message(text, Change::Reads); }
};

// Text mode: the console texts on standard output.
class TextReport : public Report {
public:
    void result(int status, Json data, Change change, TextRenderer text) override;
    using Report::message;
    void message(const char* text, Change change) override;
};

// JSON mode: keeps the result for the command's document.
class JsonReport : public Report {
public:
    void result(int status, Json data, Change change, TextRenderer text) override;
    using Report::message;
    void message(const char* text, Change change) override;

    bool hasData() const { return hasData_; }
    const Json& data() const { return data_; }
    Change change() const { return change_; }
    // The tool's own message, without its line ends; empty when there was none.
    const std::string& ownMessage() const { return message_; }
    void clear() { *this = JsonReport(); }

private:
    bool hasData_ = false;
    Change change_ = Change::Reads;
    Json data_;
    std::string message_;
};

// The text of a string value of a result, for the console renderers.
inline const char* textOf(const Json& value) {
    return value.get_ref<const std::string&>().c_str();
}

// The message printed for a tool's own refusal; formatted like printf.
std::string formatted(const char* format, const std::string& word);

}  // namespace vorl::cli
