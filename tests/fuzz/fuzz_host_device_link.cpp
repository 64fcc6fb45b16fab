// The simulated device backend's side of the device link: the answers of a link (vorlsim, or
// anything listening where VORL_HOSTIFC points) to the pass-through requests of a drive.
#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

#include "platform/deadline.h"
#include "platform/sim_device.h"
#include "platform/sockets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorl::platform;
    FuzzedDataProvider input(data, size);
    const std::vector<uint8_t> answers = input.ConsumeBytes<uint8_t>(70000);
    TcpSocket link, host;
    if (!makeConnectedPair(link, host)) return 0;
    if (!answers.empty() && !link.sendAll(answers.data(), answers.size())) return 0;
    link.shutdownBoth();
    WaitLimitOverride shortLimit(100);
    std::unique_ptr<ScsiDevice> drive = makeSimDevice(std::move(host));
    std::vector<uint8_t> buffer(65536);
    while (input.remaining_bytes() > 0) {
        const uint8_t cdb[10] = {input.ConsumeIntegral<uint8_t>(), 0, 0, 0, 0, 1, 0, 0, 1, 0};
        const uint32_t transfer = input.ConsumeIntegralInRange<uint32_t>(0, 65537);
        const auto direction =
            input.ConsumeBool() ? DataDirection::ToDevice : DataDirection::FromDevice;
        const PassThroughResult result =
            drive->passThrough(cdb, 10, buffer.data(), transfer, direction, 120);
        if (result.refused && result.platformError != 50) break;  // the link is gone
    }
    return 0;
}
