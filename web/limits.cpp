#include "web/limits.h"

#include <cstdint>

namespace vorl::web {
namespace {

// A decimal count without sign or suffix, at most `max`.
bool parseCount(std::string_view text, size_t max, size_t& count) {
    if (text.empty() || text.size() > 12) return false;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    if (value > max) return false;
    count = static_cast<size_t>(value);
    return true;
}

}  // namespace

bool parseDuration(std::string_view text, Milliseconds& duration) {
    static const std::pair<std::string_view, int64_t> kUnits[] = {
        {"ms", 1}, {"s", 1000}, {"m", 60000}, {"h", 3600000}};
    if (text.empty()) return false;
    int64_t total = 0;
    size_t i = 0;
    while (i < text.size()) {
        int64_t number = 0;
        const size_t start = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - start < 9)
            number = number * 10 + (text[i++] - '0');
        if (i == start || (i < text.size() && text[i] >= '0' && text[i] <= '9')) return false;
        int64_t scale = 0;
        for (const auto& [unit, factor] : kUnits)
            if (text.substr(i, unit.size()) == unit && (unit != "m" || text.substr(i, 2) != "ms")) {
                scale = factor;
                i += unit.size();
                break;
            }
        if (scale == 0) return false;
        total += number * scale;
        if (total > int64_t{7} * 24 * 3600000) return false;  // a week: surely a typing error
    }
    duration = Milliseconds(total);
    return true;
}

const char* const kLimitOptionsUsage =
    "  --web.header-timeout=5s    the whole request head, from its first byte (and the wait\n"
    "                             for a new connection's first request)\n"
    "  --web.handshake-timeout=5s the TLS handshake, from its first byte (and the wait for it)\n"
    "  --web.body-timeout=30s     the request body, from the end of its head\n"
    "  --web.idle-timeout=60s     a kept-alive connection between requests\n"
    "  --web.write-timeout=10s    each write of an answer (a client that does not read)\n"
    "  --web.max-connections=4096 open connections; when full, the one idle longest is closed\n"
    "  --web.max-header-bytes=8192, --web.max-body-bytes=65536  request size caps\n";

LimitOption applyLimitOption(std::string_view name, std::string_view value, Limits& limits,
                             std::string& error) {
    const std::pair<std::string_view, Milliseconds*> durations[] = {
        {"--web.header-timeout", &limits.headerTimeout},
        {"--web.handshake-timeout", &limits.handshakeTimeout},
        {"--web.body-timeout", &limits.bodyTimeout},
        {"--web.idle-timeout", &limits.idleTimeout},
        {"--web.write-timeout", &limits.writeTimeout}};
    for (const auto& [option, target] : durations) {
        if (name != option) continue;
        Milliseconds parsed{};
        if (!parseDuration(value, parsed) || parsed.count() < 10) {
            error = std::string(name) + " must be a duration of at least 10ms, such as 5s";
            return LimitOption::Bad;
        }
        *target = parsed;
        return LimitOption::Applied;
    }
    const std::pair<std::string_view, std::pair<size_t*, std::pair<size_t, size_t>>> counts[] = {
        {"--web.max-connections", {&limits.maxConnections, {1, 1000000}}},
        {"--web.max-header-bytes", {&limits.maxHeaderBytes, {1024, 1 << 20}}},
        {"--web.max-body-bytes", {&limits.maxBodyBytes, {0, size_t{1} << 30}}}};
    for (const auto& [option, target] : counts) {
        if (name != option) continue;
        size_t parsed = 0;
        const auto [low, high] = target.second;
        if (!parseCount(value, high, parsed) || parsed < low) {
            error = std::string(name) + " must be a number from " + std::to_string(low) + " to " +
                    std::to_string(high);
            return LimitOption::Bad;
        }
        *target.first = parsed;
        return LimitOption::Applied;
    }
    return LimitOption::NotMine;
}

}  // namespace vorl::web
