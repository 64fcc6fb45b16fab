#pragma once
// Status codes of every transaction and their message texts: the one list of them. The card
// sends them in its answers; the host-side operations return the same numbers for their own
// failures (33 for anything below the card's answer, 14, 18 and 21 for local files, ...).

namespace vorl {

enum StatusCode : int {
    kStatusSuccess = 0,
    kStatusAuthenticationFailed = 1,
    kStatusAuthenticationRequired = 2,
    kStatusBusy = 3,
    kStatusTryAgain = 4,
    kStatusPermissionDenied = 5,
    kStatusCanceled = 6,
    kStatusInterrupted = 7,
    kStatusArgumentNeeded = 8,
    kStatusArgumentCountInsufficient = 9,
    kStatusInProgress = 10,
    kStatusShutdown = 11,
    kStatusAccessError = 12,
    kStatusHandleError = 13,
    kStatusUnableToOpenFile = 14,
    kStatusAlreadyExists = 15,
    kStatusResourceNotExist = 16,
    kStatusInsufficientMemory = 17,
    kStatusInsufficientSpace = 18,
    kStatusReadOnly = 19,
    kStatusNoSuchDevice = 20,
    kStatusIoError = 21,
    kStatusFault = 22,
    kStatusNoSuchFile = 23,
    kStatusTimeout = 24,
    kStatusDeadlock = 25,
    kStatusOutOfRange = 26,
    kStatusNullArgument = 27,
    kStatusInvalidArgument = 28,
    kStatusBufferError = 29,
    kStatusGeneralError = 30,
    kStatusVersionConflict = 31,
    kStatusUnsupported = 32,
    kStatusConnectError = 33,
    kStatusChecksumError = 34,
};

// The message for `code`: the table entry for 0..36, "Unknown RUNO error" otherwise.
const char* statusMessage(int code);

}  // namespace vorl
