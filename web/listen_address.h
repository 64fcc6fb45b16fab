#pragma once
// The --web.listen-address forms the daemons accept.
#include <string>

namespace vorl::web {

// "localhost:9577", ":9577", "0.0.0.0:9577" or "[::1]:9577" as a host to bind and a port;
// false for anything else. "localhost" and an empty host mean 127.0.0.1 and 0.0.0.0. Port 0
// (any free port) only when `anyPort` allows it.
bool parseListenAddress(const std::string& text, std::string& host, int& port,
                        bool anyPort = false);

}  // namespace vorl::web
