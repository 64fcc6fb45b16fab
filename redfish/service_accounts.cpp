#include "redfish/service_accounts.h"

#include <algorithm>
#include <mutex>

namespace vorl::redfish {

ServiceAccounts::ServiceAccounts(const std::vector<AccountConfig>& configured, ServiceState& state,
                                 std::vector<std::string>& shadowed)
    : state_(state) {
    for (const AccountConfig& account : configured)
        accounts_.push_back({account.name, account.passwordHash, account.role, true});
    for (const StoredAccount& stored : state.accounts()) {
        if (findLocked(stored.name) != nullptr) {
            shadowed.push_back(stored.name);
            continue;
        }
        accounts_.push_back({stored.name, stored.passwordHash, stored.role, false});
    }
}

ServiceAccounts::Account* ServiceAccounts::findLocked(const std::string& name) {
    for (Account& account : accounts_)
        if (account.name == name) return &account;
    return nullptr;
}

std::optional<Role> ServiceAccounts::authenticate(const std::string& name,
                                                  const std::string& password) {
    std::string hash;
    Role role = Role::ReadOnly;
    {
        std::shared_lock<std::shared_mutex> guard(mutex_);
        const auto found = std::find_if(accounts_.begin(), accounts_.end(),
                                        [&](const Account& a) { return a.name == name; });
        if (found != accounts_.end()) {
            hash = found->hash;
            role = found->role;
        }
    }
    if (hash.empty()) {
        check_.unknownName(password);
        return std::nullopt;
    }
    if (!check_.matches(name, password, hash)) return std::nullopt;
    return role;
}

std::vector<AccountView> ServiceAccounts::list() const {
    std::shared_lock<std::shared_mutex> guard(mutex_);
    std::vector<AccountView> views;
    for (const Account& account : accounts_)
        views.push_back({account.name, account.role, account.configured});
    return views;
}

std::optional<AccountView> ServiceAccounts::find(const std::string& name) const {
    for (AccountView& view : list())
        if (view.name == name) return view;
    return std::nullopt;
}

bool ServiceAccounts::acceptablePassword(const std::string& password) {
    return password.size() >= kMinPassword && password.size() <= kMaxPassword &&
           password.find('\0') == std::string::npos;
}

bool ServiceAccounts::commit(std::vector<Account> next) {
    std::vector<StoredAccount> stored;
    for (const Account& account : next)
        if (!account.configured) stored.push_back({account.name, account.hash, account.role});
    if (!state_.setAccounts(std::move(stored))) return false;
    accounts_ = std::move(next);
    return true;
}

ServiceAccounts::Outcome ServiceAccounts::add(const std::string& name, const std::string& password,
                                              Role role) {
    if (!acceptablePassword(password)) return Outcome::BadPassword;
    const std::string hash = PasswordCheck::hash(password);  // slow: outside the lock
    if (hash.empty()) return Outcome::Failed;
    std::unique_lock<std::shared_mutex> guard(mutex_);
    if (findLocked(name) != nullptr) return Outcome::Exists;
    std::vector<Account> next = accounts_;
    next.push_back({name, hash, role, false});
    return commit(std::move(next)) ? Outcome::Done : Outcome::Failed;
}

ServiceAccounts::Outcome ServiceAccounts::remove(const std::string& name) {
    std::unique_lock<std::shared_mutex> guard(mutex_);
    const Account* account = findLocked(name);
    if (account == nullptr) return Outcome::Missing;
    if (account->configured) return Outcome::Configured;
    std::vector<Account> next;
    for (const Account& other : accounts_)
        if (other.name != name) next.push_back(other);
    return commit(std::move(next)) ? Outcome::Done : Outcome::Failed;
}

ServiceAccounts::Outcome ServiceAccounts::setPassword(const std::string& name,
                                                      const std::string& password) {
    if (!acceptablePassword(password)) return Outcome::BadPassword;
    {
        std::shared_lock<std::shared_mutex> guard(mutex_);
        const auto found = std::find_if(accounts_.begin(), accounts_.end(),
                                        [&](const Account& a) { return a.name == name; });
        if (found == accounts_.end()) return Outcome::Missing;
        if (found->configured) return Outcome::Configured;
    }
    const std::string hash = PasswordCheck::hash(password);
    if (hash.empty()) return Outcome::Failed;
    std::unique_lock<std::shared_mutex> guard(mutex_);
    std::vector<Account> next = accounts_;
    for (Account& account : next)
        if (account.name == name) account.hash = hash;
    // Removed meanwhile: nothing to change.
    if (findLocked(name) == nullptr) return Outcome::Missing;
    return commit(std::move(next)) ? Outcome::Done : Outcome::Failed;
}

ServiceAccounts::Outcome ServiceAccounts::setRole(const std::string& name, Role role) {
    std::unique_lock<std::shared_mutex> guard(mutex_);
    const Account* account = findLocked(name);
    if (account == nullptr) return Outcome::Missing;
    if (account->configured) return Outcome::Configured;
    std::vector<Account> next = accounts_;
    for (Account& other : next)
        if (other.name == name) other.role = role;
    return commit(std::move(next)) ? Outcome::Done : Outcome::Failed;
}

}  // namespace vorl::redfish
