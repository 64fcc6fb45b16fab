#include "redfish/card_password_change.h"

#include <openssl/crypto.h>

#include <memory>

#include "protocol/card_session.h"
#include "protocol/user_records.h"

namespace vorl::redfish {
namespace {
constexpr int kMaxAccounts = 256;
}

int changeCardPassword(CardSession& session, const std::string& user, const std::string& password) {
    auto accounts = std::make_unique<UserRecord[]>(kMaxAccounts);
    // The listing is the only way to the old password, which a failed add must put back.
    auto wipe = [&] { OPENSSL_cleanse(accounts.get(), sizeof(UserRecord) * kMaxAccounts); };
    int count = 0;
    if (const int status = session.listUsers(accounts.get(), kMaxAccounts, count); status != 0) {
        wipe();
        return status;
    }
    const UserRecord* old = nullptr;
    for (int i = 0; i < count && old == nullptr; ++i)
        if (fieldText(accounts[i].name, sizeof accounts[i].name) == user) old = &accounts[i];
    if (old == nullptr) {
        wipe();
        return kAccountMissing;
    }
    int status = session.deleteUser(*old);
    if (status == 0) {
        status = session.addUser(user, password);
        if (status != 0) session.addUser(*old);
    }
    wipe();
    return status;
}

}  // namespace vorl::redfish
