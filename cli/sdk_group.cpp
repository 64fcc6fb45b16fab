// -SDK: the card's sensor description and its sensor readings.
#include <cstdio>
#include <memory>

#include "cli/group_handlers.h"
#include "cli/sensor_listing.h"
#include "protocol/card_session.h"
#include "protocol/sensor_tree.h"
#include "wire/status_codes.h"

namespace vorl::cli {
namespace {

int readSensors(CardSession& session) {
    // The answer may be as large as any payload; one buffer for the run, kept off the stack.
    static uint8_t buffer[CardSession::MaxPayload];
    SensorTree tree;
    if (session.readSensors(buffer, sizeof buffer, tree) != kStatusSuccess) {
        std::printf("Cannot read sensors - no SDK found\n");
        return 0;
    }
    std::printf("Sensor data retrieved, displaying...\n");
    std::fputs(sensorListing(tree).c_str(), stdout);
    return 0;
}

void report(int status, const char* success, const char* failure) {
    std::fputs(status == kStatusSuccess ? success : failure, stdout);
}

}  // namespace

int runSdkGroup(CardSession& session, const Words& words) {
    const std::string sub = words.size() > 2 ? words[2] : std::string();
    if (!sub.empty() && sub[0] == '-') {
        if (isSubCommand(sub, "uploadSDK")) {
            if (words.size() < 4) {
                std::printf("Please supply an SDK file to upload\n");
                return -1;
            }
            report(session.uploadSdk(words[3].c_str()), "Upload successful\n",
                   "Error uploading SDK\n");
            return 0;
        }
        if (isSubCommand(sub, "deleteSDK")) {
            report(session.deleteSdk(), "SDK deleted\n", "Error deleting SDK\n");
            return 0;
        }
        if (isSubCommand(sub, "rereadSDK")) {
            report(session.restartSensorService(), "VODA restarted, rereading SDK\n",
                   "Error restarting VODA\n");
            return 0;
        }
        if (isSubCommand(sub, "readsensors")) return readSensors(session);
    }
    std::printf("Unknown command\n");
    return -1;
}

}  // namespace vorl::cli
