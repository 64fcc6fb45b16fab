#include "protocol/card_connector.h"

#include "platform/sleep.h"
#include "protocol/card_session.h"
#include "wire/status_codes.h"

namespace vorl {

int CardConnector::open(const CardLogin& as, std::unique_ptr<CardSession>& session) {
    session.reset();
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        // A card that has just dropped a connection may take a moment to listen again.
        if (attempt > 1) platform::sleepMs(kRetryPauseMs);
        std::unique_ptr<CardSession> fresh = makeSession_();
        if (!fresh || fresh->connect() != kStatusSuccess) continue;
        if (!as.userName.empty()) {
            const int login = fresh->login(as.userName, as.password);
            if (login == kStatusConnectError) continue;
            if (login != kStatusSuccess) return login;
        }
        fresh->setConnector(this);
        session = std::move(fresh);
        return kStatusSuccess;
    }
    return kStatusConnectError;
}

}  // namespace vorl
