#pragma once
// Commands that have always returned 0 when the card refuses them (they print a failure text of
// their own instead): their data says whether the card did it, and with which status it refused.
#include "cli/report.h"
#include "wire/status_codes.h"

namespace vorl::cli {

// `data` with "performed" and, when the card refused, "card_status".
inline Json withOutcome(Json data, int status) {
    data["performed"] = status == kStatusSuccess;
    if (status != kStatusSuccess) data["card_status"] = status;
    return data;
}

// A read that failed: "available" false and the card's status.
inline Json unavailable(int status) {
    return {{"available", false}, {"card_status", status}};
}

// A write the card refused changed nothing.
inline Change changeFor(int status) {
    return status == kStatusSuccess ? Change::Writes : Change::Unchanged;
}

}  // namespace vorl::cli
