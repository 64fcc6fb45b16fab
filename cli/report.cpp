#include "cli/report.h"

#include <vector>

namespace vorl::cli {

void TextReport::result(int status, Json data, Change, TextRenderer text, Json consoleOnly) {
    if (!text) return;
    if (consoleOnly.is_object()) data.update(consoleOnly);
    text(data, status);
}

void TextReport::message(const char* text, Change) {
    std::fputs(text, stdout);
}

void JsonReport::result(int, Json data, Change change, TextRenderer, Json) {
    hasData_ = true;
    data_ = std::move(data);
    change_ = change;
}

void JsonReport::notDone(const std::string& reason) {
    notDone_ = true;
    reason_ = reason;
}

void JsonReport::message(const char* text, Change change) {
    if (change != Change::Reads) change_ = change;
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == ' ')) line.pop_back();
    for (char& c : line) {
        if (c == '\n') c = ' ';
    }
    if (message_.empty()) message_ = line;
}

std::string formatted(const char* format, const std::string& word) {
    const int size = std::snprintf(nullptr, 0, format, word.c_str());
    if (size <= 0) return "";
    std::vector<char> text(static_cast<size_t>(size) + 1);
    std::snprintf(text.data(), text.size(), format, word.c_str());
    return std::string(text.data(), static_cast<size_t>(size));
}

std::string enumerationWord(const std::string& word) {
    std::string text = word;
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c == ' ') c = '_';
    }
    return text;
}

}  // namespace vorl::cli
