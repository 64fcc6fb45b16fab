#pragma once
// How the card command library gets a host-interface transport without knowing its backend.
#include <memory>

#include "wire/card_transport.h"

namespace vorl {

class HostInterface;

// A new host-interface transport (not connected). The backend (Win32, simulated device link,
// or none) is chosen here, at run time.
std::unique_ptr<CardTransport> makeHostTransport();

// The same for the programs that use the host interface directly (tray program, service).
std::unique_ptr<HostInterface> makeHostInterface();

// The drive letter of the card's CD-ROM drive behind `transport`, if it is a host-interface
// transport that found one: 0 and the letter; -1 otherwise.
int hostTransportDriveLetter(CardTransport& transport, char& letter);

}  // namespace vorl
