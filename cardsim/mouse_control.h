#pragma once
// The device link's control request 'M': queues pointer packets for 0xE1 while vorlsim runs,
// so that a test can script a path for the tray program (see cardsim/README.md).
#include <cstdint>

#include "cardsim/device_link_card.h"
#include "platform/sockets.h"

namespace vorl::sim {

// Serves one 'M' request whose 28-byte head is `head` (the text follows on `socket`).
// False when the connection must end (the text could not be read or is too long).
bool serveMouseControl(DeviceLinkCard& card, platform::TcpSocket& socket, const uint8_t* head);

}  // namespace vorl::sim
