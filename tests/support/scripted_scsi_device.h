#pragma once
// A scripted device backend for the host interface: a list of drives with their targets, a
// card behind one of them that answers the message layer from a script, and a record of every
// open, pass-through request and mutex operation.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/scsi_device.h"

namespace vorl::test {

struct ScriptedDrive {
    std::string name;    // "E:", "COM1", ...
    std::string target;  // "\Device\CdRom0", ...
    bool opens = true;
    bool isCard = false;  // answers the probe with the card signature
    int opensLeft = -1;   // opens that succeed before the drive stops opening (-1: all)
};

struct ScriptedCommand {
    std::string path;  // the device it went to
    std::vector<uint8_t> cdb;
    platform::DataDirection direction = platform::DataDirection::FromDevice;
    uint32_t size = 0;
    std::vector<uint8_t> sent;  // data sent to the device

    uint8_t opcode() const { return cdb.empty() ? 0 : cdb[0]; }
    bool isBlockRead() const { return opcode() == 0xE3 && cdb[5] == 1; }
    bool isBlockWrite() const { return opcode() == 0xE2 && cdb[5] == 1; }
    bool isDataRead() const { return opcode() == 0xE3 && cdb[5] == 2; }
    bool isDataWrite() const { return opcode() == 0xE2 && cdb[5] == 2; }
};

// The card's side of the message layer, driven by a few knobs.
struct ScriptedCard {
    // Block reads answered busy before the result (UINT32_MAX: for ever).
    uint32_t busyReads = 0;
    uint16_t status = 0;  // the result written at offset 18
    // Answers a request packet; default: a valid response header with status 0, no payload.
    std::function<std::vector<uint8_t>(const std::vector<uint8_t>& request)> respond;
    // When set, written at offset 24 instead of the answer's true length.
    bool overrideResponseLength = false;
    uint32_t responseLength = 0;
    // Data reads move only this many bytes (with good status) when nonzero.
    uint32_t shortReadBytes = 0;
    std::vector<uint8_t> heartbeatAnswer = {30, 0, 0, 0};
    std::vector<uint8_t> mouseAnswer = std::vector<uint8_t>(12, 0);

    // What the card saw.
    std::vector<uint8_t> block;    // the last block written
    std::vector<uint8_t> request;  // the data pieces of the current request
    std::vector<uint8_t> answer;
    uint32_t answerRead = 0;
};

class ScriptedDeviceBackend : public platform::DeviceBackend {
public:
    ScriptedDeviceBackend();

    long queryDosDevice(const char* name, char* buffer, uint32_t capacity) override;
    std::unique_ptr<platform::ScsiDevice> openDevice(const char* path) override;
    std::unique_ptr<platform::NamedMutex> createNamedMutex(const char* name) override;

    // The pass-through of every request (public so that a test can wrap it).
    platform::PassThroughResult passThrough(const std::string& path, const uint8_t* cdb,
                                            uint8_t cdbLength, uint8_t* buffer, uint32_t size,
                                            platform::DataDirection direction);

    std::vector<ScriptedDrive> drives;
    ScriptedCard card;
    // Fault knobs for the card drive's commands (the probe excepted): the next `refuseNext`
    // requests are refused; the next `statusNext` ones answer `failStatus`.
    uint32_t refuseNext = 0;
    uint32_t statusNext = 0;
    uint8_t failStatus = 2;
    bool mutexFails = false;
    bool deviceListFails = false;
    uint32_t deviceListFailures = 0;  // the next N device-list queries fail

    std::vector<std::string> listQueries;  // names asked for (empty string: the list)
    std::vector<std::string> opened;
    // Handles closed so far (shared, so a test can read it after the backend has gone).
    std::shared_ptr<int> closes = std::make_shared<int>(0);
    std::vector<ScriptedCommand> commands;
    std::vector<std::string> mutexNames;
    int mutexLocks = 0;
    int mutexUnlocks = 0;
    bool mutexHeld = false;

    // Counts of the recorded commands.
    size_t count(bool (ScriptedCommand::*what)() const) const;

private:
    platform::PassThroughResult cardCommand(const ScriptedCommand& command, uint8_t* buffer);
};

// The usual machine: COM1, a hard disk C:, a plain CD-ROM D: and the card's drive E:.
std::unique_ptr<ScriptedDeviceBackend> makeMachineWithCard();

}  // namespace vorl::test
