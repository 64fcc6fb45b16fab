// Texts a user types or a card sends: MAC text, dotted-decimal addresses and the other entry
// rules of the library.
#include <string_view>

#include "protocol/entry_rules.h"
#include "protocol/network_records.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorl;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    uint8_t mac[kMacLength];
    if (parseMacText(text, mac)) {
        char back[kMacTextLength + 1];
        formatMacText(mac, back);
    }
    parseMacText(text, mac, false);
    isExactMacText(text);
    isValidIpText(text);
    isValidAccountText(text);
    isValidCardName(text);
    isModemPort(text);
    isModemSpeed(text);
    uint8_t value;
    readAsrState(text, value);
    readAsrMethod(text, value);
    return 0;
}
