// The web configuration refuses at load whatever would lock everyone out or let everyone in.
#include "web/web_config.h"

#include <gtest/gtest.h>

namespace vorl::web {
namespace {

const std::string kHash = "$2y$10$abcdefghijklmnopqrstuuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";

TEST(WebConfig, ReadsUsersAndTlsRelativeToTheFile) {
    WebConfig config;
    std::string error;
    ASSERT_TRUE(
        parseWebConfig("tls_server_config:\n  cert_file: c.pem\n  key_file: /k.pem\n"
                       "  min_version: TLS13\nbasic_auth_users:\n  prom: '" +
                           kHash + "'\n",
                       "/etc/vorl/web.yml", config, error))
        << error;
    EXPECT_EQ("/etc/vorl/c.pem", config.certFile);
    EXPECT_EQ("/k.pem", config.keyFile);
    EXPECT_TRUE(config.tls13Only);
    EXPECT_EQ(kHash, config.users.at("prom"));
    ASSERT_TRUE(parseWebConfig("", "w.yml", config, error));  // empty: plain, no auth
    EXPECT_TRUE(config.users.empty());
    EXPECT_FALSE(config.tls());
}

TEST(WebConfig, NothingFailsOpenOrLocksEveryoneOut) {
    const std::string longer = kHash + "x";
    const std::pair<std::string, std::string> refused[] = {
        {"basic_auth_users:\n", "w.yml:1: basic_auth_users needs at least one user"},
        {"basic_auth_users: {}\n", "w.yml:1: basic_auth_users needs at least one user"},
        {"basic_auth_users: []\n", "w.yml:1: basic_auth_users needs at least one user"},
        {"basic_auth_users:\n  a: '$2'\n", "w.yml:2: the password hash of a is not a bcrypt hash"},
        {"basic_auth_users:\n  a: '$1$abc$def'\n", "is not a bcrypt hash"},
        {"basic_auth_users:\n  a: '$2y$03$abcdefghijklmnopqrstuuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ'\n",
         "w.yml:2: the password hash of a has no bcrypt cost from 04 to 31"},
        {"basic_auth_users:\n  a: '$2y$32$abcdefghijklmnopqrstuuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ'\n",
         "has no bcrypt cost from 04 to 31"},
        {"basic_auth_users:\n  a: '" + longer + "'\n", "is 61 characters long, not 60"},
        {"basic_auth_users:\n  a: '$2y$10$abcdefghijklmnopqrstuuvwxyzABCDEFGHIJKLMNOPQRSTUVWXY!'\n",
         "holds characters bcrypt does not use"},
        {"basic_auth_users:\n  a:\n", "w.yml:2: the password hash of a must be a text"},
        {"basic_auth_users:\n  'a:b': '" + kHash + "'\n",
         "w.yml:2: user name 'a:b' cannot be sent"},
        {"basic_auth_users:\n  a: '" + kHash + "'\n  a: '" + kHash + "'\n",
         "w.yml:3: user a is given twice"},
        {"tls_server_config:\n  cert_file: c\n",
         "w.yml:2: tls_server_config needs cert_file and key_file"},
        {"tls_server_config:\n  cert_file: c\n  key_file: k\n  client_ca_file: ca\n",
         "w.yml:4: tls_server_config: 'client_ca_file' is not supported"},
        {"tls_server_config:\n  cert_file: c\n  key_file: k\n  min_version: TLS10\n",
         "w.yml:4: min_version must be TLS12 or TLS13"},
        {"http_server_config: {}\n", "w.yml:1: unknown key 'http_server_config'"},
        {"- a\n", "w.yml:1: the web configuration must be a mapping"},
    };
    for (const auto& [text, reason] : refused) {
        WebConfig config;
        std::string error;
        EXPECT_FALSE(parseWebConfig(text, "w.yml", config, error)) << text;
        EXPECT_NE(std::string::npos, error.find(reason)) << text << "\n" << error;
    }
    WebConfig config;
    std::string error;
    EXPECT_FALSE(loadWebConfig("/nonexistent/web.yml", config, error));
    EXPECT_EQ("cannot read /nonexistent/web.yml: No such file or directory", error);
    // A directory (or a FIFO) is refused, not read or waited on.
    EXPECT_FALSE(loadWebConfig("/tmp", config, error));
    EXPECT_NE(std::string::npos, error.find("not a regular file")) << error;
}

}  // namespace
}  // namespace vorl::web
