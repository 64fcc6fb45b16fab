#pragma once
// SimpleUpdate's ImageURI fetched into an image file of the service: a plain HTTP or HTTPS GET
// (the server's certificate checked against the system's authorities) bounded in time and size,
// or a file:// path inside the one folder the configuration allows.
#include <chrono>
#include <string>

namespace vorl::redfish {

class ImageFile;

struct DownloadLimits {
    std::chrono::milliseconds timeout{60000};  // the whole transfer: connection, request, body
    size_t maxBytes = 0;                       // a longer body is refused
    std::string fileDir;                       // file:// only inside it; empty: file:// refused
    std::string user, password;                // sent with Basic authentication when user is set
};

// Fetches `uri` into `out`: empty, or what went wrong ("the server answered 404", ...).
std::string fetchImage(const std::string& uri, const DownloadLimits& limits, ImageFile& out);

}  // namespace vorl::redfish
