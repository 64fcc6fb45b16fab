// The simulated card's general settings, clock, resets and heartbeat interval.
#include "cardsim/sim_general_group.h"

#include <gtest/gtest.h>

#include <vector>

#include "cardsim/sim_card.h"
#include "protocol/general_records.h"
#include "tests/support/temp_dir.h"
#include "wire/byte_order.h"
#include "wire/command_header.h"
#include "wire/status_codes.h"

namespace vorl::sim {
namespace {

struct Answer {
    SimReply reply;
    std::vector<uint8_t> payload;
};

struct SimGeneral : ::testing::Test {
    test::TempDir state;
    SimOptions options;
    int64_t hostNow = 1'000'000'000;

    std::unique_ptr<SimCard> makeCard() {
        auto card = std::make_unique<SimCard>(state.path(), options);
        card->group<SimGeneralGroup>()->setHostClock([this] { return hostNow; });
        return card;
    }
    static Answer run(SimCard& card, uint16_t command, std::vector<uint8_t> payload = {}) {
        Answer answer;
        answer.payload.assign(CommandHeader::kMaxPayload, 0);
        answer.reply.payload = answer.payload.data();
        SimRequest request;
        request.command = command;
        request.payload = payload.data();
        request.length = static_cast<uint32_t>(payload.size());
        card.execute(request, answer.reply);
        answer.payload.resize(answer.reply.length);
        return answer;
    }
    static std::vector<uint8_t> timeRequest(int64_t seconds, uint8_t flag) {
        CardTime time;
        time.seconds = static_cast<int32_t>(seconds);
        time.rollBack = flag;
        std::vector<uint8_t> bytes(CardTime::kSize);
        time.encode(bytes.data());
        return bytes;
    }
    static int64_t timeOf(const Answer& answer) {
        CardTime time;
        time.decode(answer.payload.data());
        return time.seconds;
    }
};

TEST_F(SimGeneral, ClockRunsAndGoesBackOnlyWithTheFlagAndARestart) {
    auto card = makeCard();
    hostNow += 10;
    EXPECT_EQ(hostNow, timeOf(run(*card, 0x090B)));

    Answer refused = run(*card, 0x090A, timeRequest(hostNow - 1, 0));
    EXPECT_EQ(kStatusOutOfRange, refused.reply.status);
    EXPECT_EQ(hostNow, timeOf(run(*card, 0x090B)));

    Answer back = run(*card, 0x090A, timeRequest(hostNow - 3600, 1));
    EXPECT_EQ(0, back.reply.status);
    EXPECT_EQ(AfterReply::Restart, back.reply.after);
    hostNow += 5;
    EXPECT_EQ(hostNow - 3600, timeOf(run(*card, 0x090B)));

    Answer forward = run(*card, 0x090A, timeRequest(hostNow + 60, 0));
    EXPECT_EQ(0, forward.reply.status);
    EXPECT_EQ(AfterReply::Nothing, forward.reply.after);

    // The clock is no configuration: neither a reset to defaults nor a new start loses it.
    card->restart(true);
    EXPECT_EQ(hostNow + 60, timeOf(run(*card, 0x090B)));
    card = makeCard();
    EXPECT_EQ(hostNow + 60, timeOf(run(*card, 0x090B)));
}

TEST_F(SimGeneral, ResetsRestartTheCard) {
    auto card = makeCard();
    EXPECT_EQ(AfterReply::Restart, run(*card, 0x0900).reply.after);
    EXPECT_EQ(AfterReply::RestartWithDefaults, run(*card, 0x0901).reply.after);
    EXPECT_EQ(32, run(*card, 0x0902).reply.status);
}

TEST_F(SimGeneral, SettingsPersistUntilDefaultsAreRestored) {
    auto card = makeCard();
    std::vector<uint8_t> interval(4);
    putBe32(interval.data(), 600);
    EXPECT_EQ(0, run(*card, 0x0A01, interval).reply.status);
    std::vector<uint8_t> name(256, 0);
    name.assign(256, 'n');  // a full field: the card keeps 255 characters
    EXPECT_EQ(0, run(*card, 0x0906, name).reply.status);
    EXPECT_EQ(kStatusInvalidArgument, run(*card, 0x0906, {'x'}).reply.status);
    putBe32(interval.data(), 0);
    EXPECT_EQ(kStatusOutOfRange, run(*card, 0x0A01, interval).reply.status);

    card = makeCard();
    EXPECT_EQ(600u, getBe32(run(*card, 0x0A00).payload.data()));
    const Answer named = run(*card, 0x0907);
    EXPECT_EQ(256u, named.payload.size());
    EXPECT_EQ(std::string(255, 'n'), std::string(named.payload.begin(), named.payload.end() - 1));

    card->restart(true);
    EXPECT_EQ(240u, getBe32(run(*card, 0x0A00).payload.data()));
    EXPECT_EQ("VORL",
              std::string(reinterpret_cast<const char*>(run(*card, 0x0907).payload.data())));
}

}  // namespace
}  // namespace vorl::sim
