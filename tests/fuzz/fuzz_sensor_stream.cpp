// The card's sensor stream (answer of 0x0202): rebuilt into a tree, and written back.
#include <vector>

#include "protocol/sensor_tree.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorl;
    SensorTree tree;
    if (parseSensorStream(data, size, tree) != 0) return 0;
    std::vector<uint8_t> out(size + 4096);
    encodeSensorStream(tree, out.data(), out.size());
    for (const SensorGroup& group : tree.groups)
        for (const Sensor& sensor : group.sensors) sensorUnitText(sensor.unit);
    return 0;
}
