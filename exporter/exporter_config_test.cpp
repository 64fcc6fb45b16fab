// The configuration reader's checks (every refusal names the file's line) and the
// allowed_targets ranges, which decide what the exporter may be made to connect to.
#include "exporter/exporter_config.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace vorl::exporter {
namespace {

constexpr const char* kModule = "modules:\n  default:\n    user: admin\n    password: vorladmin\n";

std::string refusal(const std::string& text) {
    ExporterConfig config;
    std::string error;
    EXPECT_FALSE(parseConfig(text, "vorl.yml", "/nonexistent", config, error)) << text;
    return error;
}

TEST(ExporterConfig, RefusalsNameTheLineAndTheReason) {
    const std::string m = kModule;
    const std::pair<std::string, std::string> cases[] = {
        {"", "vorl.yml:1: the file must be a mapping with a modules: key"},
        {"allowed_targets: [10.0.0.1]\n",
         "vorl.yml:1: no modules: at least a default module is needed"},
        {"modules:\n  default:\n    user: admin\n",
         "vorl.yml:2: module default needs a password or password_file of up to 31 characters"},
        {"modules:\n  default:\n    password: x\n",
         "vorl.yml:2: module default needs a user of 1 to 31 characters"},
        {m + "    password_file: p\n", "vorl.yml:5: give password or password_file, not both"},
        {"modules:\n  d:\n    user: a\n    password_file: missing\n",
         "vorl.yml:4: cannot read password_file /nonexistent/missing: cannot be opened: No such "
         "file or directory"},
        {"modules:\n  d:\n    user: a\n    password_file: /\n",
         "vorl.yml:4: cannot read password_file /: is a directory, not a regular file"},
        {m + "    timeout: 0s\n",
         "vorl.yml:5: timeout '0s' is not a duration from 1ms to 1h (e.g. 10s, 500ms)"},
        {m + "    timeout: 2h\n",
         "vorl.yml:5: timeout '2h' is not a duration from 1ms to 1h (e.g. 10s, 500ms)"},
        {m + "    collectors: []\n", "vorl.yml:5: collectors must be a non-empty list"},
        {m + "    collectors: [health, voltage]\n",
         "vorl.yml:5: unknown collector 'voltage' (health, sensors, sel, firmware, network, "
         "clock, heartbeat)"},
        {m + "  default:\n    user: b\n    password: c\n",
         "vorl.yml:5: module default appears twice"},
        {m + "allowed_targets: [10.0.0.0/33]\n",
         "vorl.yml:5: '10.0.0.0/33' is not an IPv4 address or CIDR range: the prefix after '/' "
         "must be a number from 0 to 32"},
        {m + "allowed_targets: [127.0.0.010]\n",
         "vorl.yml:5: '127.0.0.010' is not an IPv4 address or CIDR range: part '010' has a "
         "leading zero (some programs read it as octal)"},
        {m + "allowed_targets: ['10.0.0.0/8:6600-6500']\n",
         "vorl.yml:5: '10.0.0.0/8:6600-6500' is not an IPv4 address or CIDR range: the ports "
         "must be a port, a range LOW-HIGH or * (from 1 to 65535)"},
        {m + "allowed_targets: []\n",
         "vorl.yml:5: allowed_targets is empty: list the cards' addresses or ranges, or leave "
         "the key out (any address, port 6577)"},
        // A repeated key: YAML readers disagree on which one wins, so neither does.
        {m + "    user: root\n", "vorl.yml:5: key 'user' appears twice in module default"},
        {m + "    password: other\n", "vorl.yml:5: key 'password' appears twice in module default"},
        {m + "allowed_targets: [10.0.0.1]\nallowed_targets: [10.0.0.2]\n",
         "vorl.yml:6: key 'allowed_targets' appears twice"},
        {m + "allowed_targets: 10.0.0.1\n", "vorl.yml:5: allowed_targets must be a list"},
        {m + "listen: x\n", "vorl.yml:5: unknown key 'listen'"},
        {"modules:\n  default:\n    user: [a]\n", "vorl.yml:3: user must be a single value"},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(expected, refusal(text)) << text;
    // The YAML parser's own complaints carry the line as well.
    EXPECT_EQ(0u, refusal("modules: [\n").rfind("vorl.yml:2: ", 0));
}

TEST(ExporterConfig, ReadsModulesAndPasswordFilesBesideTheFile) {
    const std::string dir = testing::TempDir();
    { std::ofstream(dir + "/vorl-card-password") << "s3cret\r\n"; }
    ExporterConfig config;
    std::string error;
    ASSERT_TRUE(parseConfig(std::string(kModule) +
                                "    timeout: 1500ms\n  quick:\n    user: ops\n"
                                "    password_file: vorl-card-password\n    timeout: 1m\n"
                                "    collectors: [health, clock]\n",
                            "vorl.yml", dir, config, error))
        << error;
    std::remove((dir + "/vorl-card-password").c_str());
    EXPECT_EQ(std::chrono::milliseconds(1500), config.modules.at("default").timeout);
    EXPECT_EQ(unsigned{kAllCollectors}, config.modules.at("default").collectors);
    const Module& quick = config.modules.at("quick");
    EXPECT_EQ("s3cret", quick.password);
    EXPECT_EQ(std::chrono::minutes(1), quick.timeout);
    EXPECT_EQ(unsigned{kHealth | kClock}, quick.collectors);
}

CardAddress card(const char* text) {
    CardAddress parsed;
    std::string reason;
    EXPECT_TRUE(parseCardAddress(text, parsed, reason)) << text << ": " << reason;
    return parsed;
}

TEST(ExporterConfig, AllowedTargetsMatchAddressesRangesAndPorts) {
    ExporterConfig config;
    std::string error;
    ASSERT_TRUE(parseConfig(std::string(kModule) +
                                "allowed_targets: [192.168.4.0/22, 10.1.2.3, 172.16.9.9/12, "
                                "10.9.0.0/16:7000-7002, '10.8.0.1:*', 10.7.0.1:6578]\n",
                            "vorl.yml", "", config, error))
        << error;
    for (const char* inside : {"192.168.4.0", "192.168.7.255", "10.1.2.3", "10.1.2.3:6577",
                               "172.16.0.1", "172.31.255.255", "10.9.255.1:7000", "10.9.0.1:7002",
                               "10.8.0.1:1", "10.8.0.1:65535", "10.7.0.1:6578"})
        EXPECT_TRUE(config.allows(card(inside))) << inside;
    for (const char* outside : {"192.168.3.255", "192.168.8.0", "10.1.2.4", "10.1.2.2",
                                "172.32.0.0", "127.0.0.1", "10.1.2.3:6578", "192.168.4.1:80",
                                "10.9.0.1", "10.9.0.1:6999", "10.9.0.1:7003", "10.7.0.1"})
        EXPECT_FALSE(config.allows(card(outside))) << outside;

    // No list: every address, but the card port only.
    ASSERT_TRUE(parseConfig(kModule, "vorl.yml", "", config, error)) << error;
    EXPECT_TRUE(config.allows(card("203.0.113.9")));
    EXPECT_FALSE(config.allows(card("203.0.113.9:22")));
    AddressRange range;
    std::string reason;
    ASSERT_TRUE(parseRange("0.0.0.0/0:*", range, reason));
    EXPECT_TRUE(range.contains({0xDFFFFFFF, 1}));
    for (const char* bad : {"10.0.0.0/", "10.0.0.0/x", "10.0.0/8", "256.0.0.0/8", "1.2.3.4/-1",
                            "10.0.0.0/08", "10.0.0.0/8:", "10.0.0.1:0", "10.0.0.1:1-", "card/8"})
        EXPECT_FALSE(parseRange(bad, range, reason)) << bad;
}

TEST(ExporterConfig, PasswordFileOthersMayReadStartsWithAWarningNamingItsLine) {
    const std::string dir = testing::TempDir();
    const std::string path = dir + "/vorl-shared-password";
    { std::ofstream(path) << "s3cret\n"; }
    ::chmod(path.c_str(), 0644);
    ExporterConfig config;
    std::string error;
    ASSERT_TRUE(
        parseConfig("modules:\n  default:\n    user: admin\n"
                    "    password_file: vorl-shared-password\n",
                    "vorl.yml", dir, config, error))
        << error;
    std::remove(path.c_str());
    ASSERT_EQ(1u, config.warnings.size());
    EXPECT_EQ("vorl.yml:4: password_file " + path +
                  " is readable by every user (mode 0644); make it 0600 or 0400, owned by the "
                  "user the service runs as",
              config.warnings[0]);
    EXPECT_EQ("s3cret", config.modules.at("default").password);
}

}  // namespace
}  // namespace vorl::exporter
