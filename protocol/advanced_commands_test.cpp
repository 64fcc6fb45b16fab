// Groups 0x01, 0x02 and 0x0C: record layouts, conversions and the SDK upload's steps.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "protocol/advanced_records.h"
#include "protocol/card_session.h"
#include "tests/support/fake_session.h"
#include "tests/support/fake_transport.h"

namespace vorl {
namespace {

using test::FakeTransport;
using Bytes = std::vector<uint8_t>;

struct AdvancedFixture : test::FakeSessionTest {
    const Bytes& sent() const { return fake->requests.back().payload; }
};

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
