#include "cardsim/sim_event_log_group.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>

#include "cardsim/sim_card.h"
#include "cardsim/sim_general_group.h"
#include "cardsim/sim_groups.h"
#include "cardsim/sim_settings_file.h"
#include "protocol/text_field.h"
#include "wire/byte_order.h"
#include "wire/status_codes.h"

namespace vorl::sim {
namespace {

// The card's own command table, kept apart from protocol/ on purpose (sim_groups.h).
constexpr uint16_t kGetInfo = 0x0400;
constexpr uint16_t kGetEntry = 0x0401;
constexpr uint16_t kAddEntry = 0x0402;
constexpr uint16_t kClear = 0x0403;
constexpr uint16_t kDeleteEntry = 0x0404;
constexpr uint16_t kGetPolicy = 0x0406;
constexpr uint16_t kSetPolicy = 0x0407;
constexpr uint16_t kGetEntryEx = 0x0408;
constexpr uint16_t kSetRecipient = 0x040E;
constexpr uint16_t kGetRecipient = 0x040F;

constexpr size_t kRecordSize = 48;
constexpr size_t kExRecordSize = 304;
constexpr size_t kField = 256;
constexpr size_t kPair = 2 * kField;
constexpr size_t kPairs = 8;
constexpr size_t kMaxText = 31;

using Recipient = SimEventLogGroup::Recipient;
using Member = std::string Recipient::*;
struct KeyedMember {
    const char* key;
    Member member;
};
// The pairs after "RECIPIENT_SELECT", in the order the card answers them.
constexpr KeyedMember kRecipientKeys[] = {
    {"RECIPIENT_NAME", &Recipient::name},        {"EMAIL_ID", &Recipient::mail},
    {"PPP_LOGIN_ID", &Recipient::pppLogin},      {"NOTIFICATION_METHOD", &Recipient::method},
    {"PPP_PASSWORD", &Recipient::pppPassword},   {"ALERT_LEVEL", &Recipient::level},
    {"SNMP_TRAP_DESTINATION", &Recipient::snmp},
};

const char* severityName(uint8_t severity) {
    switch (severity) {
        case 2:
            return "information";
        case 4:
            return "return to OK";
        case 8:
            return "warning";
        case 16:
            return "critical";
        case 32:
            return "fatal";
        default:
            return "unknown severity";
    }
}

std::string pairKey(const uint8_t* pair) {
    return getTextField(pair, kField);
}
std::string pairValue(const uint8_t* pair) {
    std::string value = getTextField(pair + kField, kField);
    if (value.size() > kMaxText) value.resize(kMaxText);
    return value;
}

// The recipient index of a "RECIPIENT_SELECT" value, or 0.
size_t recipientIndex(const std::string& text) {
    if (text.size() != 1 || text[0] < '1' || text[0] > '8') return 0;
    return static_cast<size_t>(text[0] - '0');
}

std::string recordKey(size_t n) {
    return "record." + std::to_string(n);
}

}  // namespace

std::unique_ptr<SimGroup> makeEventLogGroup(SimCard& card, SimOptions& options) {
    size_t capacity = SimEventLogGroup::kDefaultCapacity;
    if (const auto value = options.take("sel-capacity")) {
        int64_t n = 0;
        if (!parseDecimal(*value, n) || n < 1 || n > 65535) {
            std::fprintf(stderr, "vorlsim: --sel-capacity needs a number 1..65535\n");
            std::exit(2);
        }
        capacity = static_cast<size_t>(n);
    }
    auto group = std::make_unique<SimEventLogGroup>(capacity);
    // Records carry the card's own clock, which -Gen can set.
    SimCard* cardPointer = &card;
    group->setClock([cardPointer]() -> int64_t {
        if (auto* general = cardPointer->group<SimGeneralGroup>()) return general->cardTime();
        return static_cast<int64_t>(std::time(nullptr));
    });
    return group;
}

SimEventLogGroup::SimEventLogGroup(size_t capacity)
    : capacity_(capacity), clock_([] { return static_cast<int64_t>(std::time(nullptr)); }) {}

uint32_t SimEventLogGroup::now() const {
    return static_cast<uint32_t>(clock_());
}

void SimEventLogGroup::handle(const SimRequest& request, SimReply& reply) {
    reply.status = kStatusSuccess;
    reply.length = 0;
    switch (request.command) {
        case kGetInfo:
            getInfo(reply);
            break;
        case kGetEntry:
            reply.status = getRecord(request, reply, false);
            break;
        case kGetEntryEx:
            reply.status = getRecord(request, reply, true);
            break;
        case kAddEntry:
            reply.status = addRecord(request);
            break;
        case kDeleteEntry:
            reply.status = deleteRecord(request);
            break;
        case kClear:
            putBe16(reply.payload, static_cast<uint16_t>(records_.size()));
            reply.length = 2;
            records_.clear();
            lastErase_ = now();
            break;
        case kGetPolicy:
            reply.payload[0] = policy_;
            reply.length = 1;
            break;
        case kSetPolicy:
            if (request.length != 1 || (request.payload[0] != 1 && request.payload[0] != 2))
                reply.status = kStatusInvalidArgument;
            else
                policy_ = request.payload[0];
            break;
        case kSetRecipient:
            reply.status = setRecipient(request);
            break;
        case kGetRecipient:
            reply.status = getRecipient(request, reply);
            break;
        default:
            reply.status = kStatusUnsupported;
            return;
    }
    const bool changes = request.command == kAddEntry || request.command == kDeleteEntry ||
                         request.command == kClear || request.command == kSetPolicy ||
                         request.command == kSetRecipient;
    reply.stateChanged = changes && reply.status == kStatusSuccess;
}

void SimEventLogGroup::getInfo(SimReply& reply) const {
    uint8_t* out = reply.payload;
    const size_t free =
        records_.size() < capacity_ ? (capacity_ - records_.size()) * kRecordSize : 0;
    out[0] = kVersion;
    putBe16(out + 1, static_cast<uint16_t>(records_.size()));
    putBe16(out + 3, static_cast<uint16_t>(free > 0xFFFF ? 0xFFFF : free));
    putBe32(out + 5, lastAddition_);
    putBe32(out + 9, lastErase_);
    out[13] = kSupportFlags;
    reply.length = 14;
}

uint16_t SimEventLogGroup::getRecord(const SimRequest& request, SimReply& reply,
                                     bool extended) const {
    if (request.length != (extended ? kExRecordSize : kRecordSize)) return kStatusInvalidArgument;
    const uint16_t number = getBe16(request.payload);
    if (number < 1 || number > records_.size()) return kStatusResourceNotExist;
    const Record& record = records_[number - 1];
    std::memcpy(reply.payload, record.bytes.data(), kRecordSize);
    putBe16(reply.payload, number);
    reply.length = kRecordSize;
    if (extended) {
        putTextField(reply.payload + kRecordSize, kExRecordSize - kRecordSize, record.description);
        reply.length = kExRecordSize;
    }
    return kStatusSuccess;
}

uint16_t SimEventLogGroup::append(Record record) {
    if (records_.size() >= capacity_) {
        if (policy_ != 1) return kStatusInsufficientSpace;
        records_.pop_front();
    }
    lastAddition_ = now();
    putBe32(record.bytes.data() + 3, lastAddition_);
    records_.push_back(std::move(record));
    return kStatusSuccess;
}

uint16_t SimEventLogGroup::addRecord(const SimRequest& request) {
    if (request.length != kRecordSize) return kStatusInvalidArgument;
    Record record;
    std::memcpy(record.bytes.data(), request.payload, kRecordSize);
    const uint16_t eventId = getBe16(request.payload + 10);
    char text[96];
    std::snprintf(text, sizeof text, "Host event: module %u, event %u, %s", eventId >> 8,
                  eventId & 0xFFu, severityName(request.payload[12]));
    record.description = text;
    return append(std::move(record));
}

bool SimEventLogGroup::logEvent(uint16_t eventId, uint8_t severity,
                                const std::string& description) {
    Record record;
    putBe16(record.bytes.data() + 10, eventId);
    record.bytes[12] = severity;
    std::memcpy(record.bytes.data() + 16, description.data(),
                description.size() < 32 ? description.size() : 32);
    record.description = description;
    return append(std::move(record)) == kStatusSuccess;
}

uint16_t SimEventLogGroup::deleteRecord(const SimRequest& request) {
    if (request.length != 2) return kStatusInvalidArgument;
    const uint16_t number = getBe16(request.payload);
    if (number < 1 || number > records_.size()) return kStatusResourceNotExist;
    records_.erase(records_.begin() + (number - 1));
    lastErase_ = now();
    return kStatusSuccess;
}

uint16_t SimEventLogGroup::setRecipient(const SimRequest& request) {
    if (request.length < kPair * kPairs) return kStatusInvalidArgument;
    size_t index = 0;
    Recipient updated;
    for (size_t i = 0; i < kPairs; ++i) {
        const uint8_t* pair = request.payload + kPair * i;
        const std::string key = pairKey(pair);
        if (key == "RECIPIENT_SELECT") index = recipientIndex(pairValue(pair));
        for (const KeyedMember& keyed : kRecipientKeys) {
            if (key == keyed.key) updated.*keyed.member = pairValue(pair);
        }
    }
    if (index == 0) return kStatusOutOfRange;
    recipients_[index - 1] = updated;
    return kStatusSuccess;
}

uint16_t SimEventLogGroup::getRecipient(const SimRequest& request, SimReply& reply) const {
    if (request.length < kPair || pairKey(request.payload) != "RECIPIENT_SELECT")
        return kStatusInvalidArgument;
    const size_t index = recipientIndex(pairValue(request.payload));
    if (index == 0) return kStatusOutOfRange;
    const Recipient& r = recipients_[index - 1];
    uint8_t* out = reply.payload;
    putTextField(out, kField, "RECIPIENT_SELECT");
    putTextField(out + kField, kField, std::to_string(index));
    for (size_t i = 0; i < std::size(kRecipientKeys); ++i) {
        uint8_t* pair = out + kPair * (i + 1);
        putTextField(pair, kField, kRecipientKeys[i].key);
        putTextField(pair + kField, kField, r.*kRecipientKeys[i].member);
    }
    reply.length = kPair * kPairs;
    return kStatusSuccess;
}

void SimEventLogGroup::setDefaults() {
    records_.clear();
    policy_ = 1;
    lastAddition_ = 0;
    lastErase_ = 0;
    for (Recipient& r : recipients_) {
        r = Recipient{};
        r.level = "Disable Alerts";
    }
}

void SimEventLogGroup::load(const std::filesystem::path& dir) {
    const SettingsMap settings = readSettingsFile(dir / kFileName);
    if (settings.empty()) return;
    int64_t value = 0;
    auto number = [&](const char* key, int64_t& out) {
        auto it = settings.find(key);
        return it != settings.end() && parseDecimal(it->second, out);
    };
    if (number("policy", value) && (value == 1 || value == 2))
        policy_ = static_cast<uint8_t>(value);
    if (number("last_addition", value)) lastAddition_ = static_cast<uint32_t>(value);
    if (number("last_erase", value)) lastErase_ = static_cast<uint32_t>(value);
    records_.clear();
    for (size_t n = 1;; ++n) {
        auto bytes = settings.find(recordKey(n) + ".bytes");
        auto text = settings.find(recordKey(n) + ".text");
        std::vector<uint8_t> raw, description;
        if (bytes == settings.end() || !fromHex(bytes->second, raw) || raw.size() != kRecordSize)
            break;
        Record record;
        std::memcpy(record.bytes.data(), raw.data(), kRecordSize);
        if (text != settings.end() && fromHex(text->second, description))
            record.description.assign(description.begin(), description.end());
        records_.push_back(std::move(record));
    }
    // A card started with a smaller log keeps its newest records.
    while (records_.size() > capacity_) records_.pop_front();
    for (size_t i = 0; i < kRecipientCount; ++i) {
        for (const KeyedMember& keyed : kRecipientKeys) {
            auto it = settings.find("recipient." + std::to_string(i + 1) + "." + keyed.key);
            std::vector<uint8_t> raw;
            if (it != settings.end() && fromHex(it->second, raw))
                recipients_[i].*keyed.member = std::string(raw.begin(), raw.end());
        }
    }
}

void SimEventLogGroup::save(const std::filesystem::path& dir) const {
    SettingsMap settings;
    settings["policy"] = std::to_string(policy_);
    settings["last_addition"] = std::to_string(lastAddition_);
    settings["last_erase"] = std::to_string(lastErase_);
    for (size_t n = 1; n <= records_.size(); ++n) {
        const Record& record = records_[n - 1];
        settings[recordKey(n) + ".bytes"] = toHex(record.bytes.data(), record.bytes.size());
        settings[recordKey(n) + ".text"] = toHex(
            reinterpret_cast<const uint8_t*>(record.description.data()), record.description.size());
    }
    for (size_t i = 0; i < kRecipientCount; ++i) {
        for (const KeyedMember& keyed : kRecipientKeys) {
            const std::string& text = recipients_[i].*keyed.member;
            settings["recipient." + std::to_string(i + 1) + "." + keyed.key] =
                toHex(reinterpret_cast<const uint8_t*>(text.data()), text.size());
        }
    }
    writeSettingsFile(dir / kFileName, settings);
}

}  // namespace vorl::sim
