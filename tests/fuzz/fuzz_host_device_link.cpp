// The simulated device backend's side of the device link: the answers of a link (vorlsim, or
// anything listening where VORL_HOSTIFC points) to the pass-through requests of a drive.
//
// Input: the link's answers as one stream, then the requests, read from the end: a count (1 to
// 32), then per request its opcode, transfer size (0 to one past the largest, 3 bytes) and
// direction. make_seeds.py writes sessions captured from vorlsim in this form.
#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

#include "platform/deadline.h"
#include "platform/device_link_wire.h"
#include "platform/sim_device.h"
#include "platform/sockets.h"
#include "tests/fuzz/far_end.h"

namespace {
using namespace vorl::platform;

struct Request {
    uint8_t opcode;
    uint32_t transfer;
    DataDirection direction;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    std::vector<Request> requests(input.ConsumeIntegralInRange<uint8_t>(1, 32));
    for (Request& request : requests) {
        request.opcode = input.ConsumeIntegral<uint8_t>();
        request.transfer = input.ConsumeIntegralInRange<uint32_t>(0, devlink::kMaxTransfer + 1);
        request.direction =
            input.ConsumeBool() ? DataDirection::FromDevice : DataDirection::ToDevice;
    }
    vorl::fuzz::FarEnd link;
    TcpSocket host;
    if (!link.connect(host)) return 0;
    // Once the answers are used up the drive reads the link's end at once, never the limit.
    link.sendThenStop(input.ConsumeRemainingBytes<uint8_t>());
    WaitLimitOverride shortLimit(100);
    std::unique_ptr<ScsiDevice> drive = makeSimDevice(std::move(host));
    for (const Request& request : requests) {
        const uint8_t cdb[10] = {request.opcode, 0, 0, 0, 0, 1, 0, 0, 1, 0};
        // Exactly the transfer's size, as the callers' buffers are: a byte past it is a fault.
        std::vector<uint8_t> buffer(request.transfer);
        drive->passThrough(cdb, 10, buffer.data(), request.transfer, request.direction, 120);
        link.drain();  // the link's side never fills, whatever was sent to the device
    }
    return 0;
}
