#pragma once
// The simulated device backend: the drives and the pass-through requests go over TCP to the
// device link of a simulated card (vorlsim). Chosen at run time by VORL_HOSTIFC=sim:HOST:PORT.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/scsi_device.h"
#include "platform/sockets.h"

namespace vorl::platform {

// Parses "sim:HOST:PORT" (HOST dotted-decimal IPv4). False for anything else.
bool parseSimDeviceAddress(const char* text, uint32_t& addressNetworkOrder, uint16_t& port);

// A drive over a device-link connection that already opened it (tests and fuzzing).
std::unique_ptr<ScsiDevice> makeSimDevice(TcpSocket connection);

// A backend that reaches the device link at the given address. It contacts the link only when
// asked for the device list or a device.
std::unique_ptr<DeviceBackend> makeSimDeviceBackend(uint32_t addressNetworkOrder, uint16_t port);

}  // namespace vorl::platform
