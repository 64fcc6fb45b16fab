// Groups 0x01, 0x03 and 0x0C: record layouts and conversions at the edge.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "protocol/advanced_records.h"
#include "protocol/card_session.h"
#include "tests/support/fake_transport.h"

namespace vorl {
namespace {

using test::FakeTransport;
using Bytes = std::vector<uint8_t>;

struct AdvancedFixture : ::testing::Test {
    FakeTransport* fake = nullptr;
    std::unique_ptr<CardSession> session;
    void SetUp() override {
        auto transport = std::make_unique<FakeTransport>();
        fake = transport.get();
        session = std::make_unique<CardSession>(std::move(transport));
    }
    const Bytes& sent() const { return fake->requests.back().payload; }
};

TEST_F(AdvancedFixture, AsrDelayIsBigEndianBothWays) {
    AsrConfig asr;
    asr.state = kAsrEnabled;
    asr.method = kAsrPowerCycle;
    asr.delay = 240;
    fake->queue(0);
    EXPECT_EQ(0, session->setAsrConfig(asr));
    EXPECT_EQ(0x0C07, fake->requests.back().command);
    EXPECT_EQ((Bytes{1, 1, 0x00, 0xF0}), sent());

    fake->queue(0, {2, 2, 0x01, 0x2C});
    AsrConfig read;
    EXPECT_EQ(0, session->getAsrConfig(read));
    EXPECT_EQ(2, read.state);
    EXPECT_EQ(300, read.delay);
    EXPECT_TRUE(sent().empty());
}

TEST_F(AdvancedFixture, IpmiFlagsGoOutAsOneAndReadBackAsNotZero) {
    IpmiConfig ipmi;
    ipmi.hasBmc = true;
    ipmi.bmcAddress = 0x20;
    ipmi.ipmiPowerControl = true;
    ipmi.privateEventLog = true;
    fake->queue(0);
    EXPECT_EQ(0, session->setIpmiConfig(ipmi));
    EXPECT_EQ((Bytes{1, 0, 0, 0, 0x20, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}), sent());

    fake->queue(0, {0, 0, 0, 9, 0x80, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0});
    IpmiConfig read;
    EXPECT_EQ(0, session->getIpmiConfig(read));
    EXPECT_TRUE(read.hasBmc);
    EXPECT_EQ(0x80, read.bmcAddress);
    EXPECT_FALSE(read.ipmiPowerControl);
    EXPECT_TRUE(read.useBmcSdrs);
    EXPECT_FALSE(read.privateEventLog);
}

TEST_F(AdvancedFixture, ModemReadSendsOnlyThePortName) {
    Bytes answer(140, 0);
    std::memcpy(answer.data(), "ttyS3", 5);
    std::memcpy(answer.data() + 32, "57600", 5);
    std::memcpy(answer.data() + 44, "ATZ", 3);
    std::memcpy(answer.data() + 108, "5551234", 7);
    fake->queue(0, answer);
    ModemConfig modem;
    std::strcpy(modem.port, "ttyS3");
    std::strcpy(modem.speed, "junk");
    ASSERT_EQ(0, session->getModemConfig(modem));
    ASSERT_EQ(140u, sent().size());
    EXPECT_STREQ("ttyS3", reinterpret_cast<const char*>(sent().data()));
    for (size_t i = 32; i < 140; ++i) ASSERT_EQ(0, sent()[i]) << i;
    EXPECT_STREQ("57600", modem.speed);
    EXPECT_STREQ("ATZ", modem.initString);
    EXPECT_STREQ("5551234", modem.phoneNumber);

    fake->queue(20);
    std::strcpy(modem.port, "ttyS9");
    EXPECT_EQ(20, session->getModemConfig(modem));
    EXPECT_STREQ("ATZ", modem.initString);
}

TEST_F(AdvancedFixture, HealthIsConvertedOnlyOnSuccess) {
    Bytes answer(816, 0);
    std::memcpy(answer.data() + 136, "VCC 5V", 6);
    answer[136 + 80 + 2] = 0x13, answer[136 + 80 + 3] = 0x88;  // 5000 mV
    answer[136 + 84 + 3] = 7;
    std::memcpy(answer.data() + 136 + 104, "Normal", 6);
    fake->queue(0, answer);
    CardHealth health;
    ASSERT_EQ(0, session->getCardHealth(health));
    EXPECT_STREQ("VCC 5V", health.entries[1].name);
    EXPECT_EQ(5000u, health.entries[1].millivolts);
    EXPECT_EQ(7u, health.entries[1].other[0]);
    EXPECT_STREQ("Normal", health.entries[1].status);

    fake->queue(3, answer);
    CardHealth untouched;
    EXPECT_EQ(3, session->getCardHealth(untouched));
    EXPECT_EQ(0u, untouched.entries[1].millivolts);
    fake->queue(0, Bytes(815, 0));
    EXPECT_EQ(33, session->getCardHealth(untouched));
}

TEST_F(AdvancedFixture, SmallCommands) {
    fake->queue(0);
    EXPECT_EQ(0, session->hostControl(kPowerCycle));
    EXPECT_EQ(0x0300, fake->requests.back().command);
    EXPECT_EQ((Bytes{4}), sent());

    fake->queue(0);
    EXPECT_EQ(0, session->setI2cAddress(0x22));
    EXPECT_EQ((Bytes{0x22}), sent());
    fake->queue(0, {0x44});
    uint8_t address = 0;
    EXPECT_EQ(0, session->getI2cAddress(address));
    EXPECT_EQ(0x44, address);

    PppConfig ppp;
    std::strcpy(ppp.serverIp, "10.0.0.1");
    std::strcpy(ppp.clientIp, "10.0.0.2");
    fake->queue(0);
    EXPECT_EQ(0, session->setPppConfig(ppp));
    ASSERT_EQ(64u, sent().size());
    EXPECT_STREQ("10.0.0.2", reinterpret_cast<const char*>(sent().data() + 32));

    fake->queue(0);
    EXPECT_EQ(0, session->deleteSdk());
    EXPECT_EQ(0x0200, fake->requests.back().command);
    fake->queue(0);
    EXPECT_EQ(0, session->restartSensorService());
    EXPECT_EQ(0x0201, fake->requests.back().command);
}

}  // namespace
}  // namespace vorl

namespace vorl {
namespace {

TEST_F(AdvancedFixture, SdkUploadStopsAtTheFirstFailingStep) {
    const std::string path = ::testing::TempDir() + "sel_sdk_upload.dat";
    {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        ASSERT_NE(nullptr, file);
        std::fputs("group Test\n", file);
        std::fclose(file);
    }
    EXPECT_EQ(0, session->uploadSdk(path.c_str()));
    ASSERT_EQ(3u, fake->requests.size());
    EXPECT_EQ(0x060B, fake->requests[0].command);
    EXPECT_STREQ("/k8sdk/k8sdk.dat",
                 reinterpret_cast<const char*>(fake->requests[0].payload.data()));
    EXPECT_EQ(0x0606, fake->requests[1].command);
    EXPECT_EQ(0x0201, fake->requests[2].command);

    fake->requests.clear();
    fake->queue(0);
    fake->queue(19);
    EXPECT_EQ(19, session->uploadSdk(path.c_str()));
    EXPECT_EQ(2u, fake->requests.size());

    fake->requests.clear();
    EXPECT_EQ(14, session->uploadSdk((path + ".missing").c_str()));
    EXPECT_TRUE(fake->requests.empty());
    std::remove(path.c_str());
}

}  // namespace
}  // namespace vorl
