#pragma once
// The wire format of the simulated card's device link (served by vorlsim, spoken by the
// simulated device backend). Every integer is little-endian. See cardsim/README.md.
//
// Request: a 28-byte head, then `size` data bytes for a pass-through to the device.
//   0  op           'L' device list, 'O' open a drive, 'P' pass-through, 'S' statistics,
//                   'M' queue pointer packets (vorlsim's control, see cardsim/README.md)
//   1  drive        drive letter for 'O', else 0
//   2  direction    0 to the device, 1 from the device ('P')
//   3  cdb length   1..16 ('P')
//   4  cdb          16 bytes, unused bytes zero
//   20 size         u32 transfer size ('P') or text length ('M'), at most kMaxTransfer
//   24 timeout      u32 seconds ('P')
// Answer: a 12-byte head, then `data length` bytes.
//   0  result       0 done, 1 refused (no such drive, not open, pass-through refused)
//   1  scsi status  'P': the device's status (0 good)
//   2  reserved     0
//   4  moved        u32 'P': bytes the device moved (at most size)
//   8  data length  u32: 'L' the list, 'S' the text, 'P' from the device: the moved bytes
// The 'L' data is a sequence of "NAME\0TARGET\0" pairs. A connection that opened a drive
// with 'O' sends its pass-through requests to that drive until it closes.
#include <cstdint>

namespace vorl::platform::devlink {

constexpr uint32_t kRequestHeadSize = 28;
constexpr uint32_t kAnswerHeadSize = 12;
constexpr uint32_t kMaxTransfer = 65536;
constexpr uint32_t kMaxListData = 1024 * 1024;
constexpr uint16_t kDefaultPort = 6578;

constexpr uint8_t kOpList = 'L';
constexpr uint8_t kOpOpen = 'O';
constexpr uint8_t kOpPassThrough = 'P';
constexpr uint8_t kOpStatistics = 'S';
constexpr uint8_t kOpQueueMouse = 'M';

constexpr uint8_t kResultDone = 0;
constexpr uint8_t kResultRefused = 1;

}  // namespace vorl::platform::devlink
