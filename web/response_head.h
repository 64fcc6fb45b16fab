#pragma once
// Internal: the status line and header fields of an answer, as bytes. The server owns the
// framing fields (Content-Length, Transfer-Encoding, Connection): a handler's are dropped.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "web/http_message.h"

namespace vorl::web::detail {

enum class Framing {
    Length,   // Content-Length: `contentLength`
    Chunked,  // Transfer-Encoding: chunked
    UntilClose,
};

// False (and `head` untouched) when a field name is not a token, a value holds CR, LF or NUL
// (which would let a value split the answer), or the status is not from 100 to 599.
bool serializeHead(const Response& response, Framing framing, size_t contentLength, bool keepAlive,
                   bool http10, std::string& head);

// True for the statuses that never carry a body (1xx, 204, 304).
bool statusHasNoBody(int status);

// "413 Payload Too Large" and the like, plain text, closing the connection.
std::string errorAnswer(int status, std::string_view text);

// A streamed piece as one HTTP/1.1 chunk.
std::string chunk(std::string_view piece);
constexpr std::string_view kLastChunk = "0\r\n\r\n";

}  // namespace vorl::web::detail
