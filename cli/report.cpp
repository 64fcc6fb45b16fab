#include "cli/report.h"

#include <vector>

namespace vorl::cli {

void TextReport::result(int status, Json data, Change, TextRenderer text) {
    if (text) text(data, status);
}

void TextReport::message(const char* text, Change) {
    std::fputs(text, stdout);
}

void JsonReport::result(int, Json data, Change change, TextRenderer) {
    hasData_ = true;
    data_ = std::move(data);
    change_ = change;
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

}  // namespace vorl::cli
