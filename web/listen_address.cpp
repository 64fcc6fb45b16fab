#include "web/listen_address.h"

namespace vorl::web {

bool parseListenAddress(const std::string& text, std::string& host, int& port, bool anyPort) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon + 1 >= text.size() || text.size() - colon > 6)
        return false;
    port = 0;
    for (size_t i = colon + 1; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        port = port * 10 + (text[i] - '0');
    }
    if ((port < 1 && !(anyPort && port == 0)) || port > 65535) return false;
    host = text.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    else if (host.find(':') != std::string::npos)
        return false;  // an IPv6 address needs its brackets
    if (host.empty()) host = "0.0.0.0";
    if (host == "localhost") host = "127.0.0.1";
    return true;
}

}  // namespace vorl::web
