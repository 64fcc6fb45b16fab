#pragma once
// The sensor readings of 0x0202: a tree (top-level items, sensor groups, their sensors and the
// sensors' items) that travels as a stream of fixed-size big-endian records chained by link
// words. parseSensorStream rebuilds the tree; encodeSensorStream writes it (the simulated card).
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vorl {

// A reading of 0x80000000 means the card could not read the sensor.
constexpr int32_t kSensorReadingFailed = INT32_MIN;

// Item record, 26 bytes (link at 22).
struct SensorItem {
    static constexpr size_t kSize = 26;
    uint16_t number0 = 0;
    uint8_t raw2[2] = {};
    uint16_t number4 = 0;
    uint8_t raw6[4] = {};
    uint32_t number10 = 0;
    uint32_t number14 = 0;
    uint32_t number18 = 0;
};

// Sensor record, 118 bytes (item link at 110, next-sensor link at 114).
struct Sensor {
    static constexpr size_t kSize = 118;
    static constexpr size_t kNameSize = 32;
    uint16_t number0 = 0;
    uint32_t number2 = 0;
    char name[kNameSize] = {};
    uint32_t number38 = 0;
    uint16_t number42 = 0;
    uint16_t number44 = 0;
    uint32_t number46 = 0;
    uint32_t number50 = 0;
    uint8_t byte54 = 0;
    uint32_t numbers55[4] = {};
    uint16_t number71 = 0;
    uint16_t number73 = 0;
    int32_t reading = 0;
    uint32_t numbers79[7] = {};
    uint16_t number107 = 0;
    uint8_t unit = 0;
    std::vector<SensorItem> items;
};

// Sensor-group record, 48 bytes (sensor link at 40, next-group link at 44).
struct SensorGroup {
    static constexpr size_t kSize = 48;
    static constexpr size_t kNameSize = 32;
    uint16_t number0 = 0;
    uint32_t number2 = 0;
    char name[kNameSize] = {};
    uint16_t number38 = 0;
    std::vector<Sensor> sensors;
};

struct SensorTree {
    static constexpr size_t kHeaderSize = 56;  // items link at 48, groups link at 52
    uint8_t header[48] = {};                   // not interpreted
    std::vector<SensorItem> items;
    std::vector<SensorGroup> groups;
};

// Rebuilds `tree` from `length` bytes of stream. Every record is checked to lie within the
// stream before it is read: a stream that ends before an announced record returns 30 and
// leaves `tree` empty. Returns 0 otherwise (bytes after the last record are ignored).
int parseSensorStream(const uint8_t* data, size_t length, SensorTree& tree);

// Writes `tree` as a stream into `out`. Returns the number of bytes, or 0 when it does not fit
// in `capacity`.
size_t encodeSensorStream(const SensorTree& tree, uint8_t* out, size_t capacity);

// The unit text of a sensor's unit code; "Unrecognized" for codes without one.
const char* sensorUnitText(uint8_t code);

}  // namespace vorl
