#include "web/response_head.h"

#include <boost/beast/http/status.hpp>
#include <cstdio>
#include <ostream>  // before Beast's status header, which uses it without including it

namespace vorl::web::detail {
namespace {

bool isToken(std::string_view name) {
    static const std::string_view kSymbols = "!#$%&'*+-.^_`|~";
    if (name.empty()) return false;
    for (char c : name) {
        const bool alnum =
            (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!alnum && kSymbols.find(c) == std::string_view::npos) return false;
    }
    return true;
}

bool isFieldValue(std::string_view value) {
    return value.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

std::string_view reason(int status) {
    const auto text = boost::beast::http::obsolete_reason(
        static_cast<boost::beast::http::status>(static_cast<unsigned>(status)));
    return text == "<unknown-status>" ? std::string_view("Unknown") : std::string_view(text);
}

}  // namespace

bool statusHasNoBody(int status) {
    return (status >= 100 && status < 200) || status == 204 || status == 304;
}

bool serializeHead(const Response& response, Framing framing, size_t contentLength, bool keepAlive,
                   bool http10, std::string& head) {
    if (response.status < 100 || response.status > 599) return false;
    std::string out;
    out.reserve(128);
    out += "HTTP/1.1 ";
    out += std::to_string(response.status);
    out += ' ';
    out += reason(response.status);
    out += "\r\n";
    for (const auto& [name, value] : response.headers.fields()) {
        if (!isToken(name) || !isFieldValue(value)) return false;
        if (Headers::sameName(name, "Content-Length") ||
            Headers::sameName(name, "Transfer-Encoding") || Headers::sameName(name, "Connection"))
            continue;
        out += name;
        out += ": ";
        out += value;
        out += "\r\n";
    }
    if (!statusHasNoBody(response.status)) {
        if (framing == Framing::Length) {
            out += "Content-Length: ";
            out += std::to_string(contentLength);
            out += "\r\n";
        } else if (framing == Framing::Chunked) {
            out += "Transfer-Encoding: chunked\r\n";
        }
    }
    if (!keepAlive)
        out += "Connection: close\r\n";
    else if (http10)
        out += "Connection: keep-alive\r\n";
    out += "\r\n";
    head = std::move(out);
    return true;
}

std::string errorAnswer(int status, std::string_view text) {
    Response response;
    response.status = status;
    response.headers.add("Content-Type", "text/plain; charset=utf-8");
    std::string body = std::string(text) + "\n";
    std::string head;
    serializeHead(response, Framing::Length, body.size(), false, false, head);
    return head + body;
}

std::string chunk(std::string_view piece) {
    char size[24];
    const int length = std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
    std::string out;
    out.reserve(static_cast<size_t>(length) + piece.size() + 2);
    out.append(size, static_cast<size_t>(length));
    out += piece;
    out += "\r\n";
    return out;
}

}  // namespace vorl::web::detail
