#pragma once
// A card account's new password. The card has no command for it, so the account is deleted and
// added again; when the add fails, the account is added back with its old password, so that a
// failed change never loses the account. (The safe password change of protocol/ takes this
// over once it is merged: this is the one place that calls it.)
#include <string>

namespace vorl {
class CardSession;
}

namespace vorl::redfish {

// 0 when the account now has `password`. Otherwise the card's status: of the listing (nothing
// changed), of the delete (nothing changed) or of the add (the old password restored).
// kAccountMissing when the card has no account `user`.
int changeCardPassword(CardSession& session, const std::string& user, const std::string& password);
constexpr int kAccountMissing = 16;

}  // namespace vorl::redfish
