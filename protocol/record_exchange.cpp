#include "protocol/record_exchange.h"

namespace vorl {

int exchangeFixed(CardSession& session, uint16_t command, uint8_t* buffer, uint32_t capacity,
                  uint32_t requestLength, uint32_t answerSize) {
    uint32_t responseLength = 0;
    const int status =
        session.transact(command, buffer, requestLength, responseLength, 0, capacity);
    if (status != kStatusSuccess) return status;
    // Without the whole answer there is nothing true to report.
    return responseLength < answerSize ? kStatusConnectError : kStatusSuccess;
}

int sendFixed(CardSession& session, uint16_t command, uint8_t* buffer, uint32_t length,
              uint32_t capacity, uint32_t waitPolls) {
    uint32_t responseLength = 0;
    return session.transact(command, buffer, length, responseLength, waitPolls, capacity);
}

}  // namespace vorl
