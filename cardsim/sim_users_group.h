#pragma once
// Group 0x05 of the simulated card: the login accounts and the SNMP users. The network server
// asks it to check a login; the state lives in "users.dat" of the state directory.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "cardsim/sim_group.h"

namespace vorl::sim {

class SimUsersGroup : public SimGroup {
public:
    static constexpr size_t kMaxAccounts = 16;
    static constexpr size_t kMaxSnmpUsers = 16;
    static constexpr const char* kFileName = "users.dat";
    static constexpr const char* kDefaultUser = "admin";
    static constexpr const char* kDefaultPassword = "vorladmin";

    struct Account {
        std::string name;
        std::string password;
    };
    struct SnmpUser {
        std::string name;
        std::string password;
        std::string authProtocol;  // "MD5" or "SHA"
        std::string privProtocol;  // "DES" or "NONE"
    };

    bool handles(uint16_t command) const override { return (command >> 8) == 0x05; }
    void handle(const SimRequest& request, SimReply& reply) override;
    void setDefaults() override;
    void load(const std::filesystem::path& dir) override;
    void save(const std::filesystem::path& dir) const override;

    // True when `name` is an account whose password followed by the 8 `challenge` bytes has
    // the MD5 digest `digest` (16 bytes).
    bool checkLogin(const std::string& name, const uint8_t* digest, const uint8_t* challenge) const;

    const std::vector<Account>& accounts() const { return accounts_; }
    const std::vector<SnmpUser>& snmpUsers() const { return snmpUsers_; }

private:
    uint16_t addAccount(const SimRequest& request);
    uint16_t deleteAccount(const SimRequest& request);
    uint16_t addSnmpUser(const SimRequest& request);
    void listAccounts(SimReply& reply, bool withPasswords) const;
    void listSnmpUsers(SimReply& reply) const;

    std::vector<Account> accounts_;
    std::vector<SnmpUser> snmpUsers_;
};

}  // namespace vorl::sim
