#pragma once
// One connection to one card through one transport. Every card operation is a member: it fills
// a request record in a caller's buffer, calls transact once (a few operations more than once)
// and reads the response record from the same buffer. Results are StatusCode values.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "protocol/user_records.h"
#include "wire/card_transport.h"
#include "wire/command_header.h"

namespace vorl {

class CardConnector;

class CardSession {
public:
    static constexpr uint32_t MaxPayload = CommandHeader::kMaxPayload;
    static constexpr uint32_t kCardPort = 6577;

    // transportType 0: host interface (address and port ignored); 1: network, with the card's
    // dotted-decimal address (at most 31 characters) and TCP port. Does not contact the card.
    // Defined in session/ (library vorl_session), the one place that sees both transports.
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
    // checksum, or a response payload longer than `bufferCapacity`). An answer whose command
    // code is not `commandCode` is stale (its request gave up waiting for it) and is skipped.
    // `responseLength` receives
    // the response payload length on success or a card status; it is set to 0 when the
    // checksum is wrong and left alone on other failures (callers set it to 0 first).
    int transact(uint16_t commandCode, uint8_t* buffer, uint32_t payloadLength,
                 uint32_t& responseLength, uint32_t waitPolls, uint32_t bufferCapacity);

    // The transport this session owns (the host-interface programs query it).
    CardTransport& transport() { return *transport_; }

    // The status the card gave the latest request of this session, or -1 when that request got
    // no answer (or none was made since forgetLastAnswer). Tells a refusal of the card's own from
    // a failure the host side made up (no answer, a malformed one, a local file).
    int lastAnswerStatus() const { return lastAnswerStatus_; }
    void forgetLastAnswer() { lastAnswerStatus_ = -1; }
    // The way back to this session's card, set by the program that opened it (nullptr: none).
    // Code that may lose the connection halfway through a change (protocol/account_change.h)
    // reopens the card through it. The session does not own it.
    void setConnector(CardConnector* connector) { connector_ = connector; }
    CardConnector* connector() const { return connector_; }
    // Trades connections with `other`: this session goes on over the connection `other` had,
    // and `other` closes this one's when it is destroyed. The connector stays where it was.
    void exchangeConnection(CardSession& other);

    // ---- login, group 0x00 ----
    // Fetches the 8-byte challenge (0x0001). Leaves `challenge` alone on a non-zero status.
    int getChallenge(uint8_t challenge[8]);
    // 0 on success; 1 when the challenge could not be had; 26 (nothing sent) when a text does
    // not fit its 32-byte field; otherwise the status of 0x0002.
    int login(std::string_view userName, std::string_view password);

    // Drive letter of the card's CD-ROM drive (host-interface sessions only): 0 and the letter,
    // or -1 when no drive was found. Defined in session/, like the constructor above.
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
    // Records: protocol/event_log_records.h (named here by elaborated type, so this header
    // needs no include). Each returns the status; the record holds the answer only on 0 and is
    // left unchanged otherwise. A "success" shorter than its record gives 33.
    int getSelInfo(struct SelInfo& info);
    // `record.recordNumber` selects the record.
    int getSelEntry(struct SelRecord& record);
    int addSelEntry(const struct SelRecord& record);
    // `deleted` receives the number of records the card removed.
    int clearSel(uint16_t& deleted);
    int deleteSelEntry(uint16_t recordNumber);
    int getSelPolicy(uint8_t& policy);
    int setSelPolicy(uint8_t policy);
    int getSelEntryEx(struct SelRecordEx& record);
    // 26 and nothing sent when a text of `recipient` holds more than 31 characters.
    int setAlertRecipient(const struct AlertRecipient& recipient);
    // Asks for `recipient.index`; fills the fields the answer carries.
    int getAlertRecipient(struct AlertRecipient& recipient);

    // ---- network and MAC, groups 0x07 and 0x08 ----
    // Records and MAC text helpers: protocol/network_records.h (elaborated types here).
    int getNetworkConfig(struct NetworkConfig& config);
    // `waitPolls` as for transact: over the network the card takes the new address at once and
    // its answer is lost, so callers pass a small value and read 33 as "sent". 26, nothing
    // sent, when a text is longer than 31 characters.
    int setStaticNetwork(std::string_view ip, std::string_view netmask, std::string_view gateway,
                         uint32_t waitPolls);
    int setDhcp();
    // `text` (18 bytes) receives the upper-case MAC text on 0 and is empty otherwise; a
    // "success" that carries fewer than 6 bytes is 33.
    int getMacAddress(char* text);
    // `mac`: 6 bytes; the checksum byte is added here.
    int setMacAddress(const uint8_t* mac);
    // Reads the hexadecimal pairs at characters 0, 3, 6, 9, 12 and 15 (either case); 28,
    // nothing sent, when the text is shorter or a pair is not hexadecimal.
    int setMacAddressFromText(std::string_view text);
    // Writes the MAC, then resets the card (resetCard) whatever the write did. Returns the
    // write's status when it failed, else the reset's.
    int setMacAddressAndReset(const uint8_t* mac);

    // ---- general settings, clock, resets, heartbeat interval, groups 0x09 and 0x0A ----
    // Records: protocol/general_records.h (elaborated types here). Numbers in host order.
    // The card restarts after either reset: both pause 3 s (platform::sleepMs) before they
    // return, whatever the status, and the session is not to be used afterwards.
    int resetCard();            // configuration kept
    int resetCardToDefaults();  // configuration back to defaults
    int getFirmwareInfo(struct FirmwareInfo& info);
    int setServerInfo(const struct ServerInfo& info);
    int getServerInfo(struct ServerInfo& info);
    // 26, nothing sent, when the name does not fit its 256-byte field.
    int setCardName(std::string_view name);
    // `name` (`capacity` bytes) receives the name, cut to fit and always terminated.
    int getCardName(char* name, size_t capacity);
    int setSmtpConfig(const struct SmtpConfig& config);
    int getSmtpConfig(struct SmtpConfig& config);
    // A "success" without the 5 bytes is 33.
    int getCardTime(struct CardTime& time);
    // Reads the card's time first: 30 when that fails; 26, nothing sent, when `wanted` is
    // earlier and its rollBack flag is not 1; otherwise sends it (flag 0 unless going back).
    int setCardTime(const struct CardTime& wanted);
    // A "success" without the 4 bytes is 33.
    int getHeartbeatInterval(int32_t& seconds);
    int setHeartbeatInterval(int32_t seconds);

    // ---- flash, sections, configuration and file transfer, group 0x06 ----
    // Records: firmware/flash_records.h (elaborated types here). Numbers in host order.
    // Computes the CRC of the 65,536 data bytes into the record and sends it (0x0601).
    int writeFlashBlock(struct FlashBlockRecord& record);
    // Asks for record.blockNumber() (0x0602). 34 when the data do not match their CRC; a
    // "success" that is not a whole record is 33.
    int readFlashBlock(struct FlashBlockRecord& record);
    int saveConfiguration();  // 0x0603
    // Asks for the section named by info.signature (0x0605); a "success" that is not a whole
    // record is 33. The other fields mean something only on 0.
    int getSectionInfo(struct SectionInfo& info);
    int saveSdk();       // 0x0606
    int setFlashMode();  // 0x0607
    // `mode` receives byte 0 of the answer (0: normal; anything else: being flashed). A
    // "success" without that byte is 33.
    int getCardMode(uint8_t& mode);
    // Sends the 92-byte head (0x060A); the answer fills the record. A "success" shorter than
    // the head is 33; the caller checks the data length against the answer.
    int readCardFileChunk(struct FileChunkRecord& record, uint32_t& responseLength);
    // Sends the head and the whole data area (0x060B).
    int writeCardFileChunk(struct FileChunkRecord& record);
    // Local file to card path, in chunks: 0; 14 when the file cannot be opened or read; 26,
    // nothing sent, when the card path has more than 79 characters; 30 when a chunk fails.
    int uploadFileToCard(const std::string& localPath, const std::string& cardPath);
    // Card path to local file, chunk by chunk until the card marks the last one: 0; 26 as
    // above (nothing opened); 14 when the file cannot be created; 30 when a chunk fails or
    // its answer is malformed; 34 on a chunk CRC mismatch; 18 when a write falls short.
    int downloadFileFromCard(const std::string& cardPath, const std::string& localPath);

    // ---- health, sensors, host control, advanced settings, groups 0x01 to 0x03 and 0x0C ----
    // Records: protocol/advanced_records.h and protocol/sensor_tree.h (elaborated types).
    // Each returns the status; a record holds the answer only on 0 (a "success" shorter than
    // its record gives 33).
    int getCardHealth(struct CardHealth& health);
    int deleteSdk();
    int restartSensorService();
    // Uploads the host file as the card's sensor description, makes it permanent and restarts
    // the sensor service; returns the first failing step's status.
    int uploadSdk(const char* hostFile);
    // Reads the sensor stream into `buffer` (`capacity` bytes, at least MaxPayload) and rebuilds
    // `tree`. The card's status when not 0; 30 when the answer is empty or ends before a record
    // it announces (the tree is then empty).
    int readSensors(uint8_t* buffer, uint32_t capacity, struct SensorTree& tree);
    int hostControl(uint8_t action);
    int getPppConfig(struct PppConfig& config);
    int setPppConfig(const struct PppConfig& config);
    // `config.port` names the port asked for.
    int getModemConfig(struct ModemConfig& config);
    int setModemConfig(const struct ModemConfig& config);
    int getAsrConfig(struct AsrConfig& config);
    int setAsrConfig(const struct AsrConfig& config);
    int getI2cAddress(uint8_t& address);
    int setI2cAddress(uint8_t address);
    int getIpmiConfig(struct IpmiConfig& config);
    int setIpmiConfig(const struct IpmiConfig& config);

private:
    std::unique_ptr<CardTransport> transport_;
    CardConnector* connector_ = nullptr;
    // Packet buffers, allocated once per session so that transact never allocates.
    std::unique_ptr<uint8_t[]> request_;
    std::unique_ptr<uint8_t[]> response_;
    int lastAnswerStatus_ = -1;
};

}  // namespace vorl
