#pragma once
// How the card command library gets a host-interface transport without knowing its backend.
#include <memory>

#include "platform/scsi_device.h"
#include "wire/card_transport.h"

namespace vorl {

// The device backend a host interface gets (Win32, simulated device link, or none), chosen by
// VORL_HOSTIFC at the time of the call. For programs that use a HostInterface directly.
std::unique_ptr<platform::DeviceBackend> makeDeviceBackend();

// A new host-interface transport (not connected). The backend (Win32, simulated device link,
// or none) is chosen here, at run time.
std::unique_ptr<CardTransport> makeHostTransport();

// The drive letter of the card's CD-ROM drive behind `transport`, if it is a host-interface
// transport that found one: 0 and the letter; -1 otherwise.
int hostTransportDriveLetter(CardTransport& transport, char& letter);

}  // namespace vorl
