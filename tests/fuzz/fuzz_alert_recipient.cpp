// The key/value pairs of an alert recipient as the card answers them (0x040F).
#include "protocol/event_log_records.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorl;
    AlertRecipient recipient;
    recipient_pairs::parse(data, size, recipient);
    uint8_t out[recipient_pairs::kSize];
    recipient_pairs::build(recipient, out);
    return 0;
}
