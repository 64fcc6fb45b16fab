// The card address parser: every form that another reader could take for a different address
// is refused with its reason, and what is accepted reaches the connection as the same number.
#include "protocol/card_address.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/sockets.h"

namespace vorl {
namespace {

std::string refusal(const std::string& text) {
    CardAddress card;
    std::string reason;
    EXPECT_FALSE(parseCardAddress(text, card, reason)) << text;
    return reason;
}

TEST(CardAddress, TricksThatOtherParsersReadDifferentlyAreRefusedWithTheirReason) {
    const std::pair<const char*, const char*> cases[] = {
        {"127.0.0.010", "part '010' has a leading zero (some programs read it as octal)"},
        {"010.0.0.1", "part '010' has a leading zero (some programs read it as octal)"},
        {"127.1", "it has 2 parts, not the four of A.B.C.D"},
        {"127.0.0.0.1", "it has 5 parts, not the four of A.B.C.D"},
        {"2130706433", "it is a single number, not four dotted numbers (A.B.C.D)"},
        {"0x7f000001", "hexadecimal forms are not accepted: give four decimal numbers (A.B.C.D)"},
        {"0x7f.0.0.1", "hexadecimal forms are not accepted: give four decimal numbers (A.B.C.D)"},
        {"[::ffff:127.0.0.1]",
         "IPv6 and bracketed forms are not accepted: give a dotted IPv4 address"},
        {"::1", "IPv6 and bracketed forms are not accepted: give a dotted IPv4 address"},
        {"[127.0.0.1]:6577",
         "IPv6 and bracketed forms are not accepted: give a dotted IPv4 address"},
        {"card.example",
         "host names are not accepted (nor letters): give the card's dotted IPv4 address"},
        {"localhost",
         "host names are not accepted (nor letters): give the card's dotted IPv4 address"},
        {" 127.0.0.1", "it contains a blank or a control character"},
        {"127.0.0.1 ", "it contains a blank or a control character"},
        {"127.0.0.1\t", "it contains a blank or a control character"},
        {"user@127.0.0.1", "it contains '@': give the address alone, without a user"},
        {"127.0.0.1/8", "it contains '/': give one address, not a range or a path"},
        {"127.0.0.1/probe", "it contains '/': give one address, not a range or a path"},
        {"127.0.0.256", "part '256' is above 255"},
        {"127.0.0.1000", "part '1000' is above 255"},
        {"127..0.1", "it has an empty part"},
        {"127.0.0.", "it has an empty part"},
        {"+127.0.0.1", "it contains '+'"},
        {"127.0.0.\xE9", "it contains a character other than digits and dots"},
        {"", "it is empty"},
        {":6577", "it is empty"},
        {"127.0.0.1:", "the port '' is not a number from 1 to 65535"},
        {"127.0.0.1:0", "the port '0' is not a number from 1 to 65535"},
        {"127.0.0.1:65536", "the port '65536' is not a number from 1 to 65535"},
        {"127.0.0.1:06577", "the port '06577' is not a number from 1 to 65535"},
        {"127.0.0.1:0x19b1", "the port is not a number from 1 to 65535"},
        {"127.0.0.1:65 ", "the port is not a number from 1 to 65535"},
        {"0.0.0.0", "0.0.0.0/8 holds no card (a connection there may reach this host itself)"},
        {"0.1.2.3", "0.0.0.0/8 holds no card (a connection there may reach this host itself)"},
        {"224.0.0.1", "multicast, reserved and broadcast addresses hold no card"},
        {"255.255.255.255", "multicast, reserved and broadcast addresses hold no card"},
    };
    for (const auto& [text, reason] : cases) EXPECT_EQ(reason, refusal(text)) << text;
}

TEST(CardAddress, WhatIsAcceptedIsConnectedToAsTheSameNumber) {
    const std::tuple<const char*, uint32_t, uint16_t> cases[] = {
        {"127.0.0.10", 0x7F00000A, 6577},      {"10.0.0.1:1", 0x0A000001, 1},
        {"192.168.4.255", 0xC0A804FF, 6577},   {"1.0.0.0:65535", 0x01000000, 65535},
        {"223.255.255.254", 0xDFFFFFFE, 6577},
    };
    for (const auto& [text, address, port] : cases) {
        CardAddress card;
        std::string reason;
        ASSERT_TRUE(parseCardAddress(text, card, reason)) << text << ": " << reason;
        EXPECT_EQ(address, card.address) << text;
        EXPECT_EQ(port, card.port) << text;
        // The connection reads the canonical text the way inet_addr does: it must land on the
        // number that was checked.
        uint32_t networkOrder = 0;
        ASSERT_TRUE(platform::parseIpv4(card.text().c_str(), networkOrder)) << card.text();
        uint8_t octets[4];
        std::memcpy(octets, &networkOrder, sizeof octets);
        EXPECT_EQ(address, uint32_t{octets[0]} << 24 | uint32_t{octets[1]} << 16 |
                               uint32_t{octets[2]} << 8 | octets[3])
            << text;
    }
    EXPECT_EQ("127.0.0.10", dottedQuadText(0x7F00000A));
}

}  // namespace
}  // namespace vorl
