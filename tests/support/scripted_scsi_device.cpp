#include "tests/support/scripted_scsi_device.h"

#include <algorithm>
#include <cstring>

#include "wire/byte_order.h"
#include "wire/command_header.h"
#include "wire/message_block.h"

namespace vorl::test {
namespace {

using platform::DataDirection;
using platform::PassThroughResult;

class ScriptedDevice : public platform::ScsiDevice {
public:
    ScriptedDevice(ScriptedDeviceBackend& backend, std::string path)
        : backend_(backend), path_(std::move(path)), closes_(backend.closes) {}
    ~ScriptedDevice() override { ++*closes_; }
    PassThroughResult passThrough(const uint8_t* cdb, uint8_t cdbLength, uint8_t* buffer,
                                  uint32_t size, DataDirection direction, uint32_t) override {
        return backend_.passThrough(path_, cdb, cdbLength, buffer, size, direction);
    }

private:
    ScriptedDeviceBackend& backend_;
    std::string path_;
    std::shared_ptr<int> closes_;  // outlives the backend when the host interface goes first
};

class RecordingMutex : public platform::NamedMutex {
public:
    explicit RecordingMutex(ScriptedDeviceBackend& backend) : backend_(backend) {}
    bool lock() override {
        ++backend_.mutexLocks;
        backend_.mutexHeld = true;
        return true;
    }
    void unlock() override {
        ++backend_.mutexUnlocks;
        backend_.mutexHeld = false;
    }

private:
    ScriptedDeviceBackend& backend_;
};

PassThroughResult done(uint32_t moved, uint8_t status = 0) {
    PassThroughResult result;
    result.refused = false;
    result.scsiStatus = status;
    result.bytesMoved = moved;
    return result;
}

std::vector<uint8_t> emptyAnswer(const std::vector<uint8_t>& request) {
    std::vector<uint8_t> answer(CommandHeader::kSize);
    const uint16_t command = request.size() >= 32 ? CommandHeader::commandCode(request.data()) : 0;
    CommandHeader::buildResponse(answer.data(), command, 0, 0);
    return answer;
}

}  // namespace

ScriptedDeviceBackend::ScriptedDeviceBackend() {
    card.respond = emptyAnswer;
}

long ScriptedDeviceBackend::queryDosDevice(const char* name, char* buffer, uint32_t capacity) {
    listQueries.push_back(name == nullptr ? "" : name);
    std::string out;
    if (name == nullptr) {
        if (deviceListFails) return 0;
        if (deviceListFailures > 0) {
            --deviceListFailures;
            return 0;
        }
        for (const ScriptedDrive& drive : drives) out.append(drive.name).push_back('\0');
    } else {
        auto it = std::find_if(drives.begin(), drives.end(),
                               [name](const ScriptedDrive& d) { return d.name == name; });
        if (it == drives.end()) return 0;
        out.append(it->target).push_back('\0');
    }
    out.push_back('\0');
    if (out.size() > capacity) return platform::kDeviceQueryTooSmall;
    std::memcpy(buffer, out.data(), out.size());
    return static_cast<long>(out.size());
}

std::unique_ptr<platform::ScsiDevice> ScriptedDeviceBackend::openDevice(const char* path) {
    opened.push_back(path);
    const std::string text = path;
    for (ScriptedDrive& drive : drives) {
        if (text != "\\\\.\\" + drive.name || !drive.opens || drive.opensLeft == 0) continue;
        if (drive.opensLeft > 0) --drive.opensLeft;
        return std::make_unique<ScriptedDevice>(*this, text);
    }
    return nullptr;
}

std::unique_ptr<platform::NamedMutex> ScriptedDeviceBackend::createNamedMutex(const char* name) {
    mutexNames.push_back(name);
    if (mutexFails) return nullptr;
    return std::make_unique<RecordingMutex>(*this);
}

size_t ScriptedDeviceBackend::count(bool (ScriptedCommand::*what)() const) const {
    return static_cast<size_t>(
        std::count_if(commands.begin(), commands.end(),
                      [what](const ScriptedCommand& c) { return (c.*what)(); }));
}

PassThroughResult ScriptedDeviceBackend::passThrough(const std::string& path, const uint8_t* cdb,
                                                     uint8_t cdbLength, uint8_t* buffer,
                                                     uint32_t size, DataDirection direction) {
    ScriptedCommand command;
    command.path = path;
    command.cdb.assign(cdb, cdb + cdbLength);
    command.direction = direction;
    command.size = size;
    if (direction == DataDirection::ToDevice) command.sent.assign(buffer, buffer + size);
    commands.push_back(command);

    auto drive = std::find_if(drives.begin(), drives.end(), [&path](const ScriptedDrive& d) {
        return path == "\\\\.\\" + d.name;
    });
    if (drive == drives.end() || !drive->isCard) return PassThroughResult{};
    if (command.opcode() == 0xEE) {
        static const char kSignature[10] = {'$', '$', '$', 'Z', 'O', 'R', '$', '$', '$', 0};
        std::memcpy(buffer, kSignature, std::min<uint32_t>(size, 10));
        return done(std::min<uint32_t>(size, 10));
    }
    if (refuseNext > 0) {
        --refuseNext;
        return PassThroughResult{};
    }
    if (statusNext > 0) {
        --statusNext;
        return done(0, failStatus);
    }
    return cardCommand(command, buffer);
}

PassThroughResult ScriptedDeviceBackend::cardCommand(const ScriptedCommand& command,
                                                     uint8_t* buffer) {
    const uint32_t block = MessageBlock::kSize;
    switch (command.opcode()) {
        case 0xE1:
            std::memcpy(buffer, card.mouseAnswer.data(),
                        std::min<size_t>(command.size, card.mouseAnswer.size()));
            return done(command.size);
        case 0xE5:
        case 0xE6:
        case 0xE7:
            std::memcpy(buffer, card.heartbeatAnswer.data(),
                        std::min<size_t>(command.size, card.heartbeatAnswer.size()));
            return done(command.size);
        default:
            break;
    }
    if (command.isBlockWrite()) {
        card.block = command.sent;
        card.request.clear();
        card.answer.clear();
        card.answerRead = 0;
        return done(block);
    }
    if (command.isDataWrite()) {
        card.request.insert(card.request.end(), command.sent.begin(), command.sent.end());
        return done(block);
    }
    if (command.isBlockRead()) {
        std::vector<uint8_t> out = card.block;
        out.resize(block);
        if (card.busyReads > 0) {
            if (card.busyReads != UINT32_MAX) --card.busyReads;
            putLe16(out.data() + MessageBlock::kStatusOffset, MessageBlock::kBusyBit);
        } else {
            const uint32_t requestLength = getLe32(out.data() + MessageBlock::kRequestLengthOffset);
            if (card.answer.empty()) {
                std::vector<uint8_t> request(
                    card.request.begin(),
                    card.request.begin() + std::min<size_t>(requestLength, card.request.size()));
                card.answer = card.respond(request);
            }
            putLe16(out.data() + MessageBlock::kStatusOffset, card.status);
            putLe32(out.data() + MessageBlock::kResponseLengthOffset,
                    card.overrideResponseLength ? card.responseLength
                                                : static_cast<uint32_t>(card.answer.size()));
        }
        std::memcpy(buffer, out.data(), block);
        return done(block);
    }
    if (command.isDataRead()) {
        const uint32_t moved = card.shortReadBytes != 0 ? card.shortReadBytes : block;
        for (uint32_t i = 0; i < moved; ++i) {
            const size_t at = card.answerRead + i;
            buffer[i] = at < card.answer.size() ? card.answer[at] : 0xCC;
        }
        card.answerRead += block;
        return done(moved);
    }
    return done(0, 2);
}

std::unique_ptr<ScriptedDeviceBackend> makeMachineWithCard() {
    auto backend = std::make_unique<ScriptedDeviceBackend>();
    backend->drives = {{"COM1", "\\Device\\Serial0"},
                       {"C:", "\\Device\\HarddiskVolume1"},
                       {"D:", "\\Device\\CdRom0"},
                       {"E:", "\\Device\\CdRom1", true, true}};
    return backend;
}

}  // namespace vorl::test
