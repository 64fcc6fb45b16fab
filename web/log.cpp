#include "web/log.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <mutex>

namespace vorl::web::log {
namespace {

struct State {
    std::mutex mutex;
    Level level = Level::Info;
    Format format = Format::Logfmt;
    std::function<void(std::string_view)> sink;
};

State& state() {
    static State instance;
    return instance;
}

const char* levelName(Level level) {
    switch (level) {
        case Level::Debug:
            return "debug";
        case Level::Info:
            return "info";
        case Level::Warn:
            return "warn";
        case Level::Error:
            return "error";
    }
    return "info";
}

void appendHex(std::string& out, const char* prefix, unsigned char c) {
    static const char kDigits[] = "0123456789abcdef";
    out += prefix;
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
}

// A logfmt value: bare when it is one plain word, quoted otherwise; bytes that are not
// printable ASCII are escaped so that one event stays one line whatever a peer sent.
void appendLogfmt(std::string& out, std::string_view text) {
    bool bare = !text.empty();
    for (unsigned char c : text)
        if (c <= ' ' || c == '"' || c == '=' || c == '\\' || c >= 0x7F) bare = false;
    if (bare) {
        out += text;
        return;
    }
    out += '"';
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < ' ' || c >= 0x7F) {
            appendHex(out, "\\x", c);
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
}

void appendJson(std::string& out, std::string_view text) {
    out += '"';
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < ' ' || c >= 0x7F) {
            // Bytes beyond ASCII may not be UTF-8: each is kept as its own code point.
            appendHex(out, "\\u00", c);
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
}

std::string utcNow() {
    const auto now = std::chrono::system_clock::now();
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(millis / 1000);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", parts.tm_year + 1900,
                  parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec,
                  static_cast<int>(millis % 1000));
    return text;
}

}  // namespace

Field::Field(std::string_view key, unsigned long value)
    : key(key), text(std::to_string(value)), raw(true) {}
Field::Field(std::string_view key, long long value)
    : key(key), text(std::to_string(value)), raw(true) {}
Field::Field(std::string_view key, double value) : key(key), raw(true) {
    if (!std::isfinite(value)) {
        text = std::isnan(value) ? "NaN" : value > 0 ? "+Inf" : "-Inf";
        raw = false;
        return;
    }
    char number[32];
    std::snprintf(number, sizeof number, "%.6g", value);
    text = number;
}

void setLevel(Level level) {
    std::lock_guard<std::mutex> guard(state().mutex);
    state().level = level;
}

void setFormat(Format format) {
    std::lock_guard<std::mutex> guard(state().mutex);
    state().format = format;
}

void setSink(std::function<void(std::string_view)> sink) {
    std::lock_guard<std::mutex> guard(state().mutex);
    state().sink = std::move(sink);
}

bool enabled(Level level) {
    std::lock_guard<std::mutex> guard(state().mutex);
    return level >= state().level;
}

std::string format(Format format, std::string_view time, Level level, std::string_view message,
                   std::initializer_list<Field> fields) {
    std::string line;
    line.reserve(96 + message.size());
    if (format == Format::Json) {
        line += "{\"ts\":";
        appendJson(line, time);
        line += ",\"level\":";
        appendJson(line, levelName(level));
        line += ",\"msg\":";
        appendJson(line, message);
        for (const Field& field : fields) {
            line += ',';
            appendJson(line, field.key);
            line += ':';
            if (field.raw)
                line += field.text;
            else
                appendJson(line, field.text);
        }
        line += "}\n";
        return line;
    }
    line += "ts=";
    line += time;
    line += " level=";
    line += levelName(level);
    line += " msg=";
    appendLogfmt(line, message);
    for (const Field& field : fields) {
        line += ' ';
        line += field.key;
        line += '=';
        appendLogfmt(line, field.text);
    }
    line += '\n';
    return line;
}

void write(Level level, std::string_view message, std::initializer_list<Field> fields) {
    State& s = state();
    std::lock_guard<std::mutex> guard(s.mutex);
    if (level < s.level) return;
    const std::string line = format(s.format, utcNow(), level, message, fields);
    if (s.sink) {
        s.sink(line);
        return;
    }
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

const char* const kOptionsUsage =
    "  --log.level=LEVEL          debug, info, warn or error (default info)\n"
    "  --log.format=FORMAT        logfmt or json (default logfmt)\n";

Option applyOption(std::string_view name, std::string_view value, std::string& error) {
    if (name == "--log.level") {
        static const std::pair<const char*, Level> kLevels[] = {{"debug", Level::Debug},
                                                                {"info", Level::Info},
                                                                {"warn", Level::Warn},
                                                                {"error", Level::Error}};
        for (const auto& [text, level] : kLevels)
            if (value == text) {
                setLevel(level);
                return Option::Applied;
            }
        error = "--log.level must be debug, info, warn or error";
        return Option::Bad;
    }
    if (name == "--log.format") {
        if (value != "logfmt" && value != "json") {
            error = "--log.format must be logfmt or json";
            return Option::Bad;
        }
        setFormat(value == "json" ? Format::Json : Format::Logfmt);
        return Option::Applied;
    }
    return Option::NotMine;
}

}  // namespace vorl::web::log
