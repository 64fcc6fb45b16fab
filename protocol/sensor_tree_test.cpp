// The sensor stream: record order, links, truncation, units; and readSensors around it.
#include "protocol/sensor_tree.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "protocol/card_session.h"
#include "tests/support/fake_transport.h"

namespace vorl {
namespace {

// Builds a stream record by record, the way a card lays it out.
struct StreamBuilder {
    std::vector<uint8_t> bytes;
    uint8_t* add(size_t size) {
        bytes.resize(bytes.size() + size, 0);
        return bytes.data() + bytes.size() - size;
    }
    static void be32(uint8_t* p, uint32_t v) {
        for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
    }
    void header(bool items, bool groups) {
        uint8_t* h = add(56);
        be32(h + 48, items ? 0x1000 : 0);
        be32(h + 52, groups ? 0xABCD : 0);
    }
    void item(uint16_t first, bool more) {
        uint8_t* r = add(26);
        r[0] = static_cast<uint8_t>(first >> 8), r[1] = static_cast<uint8_t>(first);
        be32(r + 22, more ? 7 : 0);
    }
    void group(const char* name, bool sensors, bool more) {
        uint8_t* r = add(48);
        std::memcpy(r + 6, name, std::strlen(name));
        be32(r + 40, sensors ? 1 : 0);
        be32(r + 44, more ? 1 : 0);
    }
    void sensor(const char* name, uint32_t reading, uint8_t unit, bool items, bool more) {
        uint8_t* r = add(118);
        std::memcpy(r + 6, name, std::strlen(name));
        be32(r + 75, reading);
        r[109] = unit;
        be32(r + 110, items ? 1 : 0);
        be32(r + 114, more ? 0x80000000u : 0);
    }
};

// One top-level item; two groups, the first with two sensors of which the first has one item;
// the second group with one sensor.
StreamBuilder documentedStream() {
    StreamBuilder s;
    s.header(true, true);
    s.item(0x0102, false);
    s.group("Voltages", true, true);
    s.group("Fans", true, false);
    s.sensor("CPU core", 1200, 4, true, true);
    s.sensor("CPU temp", 0x80000000u, 1, false, false);
    s.item(0x0A0B, false);
    s.sensor("Fan 1", 3000, 18, false, false);
    return s;
}

TEST(SensorStream, BothHeaderLinksZeroHasNothing) {
    StreamBuilder s;
    s.header(false, false);
    SensorTree tree;
    ASSERT_EQ(0, parseSensorStream(s.bytes.data(), s.bytes.size(), tree));
    EXPECT_TRUE(tree.items.empty());
    EXPECT_TRUE(tree.groups.empty());
}

TEST(SensorStream, DocumentedOrderRebuildsTheTree) {
    const StreamBuilder s = documentedStream();
    SensorTree tree;
    ASSERT_EQ(0, parseSensorStream(s.bytes.data(), s.bytes.size(), tree));
    ASSERT_EQ(1u, tree.items.size());
    EXPECT_EQ(0x0102, tree.items[0].number0);
    ASSERT_EQ(2u, tree.groups.size());
    EXPECT_STREQ("Voltages", tree.groups[0].name);
    EXPECT_STREQ("Fans", tree.groups[1].name);
    ASSERT_EQ(2u, tree.groups[0].sensors.size());
    const Sensor& core = tree.groups[0].sensors[0];
    EXPECT_STREQ("CPU core", core.name);
    EXPECT_EQ(1200, core.reading);
    EXPECT_EQ(4, core.unit);
    ASSERT_EQ(1u, core.items.size());
    EXPECT_EQ(0x0A0B, core.items[0].number0);
    EXPECT_EQ(kSensorReadingFailed, tree.groups[0].sensors[1].reading);
    EXPECT_TRUE(tree.groups[0].sensors[1].items.empty());
    ASSERT_EQ(1u, tree.groups[1].sensors.size());
    EXPECT_STREQ("Fan 1", tree.groups[1].sensors[0].name);
}

TEST(SensorStream, EncodingReproducesTheCardsLayout) {
    const StreamBuilder s = documentedStream();
    SensorTree tree;
    ASSERT_EQ(0, parseSensorStream(s.bytes.data(), s.bytes.size(), tree));
    std::vector<uint8_t> out(4096);
    const size_t written = encodeSensorStream(tree, out.data(), out.size());
    ASSERT_EQ(s.bytes.size(), written);
    SensorTree again;
    ASSERT_EQ(0, parseSensorStream(out.data(), written, again));
    EXPECT_STREQ("Fan 1", again.groups[1].sensors[0].name);
    EXPECT_EQ(0u, encodeSensorStream(tree, out.data(), written - 1));
}

TEST(SensorStream, EveryTruncationIsAGeneralErrorWithNothingKept) {
    const StreamBuilder s = documentedStream();
    for (size_t cut = 0; cut < s.bytes.size(); ++cut) {
        // A copy of exactly `cut` bytes, so a read past the end is caught by the sanitizer.
        std::vector<uint8_t> truncated(s.bytes.begin(), s.bytes.begin() + cut);
        SensorTree tree;
        ASSERT_EQ(30, parseSensorStream(truncated.data(), truncated.size(), tree)) << cut;
        EXPECT_TRUE(tree.groups.empty());
        EXPECT_TRUE(tree.items.empty());
    }
}

TEST(SensorStream, UnitTexts) {
    EXPECT_STREQ("milli Degrees C", sensorUnitText(1));
    EXPECT_STREQ("milli Volts", sensorUnitText(4));
    EXPECT_STREQ("Unrecognized", sensorUnitText(7));
    EXPECT_STREQ("RPM", sensorUnitText(18));
    EXPECT_STREQ("ok/cancel", sensorUnitText(103));
    EXPECT_STREQ("Unrecognized", sensorUnitText(0));
    EXPECT_STREQ("Unrecognized", sensorUnitText(255));
}

struct ReadSensorsFixture : ::testing::Test {
    test::FakeTransport* fake = nullptr;
    std::unique_ptr<CardSession> session;
    std::vector<uint8_t> buffer = std::vector<uint8_t>(CardSession::MaxPayload);
    void SetUp() override {
        auto transport = std::make_unique<test::FakeTransport>();
        fake = transport.get();
        session = std::make_unique<CardSession>(std::move(transport));
    }
    int read(SensorTree& tree) {
        return session->readSensors(buffer.data(), static_cast<uint32_t>(buffer.size()), tree);
    }
};

TEST_F(ReadSensorsFixture, EmptyFailedAndTruncatedAnswers) {
    SensorTree tree;
    fake->queue(0);
    EXPECT_EQ(30, read(tree));
    fake->queue(23);
    EXPECT_EQ(23, read(tree));
    StreamBuilder s = documentedStream();
    s.bytes.resize(s.bytes.size() - 1);
    fake->queue(0, s.bytes);
    EXPECT_EQ(30, read(tree));
    EXPECT_TRUE(tree.groups.empty());
    fake->queue(0, documentedStream().bytes);
    EXPECT_EQ(0, read(tree));
    EXPECT_EQ(2u, tree.groups.size());
    EXPECT_EQ(0x0202, fake->requests.back().command);
}

}  // namespace
}  // namespace vorl
