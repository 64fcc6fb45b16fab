// The simulated event log and advanced groups, driven through the library's own operations.
#include "cardsim/sim_event_log_group.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "cardsim/sim_advanced_group.h"
#include "cardsim/sim_card.h"
#include "protocol/advanced_records.h"
#include "protocol/card_session.h"
#include "protocol/event_log_records.h"
#include "protocol/sensor_tree.h"
#include "tests/support/fake_transport.h"
#include "tests/support/temp_dir.h"

namespace vorl::sim {
namespace {

struct SimCardFixture : ::testing::Test {
    test::TempDir dir;
    SimOptions options;
    std::unique_ptr<SimCard> card;
    std::unique_ptr<CardSession> session;

    void start() {
        session.reset();  // before the card it talks to goes
        card = std::make_unique<SimCard>(dir.path(), options);
        session = std::make_unique<CardSession>(std::make_unique<test::SimCardTransport>(*card));
    }
    void SetUp() override {
        options.add("sel-capacity", "3");
        start();
    }
    int add(uint16_t eventId, uint8_t severity = 2) {
        SelRecord record;
        record.eventId = eventId;
        record.severity = severity;
        return session->addSelEntry(record);
    }
    uint16_t eventAt(uint16_t number) {
        SelRecord record;
        record.recordNumber = number;
        EXPECT_EQ(0, session->getSelEntry(record));
        EXPECT_EQ(number, record.recordNumber);
        return record.eventId;
    }
    uint16_t count() {
        SelInfo info;
        EXPECT_EQ(0, session->getSelInfo(info));
        return info.recordCount;
    }
};

TEST_F(SimCardFixture, FillPolicyRollsOverOrStops) {
    for (uint16_t id = 1; id <= 4; ++id) EXPECT_EQ(0, add(id));
    EXPECT_EQ(3, count());
    EXPECT_EQ(2, eventAt(1));
    EXPECT_EQ(4, eventAt(3));
    EXPECT_EQ(0, session->setSelPolicy(kSelPolicyStop));
    EXPECT_EQ(18, add(5));
    EXPECT_EQ(4, eventAt(3));
    SelInfo info;
    EXPECT_EQ(0, session->getSelInfo(info));
    EXPECT_EQ(0, info.freeSpace);
    EXPECT_EQ(0x51, info.version);
    EXPECT_EQ(28, session->setSelPolicy(3));

    // Started again with room for two, the card keeps the newest two.
    options = SimOptions();
    options.add("sel-capacity", "2");
    start();
    EXPECT_EQ(0, session->getSelInfo(info));
    EXPECT_EQ(2, info.recordCount);
    EXPECT_EQ(0, info.freeSpace);
    EXPECT_EQ(3, eventAt(1));
}

TEST_F(SimCardFixture, DeleteRenumbersAndClearCounts) {
    for (uint16_t id = 1; id <= 3; ++id) add(id);
    EXPECT_EQ(0, session->deleteSelEntry(2));
    EXPECT_EQ(16, session->deleteSelEntry(3));
    EXPECT_EQ(3, eventAt(2));
    SelRecord missing;
    missing.recordNumber = 9;
    EXPECT_EQ(16, session->getSelEntry(missing));
    uint16_t deleted = 0;
    EXPECT_EQ(0, session->clearSel(deleted));
    EXPECT_EQ(2, deleted);
    EXPECT_EQ(0, count());
    SelInfo info;
    EXPECT_EQ(0, session->getSelInfo(info));
    EXPECT_NE(0u, info.lastErase);
}

TEST_F(SimCardFixture, LogAndRecipientsSurviveARestart) {
    add(0x0307, 8);
    AlertRecipient set;
    set.index = 5;
    std::strcpy(set.name, "ops");
    std::strcpy(set.mailAddress, "ops@example.org");
    std::strcpy(set.notificationMethod, "Mail via LAN");
    std::strcpy(set.alertLevel, "All Alerts");
    EXPECT_EQ(0, session->setAlertRecipient(set));
    start();
    EXPECT_EQ(1, count());
    SelRecordEx record;
    record.record.recordNumber = 1;
    EXPECT_EQ(0, session->getSelEntryEx(record));
    EXPECT_EQ(0x0307, record.record.eventId);
    EXPECT_STREQ("Host event: module 3, event 7, warning", record.description);
    AlertRecipient got;
    got.index = 5;
    EXPECT_EQ(0, session->getAlertRecipient(got));
    EXPECT_STREQ("ops@example.org", got.mailAddress);
    EXPECT_STREQ("All Alerts", got.alertLevel);
    got.index = 9;
    EXPECT_EQ(26, session->getAlertRecipient(got));
}

TEST_F(SimCardFixture, PowerActionsChangeTheServerAndAreLogged) {
    auto* advanced = card->group<SimAdvancedGroup>();
    ASSERT_NE(nullptr, advanced);
    EXPECT_EQ(0, session->hostControl(kPowerDown));
    EXPECT_FALSE(advanced->serverPoweredOn());
    EXPECT_EQ(28, session->hostControl(kPowerCycle));
    EXPECT_EQ(0, session->hostControl(kPowerUp));
    EXPECT_TRUE(advanced->serverPoweredOn());
    EXPECT_EQ(28, session->hostControl(9));
    EXPECT_EQ(2, count());
    EXPECT_EQ(0x0302, eventAt(1));
    EXPECT_EQ(0x0303, eventAt(2));
    start();
    EXPECT_TRUE(card->group<SimAdvancedGroup>()->serverPoweredOn());
}

TEST_F(SimCardFixture, SensorDescriptionUploadDeleteAndRestart) {
    std::vector<uint8_t> buffer(CardSession::MaxPayload);
    SensorTree tree;
    auto read = [&] {
        return session->readSensors(buffer.data(), static_cast<uint32_t>(buffer.size()), tree);
    };
    ASSERT_EQ(0, read());
    EXPECT_EQ(3u, tree.groups.size());

    const auto file = dir.path() / "sdk.dat";
    std::ofstream(file) << "VORL-SDK 1\ngroup Power\nsensor PSU 1;230;4\nsensor PSU 2;failed;4\n";
    EXPECT_EQ(0, session->uploadSdk(file.string().c_str()));
    ASSERT_EQ(0, read());
    ASSERT_EQ(1u, tree.groups.size());
    EXPECT_STREQ("Power", tree.groups[0].name);
    EXPECT_EQ(kSensorReadingFailed, tree.groups[0].sensors[1].reading);

    EXPECT_EQ(0, session->deleteSdk());
    EXPECT_EQ(30, read());
    EXPECT_EQ(0, session->restartSensorService());
    EXPECT_EQ(30, read());
    start();  // a deleted description stays deleted
    EXPECT_EQ(30, read());

    std::ofstream(file) << "not a description\n";
    EXPECT_EQ(0, session->uploadSdk(file.string().c_str()));
    EXPECT_EQ(30, read());
}

TEST_F(SimCardFixture, ModemWritesKeepEmptyFieldsAndKnowOnlyTwoPorts) {
    ModemConfig modem;
    std::strcpy(modem.port, "ttyS3");
    std::strcpy(modem.phoneNumber, "5551234");
    EXPECT_EQ(0, session->setModemConfig(modem));
    ModemConfig read;
    std::strcpy(read.port, "ttyS3");
    EXPECT_EQ(0, session->getModemConfig(read));
    EXPECT_STREQ("9600", read.speed);
    EXPECT_STREQ("5551234", read.phoneNumber);
    std::strcpy(modem.speed, "14400");
    EXPECT_EQ(28, session->setModemConfig(modem));
    std::strcpy(read.port, "ttyS1");
    EXPECT_EQ(20, session->getModemConfig(read));

    AsrConfig asr;
    asr.state = 3;
    EXPECT_EQ(28, session->setAsrConfig(asr));
    asr.state = kAsrEnabled;
    asr.delay = 600;
    EXPECT_EQ(0, session->setAsrConfig(asr));
    IpmiConfig ipmi;
    ipmi.bmcAddress = 0x80;
    ipmi.useBmcSdrs = true;
    EXPECT_EQ(0, session->setIpmiConfig(ipmi));
    start();
    AsrConfig asrBack;
    EXPECT_EQ(0, session->getAsrConfig(asrBack));
    EXPECT_EQ(600, asrBack.delay);
    IpmiConfig ipmiBack;
    EXPECT_EQ(0, session->getIpmiConfig(ipmiBack));
    EXPECT_EQ(0x80, ipmiBack.bmcAddress);
    EXPECT_TRUE(ipmiBack.useBmcSdrs);
}

}  // namespace
}  // namespace vorl::sim
