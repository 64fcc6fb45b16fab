#include "cardsim/mouse_control.h"

#include <string>

#include "platform/device_link_wire.h"
#include "wire/byte_order.h"

namespace vorl::sim {

namespace wire = platform::devlink;

bool serveMouseControl(DeviceLinkCard& card, platform::TcpSocket& socket, const uint8_t* head) {
    const uint32_t length = getLe32(head + 20);
    // A length beyond the limit leaves the stream out of step: the connection ends, and the
    // peer learns it at once rather than waiting for an answer.
    if (length > wire::kMaxTransfer) {
        socket.shutdownBoth();
        return false;
    }
    std::string text(length, '\0');
    if (length > 0 && !socket.receiveAll(text.data(), length)) return false;
    uint32_t queued = 0;
    const bool taken = card.queueMousePackets(text, queued);
    uint8_t answer[wire::kAnswerHeadSize] = {};
    answer[0] = taken ? wire::kResultDone : wire::kResultRefused;
    putLe32(answer + 4, queued);
    return socket.sendAll(answer, sizeof answer);
}

}  // namespace vorl::sim
