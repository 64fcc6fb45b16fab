// The configuration reader's checks (every refusal names the file's line) and the
// allowed_targets ranges, which decide what the exporter may be made to connect to.
#include "exporter/exporter_config.h"

#include <gtest/gtest.h>

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
        {"allowed_targets: []\n", "vorl.yml:1: no modules: at least a default module is needed"},
        {"modules:\n  default:\n    user: admin\n",
         "vorl.yml:2: module default needs a password or password_file of up to 31 characters"},
        {"modules:\n  default:\n    password: x\n",
         "vorl.yml:2: module default needs a user of 1 to 31 characters"},
        {m + "    password_file: p\n", "vorl.yml:5: give password or password_file, not both"},
        {"modules:\n  d:\n    user: a\n    password_file: missing\n",
         "vorl.yml:4: cannot read password_file /nonexistent/missing"},
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
         "vorl.yml:5: '10.0.0.0/33' is not an IPv4 address or CIDR range"},
        {m + "allowed_targets: 10.0.0.1\n", "vorl.yml:5: allowed_targets must be a list"},
        {m + "listen: x\n", "vorl.yml:5: unknown key 'listen'"},
        {m + "    user: [a]\n", "vorl.yml:5: user must be a single value"},
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

TEST(ExporterConfig, AllowedTargetsMatchAddressesAndRangesOnly) {
    ExporterConfig config;
    std::string error;
    ASSERT_TRUE(parseConfig(
        std::string(kModule) + "allowed_targets: [192.168.4.0/22, 10.1.2.3, 172.16.9.9/12]\n",
        "vorl.yml", "", config, error))
        << error;
    for (const char* inside :
         {"192.168.4.0", "192.168.7.255", "10.1.2.3", "172.16.0.1", "172.31.255.255"})
        EXPECT_TRUE(config.allows(inside)) << inside;
    for (const char* outside :
         {"192.168.3.255", "192.168.8.0", "10.1.2.4", "10.1.2.2", "172.32.0.0", "127.0.0.1", "",
          "10.1.2.3 ", "10.1.2.3:6577", "card.example", "010.1.2.3.4"})
        EXPECT_FALSE(config.allows(outside)) << outside;

    // No list: every address, but still only an address.
    config.allowedTargets.clear();
    EXPECT_TRUE(config.allows("203.0.113.9"));
    EXPECT_FALSE(config.allows("localhost"));
    AddressRange range;
    ASSERT_TRUE(parseRange("0.0.0.0/0", range));
    EXPECT_TRUE(range.contains(0xFFFFFFFF));
    for (const char* bad : {"10.0.0.0/", "10.0.0.0/x", "10.0.0/8", "256.0.0.0/8", "1.2.3.4/-1"})
        EXPECT_FALSE(parseRange(bad, range)) << bad;
}

}  // namespace
}  // namespace vorl::exporter
