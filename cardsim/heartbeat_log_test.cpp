#include "cardsim/heartbeat_log.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "cardsim/device_link_card.h"
#include "cardsim/sim_card.h"

namespace vorl::sim {
namespace {

// One single-packet heartbeat command as a host sends it to the card's drive E.
LinkAnswer heartbeatCommand(DeviceLinkCard& card, uint8_t opcode, uint8_t* answer) {
    const uint8_t cdb[10] = {opcode};
    return card.passThrough(1, 'E', cdb, 10, platform::DataDirection::FromDevice, answer, 4);
}

TEST(HeartbeatLogTest, CardLogsEveryHeartbeatCommandWithItsTimeAndAnswer) {
    SimOptions options;
    options.add("heartbeat-interval", "7");
    DeviceLinkConfig config;
    std::string error;
    ASSERT_TRUE(config.take(options, error)) << error;
    std::FILE* lines = std::tmpfile();
    config.heartbeatOutput = lines;  // may be null where no temporary file can be made
    SimCard simCard({}, options);
    DeviceLinkCard card(simCard, config);

    uint8_t answer[4] = {};
    ASSERT_EQ(heartbeatCommand(card, 0xE5, answer).scsiStatus, 0);
    ASSERT_EQ(heartbeatCommand(card, 0xE6, answer).scsiStatus, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(heartbeatCommand(card, 0xE6, answer).scsiStatus, 0);
    ASSERT_EQ(heartbeatCommand(card, 0xE7, answer).scsiStatus, 0);
    // Pointer packets and probes are no heartbeat.
    uint8_t packet[12] = {};
    const uint8_t mouse[10] = {0xE1};
    card.passThrough(1, 'E', mouse, 10, platform::DataDirection::FromDevice, packet, 12);

    const auto log = card.heartbeatLog();
    ASSERT_EQ(log.size(), 4u);
    const uint8_t opcodes[] = {0xE5, 0xE6, 0xE6, 0xE7};
    const uint32_t answers[] = {7, 7, 7, 0};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(log[i].opcode, opcodes[i]) << i;
        EXPECT_EQ(log[i].answer, answers[i]) << i;
        if (i > 0) {
            EXPECT_GE(log[i].atMs, log[i - 1].atMs) << i;
        }
    }
    EXPECT_GE(log[2].atMs - log[1].atMs, 20u);

    if (lines != nullptr) {
        std::rewind(lines);
        char text[256] = {};
        ASSERT_NE(std::fgets(text, sizeof text, lines), nullptr);
        EXPECT_EQ(std::string(text), "vorlsim: heartbeat 0xE5 at " + std::to_string(log[0].atMs) +
                                         " ms, answered 7\n");
        std::fclose(lines);
    }
}

TEST(HeartbeatLogTest, KeepsTheNewestRecords) {
    HeartbeatLog log(nullptr);
    for (size_t i = 0; i < HeartbeatLog::kKept + 10; ++i)
        log.record(0xE6, static_cast<uint32_t>(i));
    const auto records = log.records();
    ASSERT_EQ(records.size(), HeartbeatLog::kKept);
    EXPECT_EQ(records.front().answer, 10u);
    EXPECT_EQ(records.back().answer, HeartbeatLog::kKept + 9);
}

}  // namespace
}  // namespace vorl::sim
