#include "redfish/event_log_watch.h"

#include <cstdio>
#include <nlohmann/json.hpp>
#include <vector>

#include "cardread/event_log.h"
#include "protocol/card_session.h"
#include "protocol/event_log_records.h"
#include "protocol/text_field.h"
#include "redfish/event_messages.h"
#include "redfish/log_severity.h"
#include "redfish/resource_routes.h"
#include "redfish/sensor_views.h"
#include "redfish/service_state.h"
#include "web/log.h"
#include "wire/status_codes.h"

namespace vorl::redfish {
namespace {

namespace log = web::log;

constexpr const char* kFile = "event_log_cursors.json";
constexpr size_t kMaxFileBytes = 1 << 20;

std::string fingerprint(const cardread::EventLogEntry& entry) {
    char text[96];
    std::snprintf(text, sizeof text, "%u:%u:%u:", static_cast<unsigned>(entry.time),
                  static_cast<unsigned>(entry.eventId), static_cast<unsigned>(entry.severity));
    std::string out = text;
    for (uint8_t byte : entry.data) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", byte);
        out += hex;
    }
    return out;
}

// Reads record `index` (from 1); false when the card would not give it.
bool readEntry(CardSession& session, uint16_t index, cardread::EventLogEntry& entry, int& status) {
    SelRecordEx record;
    record.record.recordNumber = index;
    status = session.getSelEntryEx(record);
    if (status != 0) return false;
    const std::string description = getTextField(
        reinterpret_cast<const uint8_t*>(record.description), SelRecordEx::kDescriptionSize);
    entry = cardread::decodeEventLogEntry(record.record, index, description.c_str());
    return true;
}

// What one poll found: the new entries, oldest first, and the cursor after them.
struct LogDelta {
    std::vector<cardread::EventLogEntry> entries;
    LogCursor after;
    uint16_t skipped = 0;
};

// The entries after `cursor`. Records are appended at the end; when the cursor's record still
// sits at its place, everything after it is new; otherwise (the log was cleared, rolled over,
// records deleted) the newest records are read back until the cursor's record shows up.
int readDelta(CardSession& session, const LogCursor& cursor, LogDelta& delta) {
    delta = LogDelta{};
    SelInfo info;
    if (const int status = session.getSelInfo(info); status != 0) return status;
    const uint16_t count = info.recordCount;
    delta.after = cursor;
    delta.after.known = true;
    delta.after.count = count;
    if (count == 0) {
        delta.after.newest.clear();
        return 0;
    }
    int status = 0;
    cardread::EventLogEntry entry;
    uint16_t firstNew = 1;  // the oldest record that is new
    bool found = false;
    if (cursor.known && !cursor.newest.empty() && cursor.count >= 1 && cursor.count <= count) {
        if (!readEntry(session, cursor.count, entry, status)) return status;
        if (fingerprint(entry) == cursor.newest) {
            firstNew = static_cast<uint16_t>(cursor.count + 1);
            found = true;
        }
    }
    if (!found && cursor.known && !cursor.newest.empty()) {
        // Back from the newest until the cursor's record, at most kMaxNewEntries + 1 reads.
        for (uint16_t index = count; index >= 1; --index) {
            if (count - index > EventLogWatch::kMaxNewEntries) break;
            if (!readEntry(session, index, entry, status)) return status;
            if (fingerprint(entry) == cursor.newest) {
                firstNew = static_cast<uint16_t>(index + 1);
                break;
            }
        }
    }
    if (!cursor.known) firstNew = static_cast<uint16_t>(count + 1);  // what is there is old
    if (count + 1 - firstNew > EventLogWatch::kMaxNewEntries) {
        delta.skipped = static_cast<uint16_t>(count + 1 - firstNew - EventLogWatch::kMaxNewEntries);
        firstNew = static_cast<uint16_t>(count + 1 - EventLogWatch::kMaxNewEntries);
    }
    for (uint16_t index = firstNew; index <= count && index >= 1; ++index) {
        if (!readEntry(session, index, entry, status)) return status;
        delta.entries.push_back(entry);
    }
    if (delta.entries.empty() && !readEntry(session, count, entry, status)) return status;
    delta.after.newest = fingerprint(delta.entries.empty() ? entry : delta.entries.back());
    return 0;
}

}  // namespace

EventLogWatch::EventLogWatch(CardPool& cards, ServiceState& state, EventSink& sink,
                             std::chrono::milliseconds interval,
                             std::chrono::milliseconds cardTimeout)
    : cards_(cards), state_(state), sink_(sink), interval_(interval), cardTimeout_(cardTimeout) {
    load();
    thread_ = std::thread([this] { run(); });
}

EventLogWatch::~EventLogWatch() {
    {
        std::lock_guard<std::mutex> guard(stopMutex_);
        stopping_ = true;
    }
    stopSignal_.notify_all();
    thread_.join();
}

void EventLogWatch::run() {
    std::unique_lock<std::mutex> lock(stopMutex_);
    while (!stopping_) {
        lock.unlock();
        pollAll();
        lock.lock();
        stopSignal_.wait_for(lock, interval_, [this] { return stopping_; });
    }
}

void EventLogWatch::pollAll() {
    std::lock_guard<std::mutex> guard(pollMutex_);
    bool changed = false;
    for (const auto& card : cards_.cards()) {
        LogCursor& cursor = cursors_[card->link.id()];
        const LogCursor before = cursor;
        pollCard(*card, cursor);
        changed = changed || before.known != cursor.known || before.count != cursor.count ||
                  before.newest != cursor.newest || before.reachable != cursor.reachable ||
                  before.sensors != cursor.sensors;
    }
    if (changed) store();
}

void EventLogWatch::pollCard(Card& card, LogCursor& cursor) {
    const std::string id = card.link.id();
    const std::string manager = std::string(kManagers) + "/" + id;
    LogDelta delta;
    int status = 0;
    std::map<std::string, std::string> sensors;
    bool sensorsRead = false;
    const CardResult result = card.link.run(
        Clock::now() + cardTimeout_, CardLink::Kind::Read, [&](CardSession& session) -> int {
            status = readDelta(session, cursor, delta);
            if (status == kStatusConnectError) return status;
            const cardread::CardReading reading =
                cardread::readCard(session, cardread::kHealth | cardread::kSensors);
            if (reading.connectionLost) return kStatusConnectError;
            sensors.clear();
            for (const SensorView& view : sensorViews(reading))
                sensors[view.id] = view.healthy && view.reading ? "OK" : "Warning";
            sensorsRead = reading.failedStep.empty();
            return 0;
        });
    if (result.trouble == CardTrouble::Busy) return;  // requests held it: next time
    const bool reachable = result.trouble == CardTrouble::None;
    // A card first seen down is announced; one first seen up is not news.
    const bool announce = cursor.reachable ? *cursor.reachable != reachable : !reachable;
    if (announce) {
        sink_.publish(reachable ? resourceEvent("ResourceStatusChangedOK", {manager, "OK"}, manager,
                                                "Manager")
                                : resourceEvent("ResourceStatusChangedCritical",
                                                {manager, "Critical"}, manager, "Manager"));
    }
    cursor.reachable = reachable;
    if (!result.ok()) return;
    const bool first = !cursor.known;
    if (sensorsRead) publishSensors(id, first, cursor, sensors);
    if (status != 0) return;  // the log's place stays: its new entries come next time
    if (delta.skipped > 0)
        log::warn("more new event log entries than one poll publishes: the oldest are skipped",
                  {{"card", id}, {"skipped", static_cast<unsigned long>(delta.skipped)}});
    for (const auto& entry : delta.entries) {
        const std::string uri =
            manager + "/LogServices/EventLog/Entries/" + std::to_string(entry.index);
        ServiceEvent event = resourceEvent("ResourceCreated", {}, uri, "LogEntry");
        // A severity the card does not define is told as OK rather than dropped.
        const char* severity = logSeverity(entry.severity);
        event.severity = severity != nullptr ? severity : "OK";
        event.logEntry = uri;
        event.detail = entry.description.empty()
                           ? "Event " + std::to_string(entry.event()) + " of module " +
                                 std::to_string(entry.module())
                           : entry.description;
        sink_.publish(std::move(event));
    }
    delta.after.sensors = std::move(cursor.sensors);
    cursor = std::move(delta.after);
    cursor.reachable = reachable;
}

void EventLogWatch::publishSensors(const std::string& id, bool first, LogCursor& cursor,
                                   std::map<std::string, std::string>& sensors) {
    // The first reading of a card is where it stands, not a change.
    if (!first)
        for (const auto& [sensor, state] : sensors) {
            const auto before = cursor.sensors.find(sensor);
            if (before == cursor.sensors.end() || before->second == state) continue;
            const std::string uri = std::string(kChassis) + "/" + id + "/Sensors/" + sensor;
            sink_.publish(resourceEvent(
                state == "OK" ? "ResourceStatusChangedOK" : "ResourceStatusChangedWarning",
                {uri, state}, uri, "Sensor"));
        }
    cursor.sensors = std::move(sensors);
}

void EventLogWatch::load() {
    std::string error;
    const auto text = state_.readFile(kFile, kMaxFileBytes, error);
    if (!text) {
        if (!error.empty()) log::warn(error + ": every card's log is read afresh");
        return;
    }
    const auto json = nlohmann::json::parse(*text, nullptr, false);
    if (!json.is_object()) {
        log::warn(state_.directory() + "/" + kFile + ": damaged; every card's log is read afresh");
        return;
    }
    for (const auto& [id, item] : json.items()) {
        if (!item.is_object() || !cards_.find(id)) continue;
        LogCursor cursor;
        cursor.known = item.value("known", false);
        const int count = item.value("count", 0);
        cursor.count = count >= 0 && count <= 0xFFFF ? static_cast<uint16_t>(count) : 0;
        cursor.newest = item.value("newest", std::string());
        if (const auto reachable = item.find("reachable");
            reachable != item.end() && reachable->is_boolean())
            cursor.reachable = reachable->get<bool>();
        if (const auto sensors = item.find("sensors");
            sensors != item.end() && sensors->is_object())
            for (const auto& [sensor, state] : sensors->items())
                if (state.is_string()) cursor.sensors[sensor] = state.get<std::string>();
        cursors_[id] = cursor;
    }
}

void EventLogWatch::store() {
    nlohmann::json json = nlohmann::json::object();
    for (const auto& [id, cursor] : cursors_) {
        json[id] = {{"known", cursor.known}, {"count", cursor.count}, {"newest", cursor.newest}};
        if (cursor.reachable) json[id]["reachable"] = *cursor.reachable;
        json[id]["sensors"] = cursor.sensors;
    }
    if (!state_.writeFile(kFile, json.dump(2) + "\n"))
        log::error("the event log cursors could not be stored",
                   {{"file", state_.directory() + "/" + kFile}});
}

}  // namespace vorl::redfish
