#pragma once
// Messages of the DMTF Base registry, as Redfish clients read them in an error body's
// @Message.ExtendedInfo (or beside a successful answer). Every error the service gives is one
// of these, with its arguments.
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace vorl::redfish {

using Json = nlohmann::ordered_json;

// The prefix of every MessageId: the registry's name, major and minor version.
constexpr const char* kBaseRegistry = "Base.1.22";

struct Message {
    std::string key;  // "PropertyUnknown", ...; must be one the table of messages.cpp holds
    std::vector<std::string> args;
};

// A Message object: MessageId, the text with its arguments filled in, MessageArgs, severity
// and resolution from the registry.
Json messageJson(const Message& message);

// An error body: "code" and "message" from the first message, every message in
// @Message.ExtendedInfo.
Json errorJson(const std::vector<Message>& messages);

// The text of a JSON value. Card texts are bytes, not always UTF-8: what is not UTF-8 becomes
// U+FFFD rather than an error.
std::string jsonText(const Json& value);

// A client's value as a message argument: a string as it is, a number, true, false or null
// as JSON writes it, an object or an array by its kind only (a value nested a million deep
// must not be walked to be named).
std::string argumentText(const Json& value);

}  // namespace vorl::redfish
