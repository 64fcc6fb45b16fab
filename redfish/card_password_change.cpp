#include "redfish/card_password_change.h"

#include "protocol/account_change.h"

namespace vorl::redfish {

CardPasswordChange changeCardPassword(CardSession& session, const std::string& user,
                                      const std::string& password) {
    AccountChange change(session);
    const AccountChangeResult result = change.replace({user, password, std::nullopt});
    CardPasswordChange outcome;
    outcome.status = result.status;
    if (result.status != 0) outcome.description = describeAccountChange(result, user);
    return outcome;
}

}  // namespace vorl::redfish
