#pragma once
// One connection to one card through one transport. Every card operation is a member: it fills
// a request record in a caller's buffer, calls transact once (a few operations more than once)
// and reads the response record from the same buffer. Results are StatusCode values.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "protocol/card_transport.h"
#include "protocol/command_header.h"
#include "protocol/user_records.h"

namespace vorl {

class CardSession {
public:
    static constexpr uint32_t MaxPayload = CommandHeader::kMaxPayload;
    static constexpr uint32_t kCardPort = 6577;

    // transportType 0: host interface (address and port ignored); 1: network, with the card's
    // dotted-decimal address (at most 31 characters) and TCP port. Does not contact the card.
    CardSession(int transportType, const char* ipAddress, uint32_t port);
    // Runs over a given transport (tests, and programs that build their own).
    explicit CardSession(std::unique_ptr<CardTransport> transport);
    // Calls the transport's disconnect exactly once, then destroys it.
    ~CardSession();
    CardSession(const CardSession&) = delete;
    CardSession& operator=(const CardSession&) = delete;

    // 0, or 33 when the transport could not connect.
    int connect();

    // One transaction. `buffer` holds `payloadLength` request bytes on entry and receives the
    // response payload; `bufferCapacity` is its size. Returns the card's status, or 33 for any
    // failure below the card's answer (payload too long, transport failure, bad header
    // checksum, or a response payload longer than `bufferCapacity`). `responseLength` receives
    // the response payload length on success or a card status; it is set to 0 when the
    // checksum is wrong and left alone on other failures (callers set it to 0 first).
    int transact(uint16_t commandCode, uint8_t* buffer, uint32_t payloadLength,
                 uint32_t& responseLength, uint32_t waitPolls, uint32_t bufferCapacity);

    // The transport this session owns (the host-interface programs query it).
    CardTransport& transport() { return *transport_; }

    // ---- login, group 0x00 ----
    // Fetches the 8-byte challenge (0x0001). Leaves `challenge` alone on a non-zero status.
    int getChallenge(uint8_t challenge[8]);
    // 0 on success; 1 when the challenge could not be had; 26 (nothing sent) when a text does
    // not fit its 32-byte field; otherwise the status of 0x0002.
    int login(std::string_view userName, std::string_view password);

    // Drive letter of the card's CD-ROM drive (host-interface sessions only): 0 and the letter,
    // or -1 when no drive was found.
    int getDriveLetter(char& letter);

    // ---- user accounts and SNMP users, group 0x05 ----
    int addUser(std::string_view userName, std::string_view password);
    int addUser(const UserRecord& record);
    int deleteUser(const UserRecord& record);
    // Names land in `names` (capacity entries of 32 bytes, wire order); count stops at capacity.
    int listUserNames(char (*names)[32], int capacity, int& count);
    int listUsers(UserRecord* users, int capacity, int& count);
    int addSnmpUser(const SnmpUserRecord& record);
    int listSnmpUsers(SnmpUserRecord* users, int capacity, int& count);

    // ---- event log and alert recipients, group 0x04 ----

    // ---- network and MAC, groups 0x07 and 0x08 ----

    // ---- general settings, clock, resets, heartbeat interval, groups 0x09 and 0x0A ----

    // ---- flash, sections, configuration and file transfer, group 0x06 ----

    // ---- health, sensors, host control, advanced settings, groups 0x01 to 0x03 and 0x0C ----

private:
    std::unique_ptr<CardTransport> transport_;
    // Packet buffers, allocated once per session so that transact never allocates.
    std::unique_ptr<uint8_t[]> request_;
    std::unique_ptr<uint8_t[]> response_;
};

}  // namespace vorl
