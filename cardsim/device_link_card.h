#pragma once
// The card's side of the host interface, as the simulated card's device link serves it: the
// drives the host sees, the signature probe, the message layer (block, data pieces, a busy
// phase, the answer) on top of SimCard::execute, the pointer packets and the heartbeat.
// Thread-safe: every connection of the link calls in with its own client id.
#include <array>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "cardsim/heartbeat_log.h"
#include "cardsim/sim_card.h"
#include "cardsim/sim_options.h"
#include "platform/scsi_device.h"

namespace vorl::sim {

struct DeviceLinkConfig {
    char cardDrive = 'E';
    bool cardPresent = true;
    uint32_t busyPolls = 3;       // block reads answered "busy" before each answer
    bool stuckBusy = false;       // the busy bit never clears...
    uint32_t stuckExchanges = 0;  // ...in the first N exchanges only (0: in every exchange)
    uint32_t refuseCount = 0;     // the next N commands (probe excepted) are refused
    uint8_t scsiStatus = 0;       // nonzero: every command but the probe ends with this status
    uint32_t heartbeatInterval = 30;
    std::FILE* heartbeatOutput = stdout;  // a line per heartbeat command (null: none)
    std::deque<std::array<uint8_t, 12>> mousePackets;

    // Reads the link's options from `options`. False with a message for a bad value.
    bool take(SimOptions& options, std::string& error);
};

struct LinkAnswer {
    bool refused = true;
    uint8_t scsiStatus = 0;
    uint32_t moved = 0;
};

class DeviceLinkCard {
public:
    DeviceLinkCard(SimCard& card, DeviceLinkConfig config);

    // "NAME\0TARGET\0" pairs: a hard disk, a plain CD-ROM drive, the card's drive, and
    // devices that are not drives.
    std::string deviceList() const;
    // True (and counted) when `letter` names a drive that opens.
    bool open(char letter);
    // One pass-through request of `client` on `drive`. `data` holds `size` bytes: what the
    // host sent, or room for the answer (zero-filled by the caller).
    LinkAnswer passThrough(uint64_t client, char drive, const uint8_t* cdb, uint8_t cdbLength,
                           platform::DataDirection direction, uint8_t* data, uint32_t size);
    // The client's connection closed: an exchange it left unfinished is dropped.
    void clientGone(uint64_t client);
    // Appends pointer packets ("KIND:BUTTONS:X:Y,...") to the queue 0xE1 answers from; an
    // empty text adds none. False (nothing queued) for a malformed text or one that would
    // make the queue longer than 65536 packets. `queued`: the packets waiting afterwards.
    bool queueMousePackets(const std::string& text, uint32_t& queued);
    // "key value" lines: exchanges, interleaved, abandoned, mouse (0xE1 reads), mouse-queued,
    // heartbeat-start/-poll/-stop, scsi-commands (requests that reached the card drive), opens.
    std::string statistics() const;
    // Every heartbeat command received, with its time.
    std::vector<HeartbeatRecord> heartbeatLog() const;

private:
    enum class Phase { Idle, Receiving, Working, Answering, Finishing };

    LinkAnswer cardCommand(uint64_t client, const uint8_t* cdb, platform::DataDirection direction,
                           uint8_t* data, uint32_t size);
    LinkAnswer writeBlock(uint64_t client, const uint8_t* data);
    LinkAnswer writeData(const uint8_t* data);
    LinkAnswer readBlock(uint8_t* data);
    LinkAnswer readData(uint8_t* data);
    void runRequest();
    uint16_t checkRequest() const;

    SimCard& card_;
    DeviceLinkConfig config_;
    mutable std::mutex mutex_;

    Phase phase_ = Phase::Idle;
    uint64_t owner_ = 0;
    std::array<uint8_t, 512> block_{};
    uint16_t messageType_ = 0;
    uint32_t requestLength_ = 0;
    uint32_t received_ = 0;
    std::vector<uint8_t> request_;
    std::vector<uint8_t> answer_;
    uint32_t answerLength_ = 0;
    uint32_t answerRead_ = 0;
    uint16_t status_ = 0;
    uint32_t busyLeft_ = 0;
    bool stuck_ = false;  // this exchange never finishes
    uint32_t stuckSoFar_ = 0;

    uint64_t exchanges_ = 0;
    uint64_t interleaved_ = 0;
    uint64_t abandoned_ = 0;
    uint64_t mouseReads_ = 0;
    uint64_t heartbeatStarts_ = 0;
    uint64_t heartbeatPolls_ = 0;
    uint64_t heartbeatStops_ = 0;
    uint64_t scsiCommands_ = 0;  // pass-through requests that reached the card's drive
    HeartbeatLog heartbeatLog_;
    std::array<uint64_t, 26> opens_{};
};

}  // namespace vorl::sim
