// The configuration file: what a good one gives, and that a bad one is refused with its file,
// line and reason, never with a secret in the message, never hanging on a FIFO.
#include "redfish/redfish_config.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "tests/support/temp_dir.h"

namespace vorl::redfish {
namespace {

constexpr const char* kHash = "$2y$10$ABCDEFGHIJKLMNOPQRSTUu7nG2cVtGMGy9nUYR3zXv1lFcGbbRdcu";

class ConfigTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::ofstream(dir.file("card.pw")) << "S3cret-Pass\nsecond line\n";
        std::ofstream(dir.file("empty.pw"));
    }
    // Parses `text` as the file "cfg.yml" in the test folder: "" on success, else the error.
    std::string parse(const std::string& text) {
        std::string error;
        config = RedfishConfig();
        return parseRedfishConfig(text, "cfg.yml", dir.path().string(), config, error) ? "" : error;
    }
    static std::string card(const std::string& id, const std::string& address,
                            const std::string& passwordFile = "card.pw") {
        return "  - id: " + id + "\n    address: " + address +
               "\n    user: admin\n    password_file: " + passwordFile + "\n";
    }
    static std::string account(const std::string& name, const std::string& role = "Operator") {
        return "  - name: " + name + "\n    password_hash: \"" + kHash + "\"\n    role: " + role +
               "\n";
    }

    test::TempDir dir;
    RedfishConfig config;
};

TEST_F(ConfigTest, AGoodFileGivesCardsAccountsAndSettings) {
    ASSERT_EQ("", parse("state_dir: /var/lib/x\ncards:\n" + card("rack1-srv07", "192.0.2.7") +
                        card("b_2", "192.0.2.8") + "accounts:\n" + account("ops.team") +
                        "card_timeout: 500ms\ncache_time: 0\nsession_timeout: 30m\n"));
    ASSERT_EQ(2u, config.cards.size());
    EXPECT_EQ("rack1-srv07", config.cards[0].id);
    EXPECT_EQ("192.0.2.7", config.cards[0].address);
    EXPECT_EQ("S3cret-Pass", config.cards[0].password);  // the first line only
    EXPECT_EQ(Role::Operator, config.accounts.at(0).role);
    EXPECT_EQ(std::chrono::milliseconds(500), config.cardTimeout);
    EXPECT_EQ(std::chrono::milliseconds(0), config.cacheTime);
    EXPECT_EQ(std::chrono::seconds(1800), config.sessionTimeout);
    EXPECT_EQ("/var/lib/x", config.stateDir);
}

TEST_F(ConfigTest, ABadFileIsRefusedWithItsLineAndReason) {
    const std::string accounts = "accounts:\n" + account("ops");
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        {"cards:\n" + card("a", "192.168.1.010") + accounts,
         "cfg.yml:3: address '192.168.1.010' refused: part '010' has a leading zero"},
        {"cards:\n" + card("a", "\"10.0.0.1 \"") + accounts, "refused: it contains a blank"},
        {"cards:\n" + card("a", "256.1.1.1") + accounts, "refused: part '256' is above 255"},
        {"cards:\n" + card("a", "1.2.3") + accounts, "refused: it has 3 parts"},
        {"cards:\n" + card("a", "10.0.0.1:6577") + accounts, "give the address alone"},
        {"cards:\n" + card("a", "10.0.0.1") + card("b", "10.0.0.1") + accounts,
         "cfg.yml:6: address 10.0.0.1 appears twice"},
        {"cards:\n" + card("a/b", "10.0.0.1") + accounts, "cfg.yml:2: card id 'a/b' must be"},
        {"cards:\n" + card("a", "10.0.0.1", "missing.pw") + accounts,
         "missing.pw cannot be opened: No such file"},
        {"cards:\n" + card("a", "10.0.0.1", "empty.pw") + accounts, "is empty"},
        {"cards:\n" + card("a", "10.0.0.1", "/") + accounts, "not a regular file"},
        {"cards: []\naccounts:\n" + account("ops", "Admin"),
         "cfg.yml:5: role must be Administrator, Operator or ReadOnly"},
        {"cards: []\naccounts:\n  - name: ops\n    password_hash: secret\n    role: ReadOnly\n",
         "cfg.yml:4: password_hash of ops is not a bcrypt hash ($2a$"},
        {"cards: []\n", "accounts: at least one account"},
        {"cards: []\n" + accounts + "card_timeout: 10x\n", "cfg.yml:6: card_timeout '10x'"},
        {"cards: []\n" + accounts + "session_timeout: 5s\n", "cfg.yml:6: session_timeout"},
        {"cards: []\n" + accounts + "parallel_updates: 0\n", "cfg.yml:6: parallel_updates '0'"},
        {"cards: []\n" + accounts + "update_file_dir: images\n", "must be an absolute path"},
        {"cards: []\n" + accounts + "extra: 1\n", "cfg.yml:6: unknown key 'extra'"},
        {"cards: []\n" + accounts + "events:\n  poll_interval: 10ms\n",
         "cfg.yml:7: poll_interval must be 0 (off) or at least 100ms"},
        {"cards: []\n" + accounts + "events:\n  max_sse_clients: -1\n",
         "cfg.yml:7: max_sse_clients must be a number from 0 to 1000"},
        {"cards: []\n" + accounts + "events: {retries: 1}\n", "unknown key 'retries' in events"},
        {"cards: [\n", "cfg.yml:"},
    };
    for (const auto& c : cases) {
        const std::string error = parse(c.text);
        EXPECT_NE(std::string::npos, error.find(c.error)) << c.text << "\ngave: " << error;
        EXPECT_EQ(std::string::npos, error.find("S3cret")) << error;
    }
}

TEST_F(ConfigTest, APasswordFileThatIsAFifoIsRefusedAtOnce) {
    ASSERT_EQ(0, ::mkfifo(dir.file("fifo.pw").c_str(), 0600));
    // Nobody writes the FIFO: a blocking open would wait for ever.
    const std::string error =
        parse("cards:\n" + card("a", "192.0.2.7", "fifo.pw") + "accounts:\n" + account("ops"));
    EXPECT_NE(std::string::npos, error.find("not a regular file")) << error;
}

TEST(CardAddressTest, OnlyPlainDottedQuadsPass) {
    for (const char* good : {"0.0.0.0", "127.0.0.1", "192.0.2.255", "255.255.255.0"})
        EXPECT_TRUE(isStrictCardAddress(good)) << good;
    for (const char* bad : {"", "1.2.3.4.5", "01.2.3.4", "1.2.3.4/24", "+1.2.3.4", "1.2.3.-4",
                            "1..2.3", "1.2.3.4:6577", "a.b.c.d", "1.2.3.1000"})
        EXPECT_FALSE(isStrictCardAddress(bad)) << bad;
}

}  // namespace
}  // namespace vorl::redfish
