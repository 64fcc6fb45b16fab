#pragma once
// The card's CD-ROM drive: discovery, opening, the machine-wide access mutex and the vendor
// SCSI commands, over a platform device backend (Win32, simulated device link, or none).
// The tray program and the service use it directly; vorlcli and vorlpanel through a
// CardSession of transport type 0.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "hostifc/host_transport.h"
#include "platform/deadline.h"
#include "platform/named_mutex.h"
#include "platform/scsi_device.h"
#include "wire/mouse_packet.h"

namespace vorl {

class HostInterface : public HostTransport {
public:
    static constexpr const char* kMutexName = "K8_HD_ACCESS_MUTEX";
    static constexpr uint32_t kTimeoutSeconds = 120;
    static constexpr uint32_t kRetryPauseMs = 2000;
    static constexpr uint32_t kReconnectPauseMs = 1000;
    // SendScsiCommand's result when the platform refused the request.
    static constexpr int kRefused = 255;

    explicit HostInterface(std::unique_ptr<platform::DeviceBackend> backend);
    // Writes "host win destructor\n", then disconnects.
    ~HostInterface() override;

    // 0 connected; 1 no card drive found; 2 found but it did not open; 3 no access mutex
    // (the drive stays open).
    int connect() override;
    // Closes the drive and drops the mutex; returns 0. Harmless when never connected.
    int disconnect() override;
    int findDrive() override;
    int ReadCD(int8_t selector, uint8_t* destination) override;
    int WriteCD(int8_t selector, const uint8_t* source) override;
    int openDrive() override;
    int closeDrive() override;
    void pause(uint32_t milliseconds) override;
    [[gnu::format(printf, 2, 3)]] void trace(const char* format, ...) override;
    int lockedExchange(uint16_t messageType, uint32_t requestLength, uint32_t& responseLength,
                       const uint8_t* request, uint8_t* response, uint32_t responseCapacity,
                       uint32_t pollBudget) override;

    // One pass-through request on `device` (null: as refused). The SCSI status (0 good) with
    // `size` set to the bytes moved, or kRefused when the platform refused the request (then
    // the command block is dumped to the trace, except for the probe 0xEE).
    int SendScsiCommand(platform::ScsiDevice* device, const uint8_t* cdb, uint8_t cdbLength,
                        uint8_t* buffer, uint32_t& size, platform::DataDirection direction,
                        uint32_t timeoutSeconds);
    // 1 when `device` answers the probe 0xEE with "$$$ZOR$$$" and a zero byte, else 0.
    int probeSignature(platform::ScsiDevice& device);
    // Pointer packet (0xE1): 0 and the packet, or -1.
    int readMousePacket(MousePacket& packet);
    // Heartbeat start (0xE5) and heartbeat (0xE6): the card's 32-bit answer, or -1.
    int32_t heartbeatStart();
    int32_t heartbeatPoll();
    // Heartbeat stop (0xE7): true when the card took it.
    bool heartbeatStop();

    // From now on every vendor command waits at most until `deadline` (and none is sent once it
    // has passed), so that a path that must end soon (the service's stop) ends whatever the
    // card does. std::nullopt: each command waits its own time again.
    void limitCommandsTo(std::optional<platform::Deadline> deadline) {
        commandDeadline_ = deadline;
    }

    // -1 when no drive was found; else 0 and the drive's letter.
    int getDriveLetter(char& letter) const;
    // Disconnects, then connects until it succeeds (attempts 0: without limit) with 1000 ms
    // between tries. The open device (and the letter), or null after `attempts` failures or
    // once the deadline of limitCommandsTo has passed.
    platform::ScsiDevice* reconnect(char& letter, uint32_t attempts);

    bool accessLockTimedOut() const override { return accessLockTimedOut_; }

    bool found() const { return found_ != 0; }
    bool isOpen() const { return open_ != 0; }

private:
    int blockCommand(uint8_t opcode, int8_t selector, platform::DataDirection direction,
                     const char* name);
    int singlePacket(uint8_t opcode, uint32_t size);

    std::unique_ptr<platform::DeviceBackend> backend_;
    int32_t found_ = 0;
    int32_t open_ = 0;
    char driveLetter_ = 0;
    // The device path of the drive found last ("\\.\E:" on Windows, "/dev/sg2" on Linux).
    std::string devicePath_;
    std::unique_ptr<platform::ScsiDevice> device_;
    std::unique_ptr<platform::NamedMutex> accessMutex_;
    bool accessLockTimedOut_ = false;
    std::optional<platform::Deadline> commandDeadline_;
    // One transfer buffer for every vendor command, zeroed before each use.
    TransferBuffer transfer_;
};

}  // namespace vorl
