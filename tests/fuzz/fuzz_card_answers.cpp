// Every answer decoder of the card command library, driven through CardSession: each request is
// answered with a status and payload taken from the input.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "firmware/flash_records.h"
#include "platform/sleep.h"
#include "protocol/advanced_records.h"
#include "protocol/card_session.h"
#include "protocol/event_log_records.h"
#include "protocol/general_records.h"
#include "protocol/network_records.h"
#include "protocol/sensor_tree.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using namespace vorl;

void readEverything(CardSession& session, const std::string& scratch) {
    uint8_t challenge[8];
    session.getChallenge(challenge);
    session.login("admin", "vorladmin");
    char names[16][32];
    int count = 0;
    session.listUserNames(names, 16, count);
    UserRecord users[16];
    session.listUsers(users, 16, count);
    SnmpUserRecord snmp[16];
    session.listSnmpUsers(snmp, 16, count);
    SelInfo info;
    session.getSelInfo(info);
    SelRecord record;
    record.recordNumber = 1;
    session.getSelEntry(record);
    uint16_t deleted = 0;
    session.clearSel(deleted);
    uint8_t policy = 0;
    session.getSelPolicy(policy);
    SelRecordEx recordEx;
    session.getSelEntryEx(recordEx);
    AlertRecipient recipient;
    session.getAlertRecipient(recipient);
    NetworkConfig network;
    session.getNetworkConfig(network);
    char mac[18];
    session.getMacAddress(mac);
    FirmwareInfo firmware;
    session.getFirmwareInfo(firmware);
    ServerInfo server;
    session.getServerInfo(server);
    char name[300];
    session.getCardName(name, sizeof name);
    SmtpConfig smtp;
    session.getSmtpConfig(smtp);
    CardTime time;
    session.getCardTime(time);
    session.setCardTime(time);
    int32_t interval = 0;
    session.getHeartbeatInterval(interval);
    auto block = std::make_unique<FlashBlockRecord>();
    session.readFlashBlock(*block);
    SectionInfo section;
    std::memcpy(section.signature, "$$$OS$$$", 8);
    session.getSectionInfo(section);
    uint8_t mode = 0;
    session.getCardMode(mode);
    auto chunk = std::make_unique<FileChunkRecord>();
    uint32_t chunkLength = 0;
    session.readCardFileChunk(*chunk, chunkLength);
    session.downloadFileFromCard("k8config/serverInfo.conf", scratch);
    CardHealth health;
    session.getCardHealth(health);
    std::vector<uint8_t> stream(CardSession::MaxPayload);
    SensorTree tree;
    session.readSensors(stream.data(), static_cast<uint32_t>(stream.size()), tree);
    PppConfig ppp;
    session.getPppConfig(ppp);
    ModemConfig modem;
    std::strcpy(modem.port, "ttyS2");
    session.getModemConfig(modem);
    AsrConfig asr;
    session.getAsrConfig(asr);
    uint8_t i2c = 0;
    session.getI2cAddress(i2c);
    IpmiConfig ipmi;
    session.getIpmiConfig(ipmi);
    session.setMacAddressAndReset(reinterpret_cast<const uint8_t*>("\x02\x00\x4b\x38\x00\x01"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string scratch =
        (std::filesystem::temp_directory_path() / "vorl_fuzz_card_answers.bin").string();
    FuzzedDataProvider input(data, size);
    platform::SleepRecorder noPauses;  // the resets' 3 s pauses
    CardSession session(std::make_unique<fuzz::AnsweringTransport>(input));
    readEverything(session, scratch);
    std::remove(scratch.c_str());
    return 0;
}
