#pragma once
// Status codes of every transaction and their message texts.

namespace vorl {

enum StatusCode : int {
    kStatusSuccess = 0,
    kStatusAuthenticationFailed = 1,
    kStatusAuthenticationRequired = 2,
    kStatusTimeout = 24,
    kStatusOutOfRange = 26,
    kStatusInvalidArgument = 28,
    kStatusGeneralError = 30,
    kStatusUnsupported = 32,
    kStatusConnectError = 33,
    kStatusChecksumError = 34,
};

// The message for `code`: the table entry for 0..36, "Unknown RUNO error" otherwise.
const char* statusMessage(int code);

}  // namespace vorl
