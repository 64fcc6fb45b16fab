#include "cardsim/sim_general_group.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

#include "cardsim/sim_card.h"
#include "cardsim/sim_flash_group.h"
#include "cardsim/sim_groups.h"
#include "cardsim/sim_settings_file.h"
#include "firmware/image_builder.h"
#include "protocol/general_records.h"
#include "wire/byte_order.h"
#include "wire/status_codes.h"

namespace vorl::sim {
namespace {
// The card's own command table, kept apart from protocol/ on purpose (sim_groups.h).
constexpr uint16_t kReset = 0x0900;
constexpr uint16_t kResetToDefaults = 0x0901;
constexpr uint16_t kGetFirmwareInfo = 0x0903;
constexpr uint16_t kSetServerInfo = 0x0904;
constexpr uint16_t kGetServerInfo = 0x0905;
constexpr uint16_t kSetCardName = 0x0906;
constexpr uint16_t kGetCardName = 0x0907;
constexpr uint16_t kSetSmtp = 0x0908;
constexpr uint16_t kGetSmtp = 0x0909;
constexpr uint16_t kSetTime = 0x090A;
constexpr uint16_t kGetTime = 0x090B;
constexpr uint16_t kGetHeartbeat = 0x0A00;
constexpr uint16_t kSetHeartbeat = 0x0A01;

constexpr const char* kDefaultFirmwareVersion = "2.4.1\n";
constexpr const char* kBuildDate = "Mon Dec 7 09:00:00 UTC 2026\n";
constexpr const char* kDefaultCardName = "VORL";

template <size_t N>
void answer(SimReply& reply, const std::array<uint8_t, N>& record) {
    std::memcpy(reply.payload, record.data(), N);
    reply.length = N;
}

template <size_t N>
void loadRecord(const SettingsMap& settings, const char* key, std::array<uint8_t, N>& target) {
    const auto it = settings.find(key);
    std::vector<uint8_t> bytes;
    if (it == settings.end() || !fromHex(it->second, bytes) || bytes.size() != N) return;
    std::memcpy(target.data(), bytes.data(), N);
}

}  // namespace

SimGeneralGroup::SimGeneralGroup(SimCard* card)
    : card_(card),
      hostClock_([] { return static_cast<int64_t>(std::time(nullptr)); }),
      firmwareVersion_(kDefaultFirmwareVersion) {}

std::string SimGeneralGroup::firmwareVersion() const {
    const SimFlashGroup* flash = card_ ? card_->group<SimFlashGroup>() : nullptr;
    if (!flash) return firmwareVersion_;
    for (const ModuleSpec& factory : defaultModuleLayout()) {
        if (factory.name != "OS") continue;
        const uint16_t running = flash->runningVersion(factory.signature);
        // A card that boots another OS module than it shipped with runs that firmware.
        if (running == 0 || running == factory.version) return firmwareVersion_;
        char text[32];
        std::snprintf(text, sizeof text, "%d.%d.%d\n", running >> 12, (running >> 8) & 0x0F,
                      running & 0xFF);
        return text;
    }
    return firmwareVersion_;
}

bool SimGeneralGroup::handles(uint16_t command) const {
    return (command >> 8) == 0x09 || (command >> 8) == 0x0A;
}

void SimGeneralGroup::handle(const SimRequest& request, SimReply& reply) {
    reply.status = kStatusSuccess;
    reply.length = 0;
    switch (request.command) {
        case kReset:
            reply.after = AfterReply::Restart;
            break;
        case kResetToDefaults:
            reply.after = AfterReply::RestartWithDefaults;
            break;
        case kSetTime:
        case kGetTime:
            handleClock(request, reply);
            break;
        case kGetHeartbeat:
        case kSetHeartbeat:
            handleHeartbeat(request, reply);
            break;
        default:
            handleSettings(request, reply);
    }
}

void SimGeneralGroup::handleSettings(const SimRequest& request, SimReply& reply) {
    switch (request.command) {
        case kGetFirmwareInfo: {
            const std::string version = firmwareVersion();
            std::memcpy(reply.payload, version.data(),
                        std::min<size_t>(version.size(), FirmwareInfo::kVersionWidth));
            const size_t date = std::strlen(kBuildDate);
            std::memcpy(reply.payload + FirmwareInfo::kVersionWidth, kBuildDate, date);
            reply.length = static_cast<uint32_t>(FirmwareInfo::kVersionWidth + date + 1);
            break;
        }
        case kSetServerInfo:
            store(request, reply, serverInfo_);
            break;
        case kGetServerInfo:
            answer(reply, serverInfo_);
            break;
        case kSetCardName:
            store(request, reply, cardName_);
            // A card keeps at most 255 characters and its terminator.
            cardName_.back() = 0;
            break;
        case kGetCardName: {
            const size_t length =
                strnlen(reinterpret_cast<const char*>(cardName_.data()), cardName_.size());
            std::memcpy(reply.payload, cardName_.data(), length);
            reply.length = static_cast<uint32_t>(length + 1);
            break;
        }
        case kSetSmtp:
            store(request, reply, smtp_);
            break;
        case kGetSmtp:
            answer(reply, smtp_);
            break;
        default:
            reply.status = kStatusUnsupported;
    }
}

template <size_t N>
void SimGeneralGroup::store(const SimRequest& request, SimReply& reply,
                            std::array<uint8_t, N>& target) {
    if (request.length != N) {
        reply.status = kStatusInvalidArgument;
        return;
    }
    std::memcpy(target.data(), request.payload, N);
    reply.stateChanged = true;
}

void SimGeneralGroup::handleClock(const SimRequest& request, SimReply& reply) {
    const int64_t now = cardTime();
    if (request.command == kGetTime) {
        CardTime time;
        time.seconds = static_cast<int32_t>(now);
        time.encode(reply.payload);
        reply.length = CardTime::kSize;
        return;
    }
    if (request.length != CardTime::kSize) {
        reply.status = kStatusInvalidArgument;
        return;
    }
    CardTime wanted;
    wanted.decode(request.payload);
    const bool goingBack = wanted.seconds < now;
    if (goingBack && wanted.rollBack != 1) {
        reply.status = kStatusOutOfRange;
        return;
    }
    clockOffset_ = wanted.seconds - hostClock_();
    reply.stateChanged = true;
    // Services that hold timers of their own only see a clock going back after a restart.
    if (goingBack) reply.after = AfterReply::Restart;
}

void SimGeneralGroup::handleHeartbeat(const SimRequest& request, SimReply& reply) {
    if (request.command == kGetHeartbeat) {
        putBe32(reply.payload, static_cast<uint32_t>(heartbeatInterval_));
        reply.length = kHeartbeatIntervalSize;
        return;
    }
    if (request.length != kHeartbeatIntervalSize) {
        reply.status = kStatusInvalidArgument;
        return;
    }
    const int32_t interval = static_cast<int32_t>(getBe32(request.payload));
    if (interval <= 0) {
        reply.status = kStatusOutOfRange;
        return;
    }
    heartbeatInterval_ = interval;
    reply.stateChanged = true;
}

void SimGeneralGroup::setDefaults() {
    // The clock offset is left alone: the card's clock is not configuration.
    serverInfo_.fill(0);
    cardName_.fill(0);
    std::memcpy(cardName_.data(), kDefaultCardName, std::strlen(kDefaultCardName));
    smtp_.fill(0);
    heartbeatInterval_ = kDefaultHeartbeatInterval;
}

void SimGeneralGroup::load(const std::filesystem::path& dir) {
    const SettingsMap settings = readSettingsFile(dir / kFileName);
    loadRecord(settings, "server-info", serverInfo_);
    loadRecord(settings, "card-name", cardName_);
    cardName_.back() = 0;
    loadRecord(settings, "smtp", smtp_);
    int64_t value = 0;
    if (const auto it = settings.find("clock-offset");
        it != settings.end() && parseDecimal(it->second, value))
        clockOffset_ = value;
    if (const auto it = settings.find("heartbeat-interval");
        it != settings.end() && parseDecimal(it->second, value) && value > 0 && value <= INT32_MAX)
        heartbeatInterval_ = static_cast<int32_t>(value);
}

void SimGeneralGroup::save(const std::filesystem::path& dir) const {
    writeSettingsFile(dir / kFileName,
                      {{"server-info", toHex(serverInfo_.data(), serverInfo_.size())},
                       {"card-name", toHex(cardName_.data(), cardName_.size())},
                       {"smtp", toHex(smtp_.data(), smtp_.size())},
                       {"clock-offset", std::to_string(clockOffset_)},
                       {"heartbeat-interval", std::to_string(heartbeatInterval_)}});
}

std::unique_ptr<SimGroup> makeGeneralGroup(SimCard& card, SimOptions&) {
    return std::make_unique<SimGeneralGroup>(&card);
}

}  // namespace vorl::sim
