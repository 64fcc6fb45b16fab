#pragma once
// The daemons' log: one line per event on standard error, logfmt with time and level by default
// (`ts=2026-12-08T10:00:00.123Z level=info msg="listening" address=127.0.0.1:9577`), or JSON
// objects. Safe to call from any thread; a line is written whole.
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

namespace vorl::web::log {

enum class Level { Debug, Info, Warn, Error };
enum class Format { Logfmt, Json };

// One key and its value; numbers are written as numbers.
struct Field {
    Field(std::string_view key, std::string_view value) : key(key), text(value) {}
    Field(std::string_view key, const char* value) : key(key), text(value ? value : "") {}
    Field(std::string_view key, const std::string& value) : key(key), text(value) {}
    Field(std::string_view key, bool value) : key(key), text(value ? "true" : "false"), raw(true) {}
    Field(std::string_view key, int value) : Field(key, static_cast<long long>(value)) {}
    Field(std::string_view key, unsigned value) : Field(key, static_cast<long long>(value)) {}
    Field(std::string_view key, long value) : Field(key, static_cast<long long>(value)) {}
    Field(std::string_view key, unsigned long value);
    Field(std::string_view key, long long value);
    Field(std::string_view key, double value);

    std::string_view key;
    std::string text;
    bool raw = false;  // a number or boolean: unquoted in JSON
};

void setLevel(Level level);
void setFormat(Format format);
// Where lines go (tests catch them); empty: standard error again.
void setSink(std::function<void(std::string_view line)> sink);

bool enabled(Level level);
void write(Level level, std::string_view message, std::initializer_list<Field> fields = {});

inline void debug(std::string_view message, std::initializer_list<Field> fields = {}) {
    if (enabled(Level::Debug)) write(Level::Debug, message, fields);
}
inline void info(std::string_view message, std::initializer_list<Field> fields = {}) {
    write(Level::Info, message, fields);
}
inline void warn(std::string_view message, std::initializer_list<Field> fields = {}) {
    write(Level::Warn, message, fields);
}
inline void error(std::string_view message, std::initializer_list<Field> fields = {}) {
    write(Level::Error, message, fields);
}

// The line `write` would make, without the time (tests compare it).
std::string format(Format format, std::string_view time, Level level, std::string_view message,
                   std::initializer_list<Field> fields);

// --log.level=debug|info|warn|error and --log.format=logfmt|json. NotMine for another option;
// Bad with the reason in `error` for a value it does not know.
enum class Option { NotMine, Applied, Bad };
Option applyOption(std::string_view name, std::string_view value, std::string& error);
extern const char* const kOptionsUsage;

}  // namespace vorl::web::log
