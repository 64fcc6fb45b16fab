#include "redfish/multipart.h"

#include <cctype>

namespace vorl::redfish {
namespace {

bool sameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// The parameter `key` of a header value ("form-data; name=\"x\"; filename=y"); false when
// absent or when the parameters are malformed (no "=", an unterminated quote).
bool parameter(std::string_view value, std::string_view key, std::string& out) {
    size_t at = value.find(';');
    while (at != std::string_view::npos && at < value.size()) {
        ++at;  // past the ';'
        const size_t equals = value.find('=', at);
        if (equals == std::string_view::npos) return false;
        const std::string_view name = trim(value.substr(at, equals - at));
        size_t pos = equals + 1;
        while (pos < value.size() && (value[pos] == ' ' || value[pos] == '\t')) ++pos;
        std::string_view text;
        if (pos < value.size() && value[pos] == '"') {
            const size_t close = value.find('"', pos + 1);
            if (close == std::string_view::npos) return false;
            text = value.substr(pos + 1, close - pos - 1);
            at = value.find(';', close);
        } else {
            at = value.find(';', pos);
            text = trim(value.substr(pos, at == std::string_view::npos ? at : at - pos));
        }
        if (sameText(name, key)) {
            out.assign(text);
            return true;
        }
    }
    return false;
}

// Reads one part's header lines up to the empty line; false with `error`.
bool readHeaders(std::string_view head, MultipartPart& part, std::string& error) {
    bool disposition = false;
    while (!head.empty()) {
        const size_t end = head.find("\r\n");
        const std::string_view line = head.substr(0, end);
        head = end == std::string_view::npos ? std::string_view() : head.substr(end + 2);
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0) {
            error = "a part's header line has no name";
            return false;
        }
        const std::string_view name = line.substr(0, colon);
        const std::string_view value = trim(line.substr(colon + 1));
        if (sameText(name, "Content-Disposition")) {
            if (!sameText(trim(value.substr(0, value.find(';'))), "form-data") ||
                !parameter(value, "name", part.name) || part.name.empty()) {
                error = "a part's Content-Disposition is not form-data with a name";
                return false;
            }
            parameter(value, "filename", part.filename);
            disposition = true;
        } else if (sameText(name, "Content-Type")) {
            part.contentType.assign(trim(value.substr(0, value.find(';'))));
        }
    }
    if (!disposition) error = "a part has no Content-Disposition";
    return disposition;
}

}  // namespace

bool parseMultipart(std::string_view contentType, std::string_view body,
                    std::vector<MultipartPart>& parts, std::string& error) {
    parts.clear();
    std::string boundary;
    if (!sameText(trim(contentType.substr(0, contentType.find(';'))), "multipart/form-data")) {
        error = "the Content-Type is not multipart/form-data";
        return false;
    }
    if (!parameter(contentType, "boundary", boundary) || boundary.empty() || boundary.size() > 70) {
        error = "no boundary of 1 to 70 characters in the Content-Type";
        return false;
    }
    const std::string delimiter = "--" + boundary;
    // The first delimiter starts the body or follows a preamble line.
    const bool atStart = body.substr(0, delimiter.size()) == delimiter;
    size_t at = atStart ? 0 : body.find("\r\n" + delimiter);
    if (at == std::string_view::npos) {
        error = "the body holds no boundary";
        return false;
    }
    at += atStart ? delimiter.size() : delimiter.size() + 2;
    const std::string next = "\r\n" + delimiter;
    for (;;) {
        if (body.substr(at, 2) == "--") {
            if (parts.empty()) error = "the body holds no parts";
            return !parts.empty();
        }
        if (body.substr(at, 2) != "\r\n") {
            error = "a boundary is not followed by a line end";
            return false;
        }
        at += 2;
        if (parts.size() == kMaxParts) {
            error = "more than " + std::to_string(kMaxParts) + " parts";
            return false;
        }
        const size_t headEnd = body.find("\r\n\r\n", at);
        // Headers may be empty: the blank line then comes at once.
        const bool noHeaders = body.substr(at, 2) == "\r\n";
        if (!noHeaders && (headEnd == std::string_view::npos || headEnd - at > kMaxPartHeader)) {
            error =
                "a part's headers do not end within " + std::to_string(kMaxPartHeader) + " bytes";
            return false;
        }
        MultipartPart part;
        if (!readHeaders(noHeaders ? std::string_view() : body.substr(at, headEnd - at), part,
                         error))
            return false;
        const size_t start = noHeaders ? at + 2 : headEnd + 4;
        const size_t end = body.find(next, start);
        if (end == std::string_view::npos) {
            error = "a part is not closed by the boundary";
            return false;
        }
        part.body = body.substr(start, end - start);
        parts.push_back(std::move(part));
        at = end + next.size();
    }
}

}  // namespace vorl::redfish
