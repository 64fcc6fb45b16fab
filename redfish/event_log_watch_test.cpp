// The card watch against a simulated card: each new event-log entry published once, also when
// it is just like the one before it, after the log was cleared or an older record deleted, and
// after a restart; a sensor that fails and one that reads again; a card lost.
#include "redfish/event_log_watch.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "protocol/card_session.h"
#include "protocol/event_log_records.h"
#include "protocol/network_transport.h"
#include "redfish/service_state.h"
#include "tests/support/live_card.h"
#include "tests/support/temp_dir.h"

namespace vorl::redfish {
namespace {

using namespace std::chrono_literals;

class Recorder : public EventSink {
public:
    void publish(ServiceEvent event) override {
        std::lock_guard<std::mutex> guard(mutex_);
        events_.push_back(event.key + " " + event.origin);
    }
    std::vector<std::string> take() {
        std::lock_guard<std::mutex> guard(mutex_);
        return std::exchange(events_, {});
    }

private:
    std::mutex mutex_;
    std::vector<std::string> events_;
};

TEST(EventLogWatch, EachNewEntryOnceThroughClearsDeletionsAndRestarts) {
    test::LiveCard live;
    test::TempDir dir;
    ServiceState state;
    std::string error;
    ASSERT_TRUE(state.open(dir.file("state"), error)) << error;
    const uint16_t port = live.port();
    CardPool cards({{"c1", "127.0.0.2", 6577, "admin", "vorladmin"}}, [port](const CardEndpoint&) {
        return std::make_unique<NetworkTransport>("127.0.0.1", port);
    });
    CardSession session(std::make_unique<NetworkTransport>("127.0.0.1", port));
    ASSERT_EQ(0, session.connect());
    ASSERT_EQ(0, session.login("admin", "vorladmin"));
    SelRecord record;
    record.eventId = 0x0201;
    record.severity = kSeverityWarning;
    // The card stamps each record with its clock: records of one second differ by their event.
    auto add = [&](uint16_t event) {
        record.eventId = event;
        ASSERT_EQ(0, session.addSelEntry(record));
    };
    const std::string entries = "/redfish/v1/Managers/c1/LogServices/EventLog/Entries/";
    Recorder sink;
    add(0x0200);  // there before the service: not news
    {
        EventLogWatch watch(cards, state, sink, 1h, 2s);
        watch.pollAll();
        EXPECT_TRUE(sink.take().empty());
        add(0x0200);  // the same as the one before it, in the same second: still new
        add(0x0201);
        watch.pollAll();
        EXPECT_EQ(sink.take(), (std::vector<std::string>{"ResourceCreated " + entries + "2",
                                                         "ResourceCreated " + entries + "3"}));
        watch.pollAll();
        EXPECT_TRUE(sink.take().empty());
        ASSERT_EQ(0, session.deleteSelEntry(1));  // the others move up a place
        add(0x0202);
        watch.pollAll();
        EXPECT_EQ(sink.take(), std::vector<std::string>{"ResourceCreated " + entries + "3"});
        uint16_t deleted = 0;
        ASSERT_EQ(0, session.clearSel(deleted));
        add(0x0203);
        watch.pollAll();
        EXPECT_EQ(sink.take(), std::vector<std::string>{"ResourceCreated " + entries + "1"});
    }
    // A restart: the place in the log was kept.
    EventLogWatch again(cards, state, sink, 1h, 2s);
    again.pollAll();
    EXPECT_TRUE(sink.take().empty());
    add(0x0204);
    again.pollAll();
    EXPECT_EQ(sink.take(), std::vector<std::string>{"ResourceCreated " + entries + "2"});
    // A sensor that fails and one that reads again.
    const std::string sdk = dir.file("sdk.txt");
    std::FILE* file = std::fopen(sdk.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs(
        "VORL-SDK 1\ngroup Temperatures\nsensor CPU;failed;1\n"
        "sensor Chassis intake;25000;1\n",
        file);
    std::fclose(file);
    ASSERT_EQ(0, session.uploadSdk(sdk.c_str()));
    again.pollAll();
    const std::string sensors = "/redfish/v1/Chassis/c1/Sensors/Temperatures_";
    EXPECT_EQ(sink.take(),
              (std::vector<std::string>{"ResourceStatusChangedWarning " + sensors + "CPU",
                                        "ResourceStatusChangedOK " + sensors + "Chassis_intake"}));
    live.stop();
    again.pollAll();
    EXPECT_EQ(sink.take(), std::vector<std::string>{"ResourceStatusChangedCritical "
                                                    "/redfish/v1/Managers/c1"});
    again.pollAll();  // still down: nothing new
    EXPECT_TRUE(sink.take().empty());
}

}  // namespace
}  // namespace vorl::redfish
