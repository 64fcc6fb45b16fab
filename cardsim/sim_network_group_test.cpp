// The simulated card's network and MAC commands, through a real session.
#include "cardsim/sim_network_group.h"

#include <gtest/gtest.h>

#include "cardsim/sim_card.h"
#include "platform/sleep.h"
#include "protocol/card_session.h"
#include "protocol/network_records.h"
#include "tests/support/fake_transport.h"
#include "tests/support/temp_dir.h"
#include "wire/status_codes.h"

namespace vorl::sim {
namespace {

struct SimNetwork : ::testing::Test {
    test::TempDir state;
    SimOptions options;
    platform::SleepRecorder pauses;

    static CardSession sessionOn(SimCard& card, bool hostInterface = false) {
        return CardSession(std::make_unique<test::SimCardTransport>(card, hostInterface));
    }
};

TEST_F(SimNetwork, StaticAddressAnswersOnlyOverTheHostInterface) {
    SimCard card(state.path(), options);
    CardSession network = sessionOn(card);
    EXPECT_EQ(kStatusConnectError,
              network.setStaticNetwork("10.0.0.5", "255.0.0.0", "10.0.0.1", 1));
    NetworkConfig config;
    ASSERT_EQ(0, network.getNetworkConfig(config));
    EXPECT_STREQ("STATIC", config.method);
    EXPECT_STREQ("10.0.0.5", config.ipAddress);
    EXPECT_STREQ("10.255.255.255", config.broadcast);
    EXPECT_STREQ("10.0.0.1", config.gateway);

    CardSession host = sessionOn(card, true);
    EXPECT_EQ(0, host.setStaticNetwork("172.16.1.2", "255.255.0.0", "172.16.0.1", 0));
    EXPECT_EQ(0, host.setDhcp());
    ASSERT_EQ(0, host.getNetworkConfig(config));
    EXPECT_STREQ("DHCP", config.method);
    EXPECT_STREQ("eth0", config.interfaceName);
}

TEST_F(SimNetwork, AddressesThatAreNotDottedQuadsAreRefused) {
    SimCard card(state.path(), options);
    CardSession host = sessionOn(card, true);
    for (const char* ip : {"10.0.0.1abc", "10.0.0", "10.0.0.256", "1.2.3.4.5", ""}) {
        EXPECT_EQ(kStatusInvalidArgument, host.setStaticNetwork(ip, "255.0.0.0", "10.0.0.1", 0))
            << ip;
    }
    NetworkConfig config;
    ASSERT_EQ(0, host.getNetworkConfig(config));
    EXPECT_STREQ("10.10.1.10", config.ipAddress);
}

TEST_F(SimNetwork, MacChecksumGuardsTheWrite) {
    SimCard card(state.path(), options);
    CardSession session = sessionOn(card);
    uint8_t record[7] = {0x00, 0x2A, 0x3B, 0x4C, 0x5D, 0x1D, 98};
    uint32_t length = 0;
    EXPECT_EQ(kStatusChecksumError, session.transact(0x0801, record, 7, length, 0, 7));
    char text[18];
    ASSERT_EQ(0, session.getMacAddress(text));
    EXPECT_STREQ("02:00:4B:38:00:01", text);

    EXPECT_EQ(0, session.setMacAddressFromText("00:2a:3b:4c:5d:1d"));
    ASSERT_EQ(0, session.getMacAddress(text));
    EXPECT_STREQ("00:2A:3B:4C:5D:1D", text);
}

TEST_F(SimNetwork, SettingsSurviveARestartAndDefaultsRestoreAllButTheMac) {
    {
        SimCard card(state.path(), options);
        CardSession host = sessionOn(card, true);
        ASSERT_EQ(0, host.setStaticNetwork("10.0.0.5", "255.0.0.0", "10.0.0.1", 0));
        ASSERT_EQ(0, host.setMacAddressFromText("00:2A:3B:4C:5D:1D"));
    }
    SimCard card(state.path(), options);
    CardSession session = sessionOn(card);
    NetworkConfig config;
    ASSERT_EQ(0, session.getNetworkConfig(config));
    EXPECT_STREQ("10.0.0.5", config.ipAddress);
    EXPECT_STREQ("00:2A:3B:4C:5D:1D", config.macAddress);

    card.restart(true);
    ASSERT_EQ(0, session.getNetworkConfig(config));
    EXPECT_STREQ("10.10.1.10", config.ipAddress);
    EXPECT_STREQ("00:2A:3B:4C:5D:1D", config.macAddress);  // the board's, not configuration
}

TEST_F(SimNetwork, InterfaceDownShowsNoInterface) {
    options.add("interface-down", "");
    SimCard card(state.path(), options);
    CardSession session = sessionOn(card);
    NetworkConfig config;
    ASSERT_EQ(0, session.getNetworkConfig(config));
    EXPECT_STREQ("", config.interfaceName);
    EXPECT_STREQ("STATIC", config.method);
}

}  // namespace
}  // namespace vorl::sim
