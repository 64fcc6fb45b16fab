#pragma once
// The service's own logins: those of the configuration file (fixed: changed only there) and
// those created through AccountService (kept in the state directory). Safe from any thread.
#include <optional>
#include <shared_mutex>
#include <string>
#include <vector>

#include "redfish/password_check.h"
#include "redfish/privileges.h"
#include "redfish/redfish_config.h"
#include "redfish/service_state.h"

namespace vorl::redfish {

struct AccountView {
    std::string name;
    Role role = Role::ReadOnly;
    bool configured = false;  // from the configuration file: not changed through Redfish
};

class ServiceAccounts {
public:
    // Passwords of new accounts: this long at least (and at most kMaxPassword).
    static constexpr size_t kMinPassword = 8;
    static constexpr size_t kMaxPassword = 64;  // bcrypt reads 72 bytes; leave no doubt

    enum class Outcome { Done, Exists, Missing, Configured, BadPassword, Failed };

    // Stored accounts whose name the configuration file also gives are left out (the file
    // wins); their names land in `shadowed`.
    ServiceAccounts(const std::vector<AccountConfig>& configured, ServiceState& state,
                    std::vector<std::string>& shadowed);

    // The account's role when `name` and `password` match one; the same work either way.
    std::optional<Role> authenticate(const std::string& name, const std::string& password);

    std::vector<AccountView> list() const;
    std::optional<AccountView> find(const std::string& name) const;

    // Changes of the accounts created through Redfish; each is stored before it counts. A
    // configured account gives Configured, a failed write or hash Failed.
    Outcome add(const std::string& name, const std::string& password, Role role);
    Outcome remove(const std::string& name);
    Outcome setPassword(const std::string& name, const std::string& password);
    Outcome setRole(const std::string& name, Role role);

    static bool acceptablePassword(const std::string& password);

private:
    struct Account {
        std::string name;
        std::string hash;
        Role role;
        bool configured;
    };
    Account* findLocked(const std::string& name);
    // Stores the non-configured accounts of `next` and takes it on success.
    bool commit(std::vector<Account> next);

    ServiceState& state_;
    PasswordCheck check_;
    mutable std::shared_mutex mutex_;
    std::vector<Account> accounts_;
};

}  // namespace vorl::redfish
