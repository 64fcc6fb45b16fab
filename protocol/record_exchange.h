#pragma once
// How CardSession operations exchange fixed-size records with the card, with one rule for every
// answer the host reads: it counts only when the status is 0 and the answer holds the whole
// record. A "success" that is shorter is status 33, like every other failure below the card's
// own answer, and the caller's record or value is left as it was.
#include <cstddef>
#include <cstdint>

#include "protocol/card_session.h"
#include "wire/status_codes.h"

namespace vorl {

// Sends `requestLength` bytes of `buffer` (`capacity` bytes, which also receives the answer).
// Returns the card's status when it is not 0; 33 when a "success" carries fewer than
// `answerSize` bytes; 0 when the answer is there to read.
int exchangeFixed(CardSession& session, uint16_t command, uint8_t* buffer, uint32_t capacity,
                  uint32_t requestLength, uint32_t answerSize);

// Sends `length` bytes of `buffer` for a command whose answer the host does not read (the
// answer may use the `capacity` bytes). Returns the status.
int sendFixed(CardSession& session, uint16_t command, uint8_t* buffer, uint32_t length,
              uint32_t capacity, uint32_t waitPolls = 0);

// A command with an empty request whose answer the host does not read; the answer may use
// `Capacity` bytes (a longer one is 33).
template <uint32_t Capacity>
int sendEmpty(CardSession& session, uint16_t command) {
    uint8_t answer[Capacity] = {};
    return sendFixed(session, command, answer, 0, Capacity);
}

// A getter with an empty request whose answer is one byte (in room for `Capacity` bytes).
template <uint32_t Capacity = 1>
int fetchByte(CardSession& session, uint16_t command, uint8_t& value) {
    uint8_t answer[Capacity] = {};
    const int status = exchangeFixed(session, command, answer, Capacity, 0, 1);
    if (status == kStatusSuccess) value = answer[0];
    return status;
}

// A getter with an empty request; `record` is decoded only from a whole answer with status 0.
template <class Record>
int fetchRecord(CardSession& session, uint16_t command, Record& record) {
    uint8_t buffer[Record::kSize] = {};
    const int status = exchangeFixed(session, command, buffer, sizeof buffer, 0, Record::kSize);
    if (status == kStatusSuccess) record.decode(buffer);
    return status;
}

// A getter whose request is the record itself (it names what is asked for); the answer
// replaces it by the same rule.
template <class Record>
int queryRecord(CardSession& session, uint16_t command, Record& record) {
    uint8_t buffer[Record::kSize] = {};
    record.encode(buffer);
    const int status =
        exchangeFixed(session, command, buffer, sizeof buffer, Record::kSize, Record::kSize);
    if (status == kStatusSuccess) record.decode(buffer);
    return status;
}

// A setter: sends the encoded record; the answer carries nothing the host reads.
template <class Record>
int sendRecord(CardSession& session, uint16_t command, const Record& record) {
    uint8_t buffer[Record::kSize] = {};
    record.encode(buffer);
    return sendFixed(session, command, buffer, sizeof buffer, sizeof buffer);
}

}  // namespace vorl
