#include "protocol/sensor_tree.h"

#include <cstring>

#include "wire/byte_order.h"
#include "wire/status_codes.h"

namespace vorl {
namespace {

// Reads records off the stream in order; every take() checks that the record fits.
class StreamReader {
public:
    StreamReader(const uint8_t* data, size_t length) : data_(data), length_(length) {}
    // The next `size` bytes, or nullptr when the stream ends before them.
    const uint8_t* take(size_t size) {
        if (length_ - position_ < size) return nullptr;
        const uint8_t* record = data_ + position_;
        position_ += size;
        return record;
    }

private:
    const uint8_t* data_;
    size_t length_;
    size_t position_ = 0;
};

bool linked(const uint8_t* link) {
    return getBe32(link) != 0;
}

void decodeItem(const uint8_t* in, SensorItem& item) {
    item.number0 = getBe16(in);
    std::memcpy(item.raw2, in + 2, 2);
    item.number4 = getBe16(in + 4);
    std::memcpy(item.raw6, in + 6, 4);
    item.number10 = getBe32(in + 10);
    item.number14 = getBe32(in + 14);
    item.number18 = getBe32(in + 18);
}

void encodeItem(const SensorItem& item, bool more, uint8_t* out) {
    putBe16(out, item.number0);
    std::memcpy(out + 2, item.raw2, 2);
    putBe16(out + 4, item.number4);
    std::memcpy(out + 6, item.raw6, 4);
    putBe32(out + 10, item.number10);
    putBe32(out + 14, item.number14);
    putBe32(out + 18, item.number18);
    putBe32(out + 22, more ? 1 : 0);
}

void decodeSensor(const uint8_t* in, Sensor& sensor) {
    sensor.number0 = getBe16(in);
    sensor.number2 = getBe32(in + 2);
    std::memcpy(sensor.name, in + 6, Sensor::kNameSize);
    sensor.number38 = getBe32(in + 38);
    sensor.number42 = getBe16(in + 42);
    sensor.number44 = getBe16(in + 44);
    sensor.number46 = getBe32(in + 46);
    sensor.number50 = getBe32(in + 50);
    sensor.byte54 = in[54];
    for (int i = 0; i < 4; ++i) sensor.numbers55[i] = getBe32(in + 55 + 4 * i);
    sensor.number71 = getBe16(in + 71);
    sensor.number73 = getBe16(in + 73);
    sensor.reading = static_cast<int32_t>(getBe32(in + 75));
    for (int i = 0; i < 7; ++i) sensor.numbers79[i] = getBe32(in + 79 + 4 * i);
    sensor.number107 = getBe16(in + 107);
    sensor.unit = in[109];
}

void encodeSensor(const Sensor& sensor, bool more, uint8_t* out) {
    putBe16(out, sensor.number0);
    putBe32(out + 2, sensor.number2);
    std::memcpy(out + 6, sensor.name, Sensor::kNameSize);
    putBe32(out + 38, sensor.number38);
    putBe16(out + 42, sensor.number42);
    putBe16(out + 44, sensor.number44);
    putBe32(out + 46, sensor.number46);
    putBe32(out + 50, sensor.number50);
    out[54] = sensor.byte54;
    for (int i = 0; i < 4; ++i) putBe32(out + 55 + 4 * i, sensor.numbers55[i]);
    putBe16(out + 71, sensor.number71);
    putBe16(out + 73, sensor.number73);
    putBe32(out + 75, static_cast<uint32_t>(sensor.reading));
    for (int i = 0; i < 7; ++i) putBe32(out + 79 + 4 * i, sensor.numbers79[i]);
    putBe16(out + 107, sensor.number107);
    out[109] = sensor.unit;
    putBe32(out + 110, sensor.items.empty() ? 0 : 1);
    putBe32(out + 114, more ? 1 : 0);
}

void decodeGroup(const uint8_t* in, SensorGroup& group) {
    group.number0 = getBe16(in);
    group.number2 = getBe32(in + 2);
    std::memcpy(group.name, in + 6, SensorGroup::kNameSize);
    group.number38 = getBe16(in + 38);
}

void encodeGroup(const SensorGroup& group, bool more, uint8_t* out) {
    putBe16(out, group.number0);
    putBe32(out + 2, group.number2);
    std::memcpy(out + 6, group.name, SensorGroup::kNameSize);
    putBe16(out + 38, group.number38);
    putBe32(out + 40, group.sensors.empty() ? 0 : 1);
    putBe32(out + 44, more ? 1 : 0);
}

// Reads a chain of items; false when the stream ends inside it.
bool readItems(StreamReader& reader, std::vector<SensorItem>& items) {
    for (;;) {
        const uint8_t* record = reader.take(SensorItem::kSize);
        if (!record) return false;
        items.emplace_back();
        decodeItem(record, items.back());
        if (!linked(record + 22)) return true;
    }
}

bool readGroupSensors(StreamReader& reader, SensorGroup& group) {
    std::vector<bool> hasItems;
    for (;;) {
        const uint8_t* record = reader.take(Sensor::kSize);
        if (!record) return false;
        group.sensors.emplace_back();
        decodeSensor(record, group.sensors.back());
        hasItems.push_back(linked(record + 110));
        if (!linked(record + 114)) break;
    }
    for (size_t i = 0; i < group.sensors.size(); ++i) {
        if (hasItems[i] && !readItems(reader, group.sensors[i].items)) return false;
    }
    return true;
}

bool readStream(StreamReader& reader, SensorTree& tree) {
    const uint8_t* header = reader.take(SensorTree::kHeaderSize);
    if (!header) return false;
    std::memcpy(tree.header, header, sizeof tree.header);
    if (linked(header + 48) && !readItems(reader, tree.items)) return false;
    if (!linked(header + 52)) return true;

    std::vector<bool> hasSensors;
    for (;;) {
        const uint8_t* record = reader.take(SensorGroup::kSize);
        if (!record) return false;
        tree.groups.emplace_back();
        decodeGroup(record, tree.groups.back());
        hasSensors.push_back(linked(record + 40));
        if (!linked(record + 44)) break;
    }
    for (size_t i = 0; i < tree.groups.size(); ++i) {
        if (hasSensors[i] && !readGroupSensors(reader, tree.groups[i])) return false;
    }
    return true;
}

// Appends records to `out` while they fit.
class StreamWriter {
public:
    StreamWriter(uint8_t* out, size_t capacity) : out_(out), capacity_(capacity) {}
    uint8_t* next(size_t size) {
        if (failed_ || capacity_ - position_ < size) {
            failed_ = true;
            return nullptr;
        }
        uint8_t* record = out_ + position_;
        std::memset(record, 0, size);
        position_ += size;
        return record;
    }
    size_t written() const { return failed_ ? 0 : position_; }

private:
    uint8_t* out_;
    size_t capacity_;
    size_t position_ = 0;
    bool failed_ = false;
};

void writeItems(StreamWriter& writer, const std::vector<SensorItem>& items) {
    for (size_t i = 0; i < items.size(); ++i) {
        if (uint8_t* out = writer.next(SensorItem::kSize))
            encodeItem(items[i], i + 1 < items.size(), out);
    }
}

}  // namespace

int parseSensorStream(const uint8_t* data, size_t length, SensorTree& tree) {
    tree = SensorTree{};
    StreamReader reader(data, length);
    if (readStream(reader, tree)) return kStatusSuccess;
    tree = SensorTree{};
    return kStatusGeneralError;
}

size_t encodeSensorStream(const SensorTree& tree, uint8_t* out, size_t capacity) {
    StreamWriter writer(out, capacity);
    if (uint8_t* header = writer.next(SensorTree::kHeaderSize)) {
        std::memcpy(header, tree.header, sizeof tree.header);
        putBe32(header + 48, tree.items.empty() ? 0 : 1);
        putBe32(header + 52, tree.groups.empty() ? 0 : 1);
    }
    writeItems(writer, tree.items);
    for (size_t g = 0; g < tree.groups.size(); ++g) {
        if (uint8_t* record = writer.next(SensorGroup::kSize))
            encodeGroup(tree.groups[g], g + 1 < tree.groups.size(), record);
    }
    for (const SensorGroup& group : tree.groups) {
        for (size_t s = 0; s < group.sensors.size(); ++s) {
            if (uint8_t* record = writer.next(Sensor::kSize))
                encodeSensor(group.sensors[s], s + 1 < group.sensors.size(), record);
        }
        for (const Sensor& sensor : group.sensors) writeItems(writer, sensor.items);
    }
    return writer.written();
}

const char* sensorUnitText(uint8_t code) {
    struct Unit {
        uint8_t code;
        const char* text;
    };
    static constexpr Unit kUnits[] = {
        {1, "milli Degrees C"},
        {2, "milli Degrees F"},
        {3, "K"},
        {4, "milli Volts"},
        {5, "Amps"},
        {6, "Watts"},
        {9, "VA"},
        {17, "CFM"},
        {18, "RPM"},
        {19, "Hz"},
        {20, "microseconds"},
        {21, "milliseconds"},
        {22, "seconds"},
        {23, "minutes"},
        {24, "hours"},
        {25, "days"},
        {26, "weeks"},
        {41, "revolutions"},
        {42, "cycles"},
        {54, "ohms"},
        {66, "bits"},
        {67, "kilobits"},
        {68, "megabits"},
        {69, "gigabits"},
        {70, "bytes"},
        {71, "kilobytes"},
        {72, "megabytes"},
        {73, "gigabytes"},
        {74, "words"},
        {75, "dwords"},
        {76, "qwords"},
        {101, "enable/disable"},
        {102, "yes/no"},
        {103, "ok/cancel"},
    };
    for (const Unit& unit : kUnits)
        if (unit.code == code) return unit.text;
    return "Unrecognized";
}

}  // namespace vorl
