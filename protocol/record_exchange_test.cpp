// Every fixed-size getter follows one rule: it reads the answer only when the status is 0 and
// the answer holds the whole record; a shorter "success" is 33. Either way a refused answer
// leaves the caller's record as it was.
#include "protocol/record_exchange.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <type_traits>

#include "firmware/flash_records.h"
#include "protocol/advanced_records.h"
#include "protocol/event_log_records.h"
#include "protocol/general_records.h"
#include "protocol/network_records.h"
#include "tests/support/fake_session.h"

namespace vorl {
namespace {

struct Getter {
    const char* name;
    size_t answerSize;
    // Calls the getter on a value whose bytes are all 0x5A; `untouched` tells whether they
    // still are afterwards.
    std::function<int(CardSession&, bool& untouched)> call;
};

template <class Value>
Getter getter(const char* name, size_t answerSize, int (*call)(CardSession&, Value&)) {
    static_assert(std::is_trivially_copyable_v<Value>);
    return {name, answerSize, [call](CardSession& session, bool& untouched) {
                Value value;
                std::memset(static_cast<void*>(&value), 0x5A, sizeof value);
                Value before;
                std::memcpy(static_cast<void*>(&before), &value, sizeof value);
                const int status = call(session, value);
                untouched = std::memcmp(&before, &value, sizeof value) == 0;
                return status;
            }};
}

std::vector<Getter> fixedSizeGetters() {
    return {
        getter<SelInfo>("getSelInfo", SelInfo::kSize,
                        [](CardSession& s, SelInfo& v) { return s.getSelInfo(v); }),
        getter<SelRecord>("getSelEntry", SelRecord::kSize,
                          [](CardSession& s, SelRecord& v) { return s.getSelEntry(v); }),
        getter<SelRecordEx>("getSelEntryEx", SelRecordEx::kSize,
                            [](CardSession& s, SelRecordEx& v) { return s.getSelEntryEx(v); }),
        getter<uint16_t>("clearSel", 2, [](CardSession& s, uint16_t& v) { return s.clearSel(v); }),
        getter<uint8_t>("getSelPolicy", 1,
                        [](CardSession& s, uint8_t& v) { return s.getSelPolicy(v); }),
        getter<NetworkConfig>(
            "getNetworkConfig", NetworkConfig::kSize,
            [](CardSession& s, NetworkConfig& v) { return s.getNetworkConfig(v); }),
        getter<ServerInfo>("getServerInfo", ServerInfo::kSize,
                           [](CardSession& s, ServerInfo& v) { return s.getServerInfo(v); }),
        getter<SmtpConfig>("getSmtpConfig", SmtpConfig::kSize,
                           [](CardSession& s, SmtpConfig& v) { return s.getSmtpConfig(v); }),
        getter<CardTime>("getCardTime", CardTime::kSize,
                         [](CardSession& s, CardTime& v) { return s.getCardTime(v); }),
        getter<int32_t>("getHeartbeatInterval", 4,
                        [](CardSession& s, int32_t& v) { return s.getHeartbeatInterval(v); }),
        getter<CardHealth>("getCardHealth", CardHealth::kSize,
                           [](CardSession& s, CardHealth& v) { return s.getCardHealth(v); }),
        getter<PppConfig>("getPppConfig", PppConfig::kSize,
                          [](CardSession& s, PppConfig& v) { return s.getPppConfig(v); }),
        getter<ModemConfig>("getModemConfig", ModemConfig::kSize,
                            [](CardSession& s, ModemConfig& v) { return s.getModemConfig(v); }),
        getter<AsrConfig>("getAsrConfig", AsrConfig::kSize,
                          [](CardSession& s, AsrConfig& v) { return s.getAsrConfig(v); }),
        getter<uint8_t>("getI2cAddress", 1,
                        [](CardSession& s, uint8_t& v) { return s.getI2cAddress(v); }),
        getter<IpmiConfig>("getIpmiConfig", IpmiConfig::kSize,
                           [](CardSession& s, IpmiConfig& v) { return s.getIpmiConfig(v); }),
        getter<SectionInfo>("getSectionInfo", SectionInfo::kSize,
                            [](CardSession& s, SectionInfo& v) { return s.getSectionInfo(v); }),
        getter<uint8_t>("getCardMode", 1,
                        [](CardSession& s, uint8_t& v) { return s.getCardMode(v); }),
    };
}

using RecordRule = test::FakeSessionTest;

TEST_F(RecordRule, AFailureOrAShortSuccessLeavesTheRecordAloneAWholeAnswerFillsIt) {
    for (const Getter& g : fixedSizeGetters()) {
        SCOPED_TRACE(g.name);
        const std::vector<uint8_t> whole(g.answerSize, 0x01);
        bool untouched = false;

        fake->queue(16, whole);  // the card refuses, yet sends a whole record
        EXPECT_EQ(16, g.call(*session, untouched));
        EXPECT_TRUE(untouched);

        fake->queue(0, std::vector<uint8_t>(g.answerSize - 1, 0x01));
        EXPECT_EQ(33, g.call(*session, untouched));
        EXPECT_TRUE(untouched);

        fake->queue(0, whole);
        EXPECT_EQ(0, g.call(*session, untouched));
        EXPECT_FALSE(untouched);
    }
}

}  // namespace
}  // namespace vorl
