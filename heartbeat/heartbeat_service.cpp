#include "heartbeat/heartbeat_service.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/deadline.h"
#include "platform/debug_output.h"
#include "platform/sleep.h"

namespace vorl {
namespace {

constexpr uint32_t kCountdownStepMs = 1000;

// One connect pass: at most two connects, a second's pause after each failed one.
platform::ScsiDevice* connectPass(HostInterface& card, char& letter) {
    platform::debugOutput("Someone called wait on connect\n");
    return card.reconnect(letter, HeartbeatService::kConnectAttempts);
}

}  // namespace

HeartbeatService::HeartbeatService(platform::ServiceManager& manager, BackendFactory backends)
    : CNTService(kServiceName, manager), backends_(std::move(backends)), card_(backends_()) {
    const char* hostInterface = std::getenv("VORL_HOSTIFC");
    if (hostInterface != nullptr && *hostInterface != '\0')
        setServiceEnvironment({std::string("VORL_HOSTIFC=") + hostInterface});
}

bool HeartbeatService::OnInit() {
    return true;
}

void HeartbeatService::OnDeviceChange(uint32_t eventType, void*, void*) {
    platform::debugOutput("Device Change recd\n");
    trace("dwEventType is %x\n", static_cast<unsigned>(eventType));
}

void HeartbeatService::disconnectCard() {
    card_.disconnect();
    cardHandle_ = nullptr;
}

int HeartbeatService::waitOnConnect() {
    for (;;) {
        workerAlive();
        cardHandle_ = connectPass(card_, cardLetter_);
        if (cardHandle_ != nullptr) return 0;
        if (running_ != 1) return -1;
        setActivity("Waiting for the card: no CD-ROM drive answers as the card");
    }
}

void HeartbeatService::setActivity(const char* text) {
    if (std::strcmp(activity_, text) == 0) return;
    std::snprintf(activity_, sizeof activity_, "%s", text);
    reportActivity(activity_);
}

void HeartbeatService::initHeartbeat() {
    platform::debugOutput("In Init heartbeat\n");
    setActivity("Looking for the card's drive");
    if (waitOnConnect() == -1) {
        platform::debugOutput("Wait on conn ret -1\n");
        return;
    }
    setActivity("Starting the card's heartbeat");
    platform::debugOutput("Issuing HB start\n");
    int32_t answer = card_.heartbeatStart();
    platform::debugOutput("After issue HB start\n");
    if (answer != -1) {
        countdown_ = answer;
        disconnectCard();
        return;
    }
    // One more connect and one more start; the worker goes on whatever that gives.
    disconnectCard();
    if (waitOnConnect() == -1) return;
    answer = card_.heartbeatStart();
    disconnectCard();
    countdown_ = answer;
}

bool HeartbeatService::recoverFromFailedBeat(bool previousFailed) {
    disconnectCard();
    // A card that refuses every heartbeat would otherwise be searched for and asked again
    // without a pause for as long as the service runs.
    if (previousFailed) {
        platform::sleepMs(kRefusedAgainPauseMs);
        if (running_ != 1) return false;
    }
    return waitOnConnect() != -1;
}

void HeartbeatService::Run() {
    initHeartbeat();
    bool lastBeatFailed = false;
    while (running_ == 1) {
        waitOnConnect();
        const int32_t answer = card_.heartbeatPoll();
        if (answer == -1) {
            // The command failed: look for the card again and beat at once (a second later
            // when the beat before failed too).
            setActivity("The heartbeat failed; looking for the card again");
            if (!recoverFromFailedBeat(lastBeatFailed)) break;
            lastBeatFailed = true;
            continue;
        }
        lastBeatFailed = false;
        // 0, and any other answer that is no countdown, means the card's default spacing.
        countdown_ = answer > 0 ? answer : kDefaultBeatSeconds;
        disconnectCard();
        char text[sizeof activity_];
        std::snprintf(text, sizeof text, "Heartbeat answered; the next in %d s",
                      static_cast<int>(countdown_));
        setActivity(text);
        reportReady();
        if (!waitForNextBeat()) break;
    }
    endHeartbeat();
}

bool HeartbeatService::waitForNextBeat() {
    while (countdown_-- != 0) {
        workerAlive();
        platform::sleepMs(kCountdownStepMs);
        if (running_ == 0) return false;
    }
    return true;
}

void HeartbeatService::endHeartbeat() {
    platform::debugOutput("Detected not running in terminate service\n");
    // A card that hangs must not hold the stop for minutes: the connect and the heartbeat stop
    // get kStopLimitMs between them, then the stop is given up.
    const platform::Deadline stopBy(kStopLimitMs);
    card_.limitCommandsTo(stopBy);
    waitOnConnect();
    if (!card_.heartbeatStop() && stopBy.passed()) {
        char line[160];
        std::snprintf(line, sizeof line,
                      "The card did not take the heartbeat stop within %u s: given up\n",
                      static_cast<unsigned>(kStopLimitMs / 1000));
        trace("%s", line);
        std::fputs(line, stderr);
        std::fflush(stderr);
    }
    card_.limitCommandsTo(std::nullopt);
    disconnectCard();
    char line[256];
    std::snprintf(line, sizeof line, "on end ret is %d\n", static_cast<int>(countdown_));
    platform::debugOutput(line);
}

void HeartbeatService::OnShutdown() {
    // The worker may be inside its own host interface right now, so shutdown uses one of its
    // own. With no card present one pass is all it tries: the system is going down.
    HostInterface card(backends_());
    card.limitCommandsTo(platform::Deadline(kStopLimitMs));
    char letter = 0;
    connectPass(card, letter);
    card.heartbeatStop();
    card.disconnect();
}

}  // namespace vorl
