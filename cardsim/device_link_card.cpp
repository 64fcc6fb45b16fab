#include "cardsim/device_link_card.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "wire/byte_order.h"
#include "wire/command_header.h"
#include "wire/message_block.h"
#include "wire/vendor_commands.h"

namespace vorl::sim {
namespace {

using platform::DataDirection;

constexpr uint32_t kBlock = MessageBlock::kSize;
constexpr uint32_t kMaxMessage = CommandHeader::kMaxPacket;
constexpr uint8_t kCheckCondition = 0x02;
constexpr size_t kMaxQueuedMousePackets = 65536;

bool parseNumber(const std::string& text, uint32_t limit, uint32_t& value) {
    if (text.empty() || text.size() > 10) return false;
    uint64_t result = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        result = result * 10 + static_cast<uint64_t>(c - '0');
    }
    if (result > limit) return false;
    value = static_cast<uint32_t>(result);
    return true;
}

// "KIND:BUTTONS:X:Y" entries separated by commas.
bool parseMousePackets(const std::string& text, std::deque<std::array<uint8_t, 12>>& packets) {
    size_t at = 0;
    while (at <= text.size()) {
        const size_t comma = text.find(',', at);
        const std::string entry = text.substr(at, comma == std::string::npos ? comma : comma - at);
        uint32_t fields[4];
        size_t from = 0;
        for (int i = 0; i < 4; ++i) {
            const size_t colon = entry.find(':', from);
            if ((i < 3) != (colon != std::string::npos)) return false;
            const std::string field = entry.substr(from, i < 3 ? colon - from : std::string::npos);
            if (!parseNumber(field, i < 2 ? 255 : 65535, fields[i])) return false;
            from = colon + 1;
        }
        std::array<uint8_t, 12> packet{};
        packet[0] = static_cast<uint8_t>(fields[1]);
        putLe16(packet.data() + 3, static_cast<uint16_t>(fields[2]));
        putLe16(packet.data() + 5, static_cast<uint16_t>(fields[3]));
        packet[11] = static_cast<uint8_t>(fields[0]);
        packets.push_back(packet);
        if (comma == std::string::npos) break;
        at = comma + 1;
    }
    return true;
}

bool takeNumber(SimOptions& options, const char* key, uint32_t limit, uint32_t& value,
                std::string& error) {
    const auto text = options.take(key);
    if (!text) return true;
    if (parseNumber(*text, limit, value)) return true;
    error = std::string("bad value for --") + key + ": '" + *text + "'";
    return false;
}

}  // namespace

bool DeviceLinkConfig::take(SimOptions& options, std::string& error) {
    uint32_t status = scsiStatus;
    if (!takeNumber(options, "busy-polls", 1000000, busyPolls, error) ||
        !takeNumber(options, "refuse-passthrough", 1000000000, refuseCount, error) ||
        !takeNumber(options, "scsi-status", 255, status, error) ||
        !takeNumber(options, "heartbeat-interval", 0x7FFFFFFF, heartbeatInterval, error))
        return false;
    scsiStatus = static_cast<uint8_t>(status);
    if (const auto stuck = options.take("stuck-busy")) {
        stuckBusy = true;
        if (!stuck->empty() &&
            (!parseNumber(*stuck, 1000000, stuckExchanges) || stuckExchanges == 0)) {
            error = "bad value for --stuck-busy: '" + *stuck + "' (1 to 1000000 exchanges)";
            return false;
        }
    }
    if (options.take("no-card-drive")) cardPresent = false;
    if (const auto letter = options.take("card-drive")) {
        if (letter->size() != 1 || !std::isalpha(static_cast<unsigned char>((*letter)[0])) ||
            std::toupper(static_cast<unsigned char>((*letter)[0])) <= 'D') {
            error = "bad drive for --card-drive: '" + *letter + "' (E to Z)";
            return false;
        }
        cardDrive = static_cast<char>(std::toupper(static_cast<unsigned char>((*letter)[0])));
    }
    if (const auto packets = options.take("mouse-packets")) {
        if (!parseMousePackets(*packets, mousePackets)) {
            error = "bad value for --mouse-packets: '" + *packets + "' (KIND:BUTTONS:X:Y,...)";
            return false;
        }
    }
    return true;
}

DeviceLinkCard::DeviceLinkCard(SimCard& card, DeviceLinkConfig config)
    : card_(card),
      config_(std::move(config)),
      request_((kMaxMessage / kBlock + 1) * kBlock),
      answer_((kMaxMessage / kBlock + 1) * kBlock),
      heartbeatLog_(config_.heartbeatOutput) {}

std::string DeviceLinkCard::deviceList() const {
    std::string list;
    auto add = [&list](const std::string& name, const std::string& target) {
        list.append(name).push_back('\0');
        list.append(target).push_back('\0');
    };
    add("COM1", "\\Device\\Serial0");
    add("C:", "\\Device\\HarddiskVolume1");
    add("PhysicalDrive0", "\\Device\\Harddisk0\\DR0");
    add("D:", "\\Device\\CdRom0");
    if (config_.cardPresent) add(std::string(1, config_.cardDrive) + ":", "\\Device\\CdRom1");
    return list;
}

bool DeviceLinkCard::open(char letter) {
    letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    const bool exists =
        letter == 'C' || letter == 'D' || (config_.cardPresent && letter == config_.cardDrive);
    if (!exists) return false;
    std::lock_guard<std::mutex> guard(mutex_);
    ++opens_[static_cast<size_t>(letter - 'A')];
    return true;
}

LinkAnswer DeviceLinkCard::passThrough(uint64_t client, char drive, const uint8_t* cdb,
                                       uint8_t cdbLength, DataDirection direction, uint8_t* data,
                                       uint32_t size) {
    LinkAnswer answer;
    // The hard disk and the plain CD-ROM drive refuse every vendor command.
    if (!config_.cardPresent || drive != config_.cardDrive || cdbLength == 0) return answer;
    std::lock_guard<std::mutex> guard(mutex_);
    ++scsiCommands_;
    const uint8_t opcode = cdb[0];
    if (opcode == vendor::kOpProbe) {
        answer.refused = false;
        answer.moved = size < vendor::kProbeAnswerSize ? size : vendor::kProbeAnswerSize;
        std::memcpy(data, vendor::kProbeAnswer, answer.moved);
        return answer;
    }
    if (config_.refuseCount > 0) {
        --config_.refuseCount;
        return answer;
    }
    answer.refused = false;
    if (config_.scsiStatus != 0) {
        answer.scsiStatus = config_.scsiStatus;
        return answer;
    }
    const bool fromCard = direction == DataDirection::FromDevice;
    auto answerValue = [&](uint32_t value, uint64_t& counter) {
        ++counter;
        heartbeatLog_.record(opcode, value);
        if (size < 4 || !fromCard) {
            answer.scsiStatus = kCheckCondition;
            return answer;
        }
        putLe32(data, value);
        answer.moved = 4;
        return answer;
    };
    switch (opcode) {
        case vendor::kOpMousePacket: {
            if (size < 12 || !fromCard) break;
            ++mouseReads_;
            std::array<uint8_t, 12> packet{};  // kind 0: nothing to do
            if (!config_.mousePackets.empty()) {
                packet = config_.mousePackets.front();
                config_.mousePackets.pop_front();
            }
            std::memcpy(data, packet.data(), packet.size());
            answer.moved = 12;
            return answer;
        }
        case vendor::kOpWriteBlock:
        case vendor::kOpReadBlock:
            return cardCommand(client, cdb, direction, data, size);
        case vendor::kOpHeartbeatStart:
            return answerValue(config_.heartbeatInterval, heartbeatStarts_);
        case vendor::kOpHeartbeatPoll:
            return answerValue(config_.heartbeatInterval, heartbeatPolls_);
        case vendor::kOpHeartbeatStop:
            return answerValue(0, heartbeatStops_);
        default:
            break;
    }
    answer.scsiStatus = kCheckCondition;
    return answer;
}

LinkAnswer DeviceLinkCard::cardCommand(uint64_t client, const uint8_t* cdb, DataDirection direction,
                                       uint8_t* data, uint32_t size) {
    LinkAnswer answer;
    answer.refused = false;
    answer.scsiStatus = kCheckCondition;
    const bool write = cdb[0] == vendor::kOpWriteBlock;
    if (size != kBlock || write != (direction == DataDirection::ToDevice)) return answer;
    // Between the block that starts an exchange and the final read of the block, the message
    // channel belongs to one client. Anyone else arriving then means the hosts interleaved.
    const uint32_t selector = getBe32(cdb + 2);
    if (phase_ != Phase::Idle && client != owner_) {
        // A host gives up an exchange that stays busy; the next host's block starts anew.
        if (stuck_ && phase_ == Phase::Working && write && selector == 1) {
            ++abandoned_;
            return writeBlock(client, data);
        }
        ++interleaved_;
        std::fprintf(
            stderr, "vorlsim: device link: interleaved exchange (client %llu during %llu)\n",
            static_cast<unsigned long long>(client), static_cast<unsigned long long>(owner_));
        return answer;
    }
    if (selector == 1) return write ? writeBlock(client, data) : readBlock(data);
    if (selector == 2) return write ? writeData(data) : readData(data);
    return answer;
}

LinkAnswer DeviceLinkCard::writeBlock(uint64_t client, const uint8_t* data) {
    LinkAnswer answer;
    answer.refused = false;
    // A new block from the owner abandons whatever it left unfinished.
    std::memcpy(block_.data(), data, kBlock);
    owner_ = client;
    received_ = 0;
    messageType_ = getLe16(data + MessageBlock::kTypeOffset);
    requestLength_ = getLe32(data + MessageBlock::kRequestLengthOffset);
    phase_ = Phase::Receiving;
    if (requestLength_ == 0) runRequest();
    return answer;
}

LinkAnswer DeviceLinkCard::writeData(const uint8_t* data) {
    LinkAnswer answer;
    answer.refused = false;
    if (phase_ != Phase::Receiving) {
        answer.scsiStatus = kCheckCondition;
        return answer;
    }
    // Pieces past what fits are taken and dropped; the request is refused as too long.
    if (received_ + kBlock <= request_.size())
        std::memcpy(request_.data() + received_, data, kBlock);
    received_ += kBlock;
    if (received_ >= requestLength_) runRequest();
    return answer;
}

uint16_t DeviceLinkCard::checkRequest() const {
    const bool signed_ =
        std::memcmp(block_.data(), MessageBlock::kSignature, MessageBlock::kSignatureSize) == 0 &&
        block_[510] == 0x55 && block_[511] == 0xAA;
    if (!signed_ || messageType_ != MessageBlock::kTypeCardCommand)
        return MessageBlock::kStatusUnsupported;
    if (requestLength_ > kMaxMessage) return MessageBlock::kStatusTooMuchData;
    if (requestLength_ < CommandHeader::kSize) return MessageBlock::kStatusTooLittleData;
    const uint8_t* header = request_.data();
    if (std::memcmp(header, CommandHeader::kSignature, sizeof CommandHeader::kSignature) != 0 ||
        !CommandHeader::checksumValid(header))
        return MessageBlock::kStatusUnsupported;
    const uint64_t packet = uint64_t{CommandHeader::kSize} + CommandHeader::payloadLength(header);
    if (packet > requestLength_) return MessageBlock::kStatusTooLittleData;
    if (packet < requestLength_) return MessageBlock::kStatusTooMuchData;
    return MessageBlock::kStatusDone;
}

void DeviceLinkCard::runRequest() {
    phase_ = Phase::Working;
    busyLeft_ = config_.busyPolls;
    stuck_ =
        config_.stuckBusy && (config_.stuckExchanges == 0 || stuckSoFar_ < config_.stuckExchanges);
    if (stuck_) ++stuckSoFar_;
    answerLength_ = 0;
    answerRead_ = 0;
    status_ = checkRequest();
    if (status_ != MessageBlock::kStatusDone) return;
    const uint8_t* header = request_.data();
    SimRequest request;
    request.command = CommandHeader::commandCode(header);
    request.payload = header + CommandHeader::kSize;
    request.length = CommandHeader::payloadLength(header);
    request.link = Link::HostInterface;
    SimReply reply;
    reply.payload = answer_.data() + CommandHeader::kSize;
    card_.execute(request, reply);
    const uint32_t length = reply.length > CommandHeader::kMaxPayload ? 0 : reply.length;
    CommandHeader::buildResponse(answer_.data(), request.command, reply.status, length);
    answerLength_ = static_cast<uint32_t>(CommandHeader::kSize) + length;
    if (reply.after != AfterReply::Nothing)
        card_.restart(reply.after == AfterReply::RestartWithDefaults);
}

LinkAnswer DeviceLinkCard::readBlock(uint8_t* data) {
    LinkAnswer answer;
    answer.refused = false;
    answer.moved = kBlock;
    std::memcpy(data, block_.data(), kBlock);
    switch (phase_) {
        case Phase::Working:
            if (stuck_ || busyLeft_ > 0) {
                if (busyLeft_ > 0) --busyLeft_;
                putLe16(data + MessageBlock::kStatusOffset, MessageBlock::kBusyBit);
                return answer;
            }
            putLe16(block_.data() + MessageBlock::kStatusOffset, status_);
            putLe32(block_.data() + MessageBlock::kResponseLengthOffset,
                    status_ == MessageBlock::kStatusDone ? answerLength_ : 0);
            std::memcpy(data, block_.data(), kBlock);
            if (status_ != MessageBlock::kStatusDone) {
                ++exchanges_;
                phase_ = Phase::Idle;  // the host reads nothing more after a failure status
            } else {
                phase_ = answerLength_ > 0 ? Phase::Answering : Phase::Finishing;
            }
            return answer;
        case Phase::Answering:
        case Phase::Finishing:
            // The final read of the block hands the channel back.
            ++exchanges_;
            phase_ = Phase::Idle;
            return answer;
        default:
            return answer;
    }
}

LinkAnswer DeviceLinkCard::readData(uint8_t* data) {
    LinkAnswer answer;
    answer.refused = false;
    if (phase_ != Phase::Answering) {
        answer.scsiStatus = kCheckCondition;
        return answer;
    }
    std::memcpy(data, answer_.data() + answerRead_, kBlock);
    answer.moved = kBlock;
    answerRead_ += kBlock;
    if (answerRead_ >= answerLength_) phase_ = Phase::Finishing;
    return answer;
}

bool DeviceLinkCard::queueMousePackets(const std::string& text, uint32_t& queued) {
    std::deque<std::array<uint8_t, 12>> parsed;
    bool ok = text.empty() || parseMousePackets(text, parsed);
    std::lock_guard<std::mutex> guard(mutex_);
    if (config_.mousePackets.size() + parsed.size() > kMaxQueuedMousePackets) ok = false;
    if (ok) config_.mousePackets.insert(config_.mousePackets.end(), parsed.begin(), parsed.end());
    queued = static_cast<uint32_t>(config_.mousePackets.size());
    return ok;
}

void DeviceLinkCard::clientGone(uint64_t client) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (phase_ != Phase::Idle && owner_ == client) phase_ = Phase::Idle;
}

std::vector<HeartbeatRecord> DeviceLinkCard::heartbeatLog() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return heartbeatLog_.records();
}

std::string DeviceLinkCard::statistics() const {
    std::lock_guard<std::mutex> guard(mutex_);
    char text[512];
    std::snprintf(
        text, sizeof text,
        "exchanges %llu\ninterleaved %llu\nabandoned %llu\nmouse %llu\n"
        "heartbeat-start %llu\nheartbeat-poll %llu\nheartbeat-stop %llu\n",
        static_cast<unsigned long long>(exchanges_), static_cast<unsigned long long>(interleaved_),
        static_cast<unsigned long long>(abandoned_), static_cast<unsigned long long>(mouseReads_),
        static_cast<unsigned long long>(heartbeatStarts_),
        static_cast<unsigned long long>(heartbeatPolls_),
        static_cast<unsigned long long>(heartbeatStops_));
    std::string result = text;
    result += "mouse-queued " + std::to_string(config_.mousePackets.size()) + "\n";
    result += "scsi-commands " + std::to_string(scsiCommands_) + "\n";
    result += "logins " + std::to_string(card_.logins()) + "\n";
    for (size_t i = 0; i < opens_.size(); ++i) {
        if (opens_[i] == 0) continue;
        result += "open " + std::string(1, static_cast<char>('A' + i)) + ": " +
                  std::to_string(opens_[i]) + "\n";
    }
    return result;
}

}  // namespace vorl::sim
