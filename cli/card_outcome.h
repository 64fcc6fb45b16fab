#pragma once
// Commands that have always returned 0 when the card refuses them (they print a failure text of
// their own instead): their data says whether the card did it and with which status it did not,
// and the document's "ok" is false then.
#include "cli/report.h"
#include "protocol/card_session.h"
#include "wire/status_codes.h"

namespace vorl::cli {

// Names the status of a failure in `data`: "card_status" when the card answered with a refusal,
// else "local_status", vorlcli's own (no answer, a malformed one, a local file), so that no
// number is passed off as the card's.
inline void addFailureStatus(Json& data, const CardSession& session, int status) {
    const int answered = session.lastAnswerStatus();
    if (answered > 0)
        data["card_status"] = answered;
    else
        data["local_status"] = status;
}

// A write that ends with 0 either way: on success `written` with "performed": true; otherwise
// `kept` (what names the target, never the refused values) with "performed": false and the
// failure's status, and the report hears that it was not done.
inline Json writeOutcome(Json written, Json kept, int status, const CardSession& session,
                         Report& report) {
    if (status == kStatusSuccess) {
        written["performed"] = true;
        return written;
    }
    kept["performed"] = false;
    addFailureStatus(kept, session, status);
    report.notDone(statusMessage(status));
    return kept;
}

// A read that failed but ends with 0: "available" false and the failure's status.
inline Json readFailure(int status, const CardSession& session, Report& report) {
    Json data = {{"available", false}};
    addFailureStatus(data, session, status);
    report.notDone(statusMessage(status));
    return data;
}

// A write the card refused changed nothing.
inline Change changeFor(int status) {
    return status == kStatusSuccess ? Change::Writes : Change::Unchanged;
}

}  // namespace vorl::cli
