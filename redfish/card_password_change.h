#pragma once
// A card account's new password. The card has no command for it: AccountChange deletes the
// account and adds it again, and puts the old one back when the add fails or the connection
// drops, so that a failed change never loses the account.
#include <string>

namespace vorl {
class CardSession;
}

namespace vorl::redfish {

struct CardPasswordChange {
    // 0 when the account now has the new password; kAccountMissing when the card has no
    // account of that name; otherwise the status of the step that failed.
    int status = 0;
    // For a failure: the step, what was done about it and what the card holds now.
    std::string description;
};

CardPasswordChange changeCardPassword(CardSession& session, const std::string& user,
                                      const std::string& password);
constexpr int kAccountMissing = 16;

}  // namespace vorl::redfish
