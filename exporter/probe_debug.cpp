#include "exporter/probe_debug.h"

#include <cstdio>

namespace vorl::exporter {
namespace {

// The commands the collectors send, named for a reader of the page.
const char* commandName(uint16_t command) {
    switch (command) {
        case 0x0001:
            return "login challenge";
        case 0x0002:
            return "login (user and digest masked)";
        case 0x0100:
            return "card health";
        case 0x0202:
            return "read sensors";
        case 0x0400:
            return "event log information";
        case 0x0605:
            return "flash section information";
        case 0x0700:
            return "network configuration";
        case 0x0903:
            return "firmware information";
        case 0x090B:
            return "card clock";
        case 0x0A00:
            return "heartbeat interval";
        default:
            return "";
    }
}

std::string format(const char* pattern, double value) {
    char text[32];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

std::string exchangeLine(const CardExchange& exchange) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%04X", exchange.command);
    std::string line = format("%8.4f s  ", exchange.startSeconds) + code;
    if (const char* name = commandName(exchange.command); *name != '\0')
        line += std::string(" ") + name;
    line += exchange.followUp ? ": the answer after a stale one"
                              : ": sent " + std::to_string(exchange.requestBytes) + " bytes";
    if (exchange.result == 0)
        line += ", status " + std::to_string(exchange.status) + ", received " +
                std::to_string(exchange.responseBytes) + " bytes";
    else
        line += ", no answer: " + exchange.failure;
    return line + " in " + format("%.1f ms", exchange.seconds * 1000) + "\n";
}

std::string collectorList(unsigned collectors) {
    std::string list;
    for (unsigned bit = 1; collectorName(bit) != nullptr; bit <<= 1)
        if (collectors & bit) list += (list.empty() ? "" : ", ") + std::string(collectorName(bit));
    return list;
}

}  // namespace

std::string logfmtValue(const std::string& value) {
    bool plain = !value.empty();
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F || c == '"' || c == '=' || c == '\\') plain = false;
    }
    if (plain) return value;
    std::string quoted = "\"";
    for (const char c : value) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

std::string probeFailureFields(const Target& target, const std::string& moduleName,
                               const CardReading& reading) {
    bool whole = !reading.results.empty();
    for (const auto& result : reading.results) whole = whole && result.ok;
    if (whole) return {};
    const std::string step = reading.failedStep.empty() ? "unknown" : reading.failedStep;
    const std::string reason =
        reading.failureReason.empty() ? "no reason recorded" : reading.failureReason;
    return "target=" + target.text() + ":" + std::to_string(target.port) +
           " module=" + logfmtValue(moduleName) + " collector=" + logfmtValue(step) +
           " reason=" + logfmtValue(reason);
}

std::string probeDebugPage(const Target& target, const std::string& moduleName,
                           const Module& module, const ProbeLog& log, const CardReading& reading,
                           bool shared, const std::string& metricsText) {
    const std::string where = target.text() + ":" + std::to_string(target.port);
    std::string page = "Probe of " + where + " with module " + moduleName + "\n";
    const std::string failure = probeFailureFields(target, moduleName, reading);
    page += failure.empty()
                ? "Result: every collector read the card\n"
                : "Result: failed at " + reading.failedStep + ": " + reading.failureReason + "\n";
    page += "\nExchanges with the card (time from the start of the probe):\n";
    if (shared) {
        page +=
            "  none recorded: this request shared the reading of a probe of the same card "
            "that was already running; ask again for a probe of its own\n";
    } else if (!log.connectTried) {
        page += "  none: the probe ended before it could connect\n";
    } else {
        page += "  connect to " + where + ": " +
                (log.connected ? "connected" : "failed: " + log.connectFailure) + " in " +
                format("%.1f ms", log.connectSeconds * 1000) + "\n";
        for (const CardExchange& exchange : log.exchanges) page += "  " + exchangeLine(exchange);
        if (log.dropped > 0)
            page += "  ... and " + std::to_string(log.dropped) + " more exchanges\n";
    }
    page += "\nMetrics that would have been returned:\n" + metricsText;
    page += "\nModule configuration:\n  user: <masked>\n  password: <masked>\n  timeout: " +
            std::to_string(module.timeout.count()) + "ms\n  collectors: [" +
            collectorList(module.collectors) + "]\n";
    return page;
}

}  // namespace vorl::exporter
