// -SDK: the card's sensor description and its sensor readings.
#include <cstdio>

#include "cli/card_outcome.h"
#include "cli/group_handlers.h"
#include "cli/report.h"
#include "cli/sensor_listing.h"
#include "protocol/card_session.h"
#include "protocol/sensor_tree.h"
#include "wire/status_codes.h"

namespace vorl::cli {
namespace {

// Each sub-command keeps exit status 0 when the card refuses, as the console tool always has;
// its data says whether it was done and, if not, with which status.
Json outcome(int status, const CardSession& session, Report& report) {
    return writeOutcome(Json::object(), Json::object(), status, session, report);
}

void printUpload(const Json& data, int) {
    std::fputs(data["performed"].get<bool>() ? "Upload successful\n" : "Error uploading SDK\n",
               stdout);
}

void printDelete(const Json& data, int) {
    std::fputs(data["performed"].get<bool>() ? "SDK deleted\n" : "Error deleting SDK\n", stdout);
}

void printReread(const Json& data, int) {
    std::fputs(data["performed"].get<bool>() ? "VODA restarted, rereading SDK\n"
                                             : "Error restarting VODA\n",
               stdout);
}

void printSensors(const Json& data, int) {
    if (!data["sdk_found"].get<bool>()) {
        std::printf("Cannot read sensors - no SDK found\n");
        return;
    }
    std::printf("Sensor data retrieved, displaying...\n");
    std::fputs(sensorListing(data["groups"]).c_str(), stdout);
}

int upload(CardSession& session, const std::string& file, Report& report) {
    const int status = session.uploadSdk(file.c_str());
    Json data = outcome(status, session, report);
    data["file"] = file;
    report.result(0, std::move(data), changeFor(status), printUpload);
    return 0;
}

int readSensors(CardSession& session, Report& report) {
    // The answer may be as large as any payload; one buffer for the run, kept off the stack.
    static uint8_t buffer[CardSession::MaxPayload];
    SensorTree tree;
    const int status = session.readSensors(buffer, sizeof buffer, tree);
    Json data = {{"sdk_found", status == kStatusSuccess}};
    if (status == kStatusSuccess) {
        data["groups"] = sensorGroupsData(tree);
    } else {
        addFailureStatus(data, session, status);
        report.notDone(statusMessage(status));
    }
    report.result(0, std::move(data), Change::Reads, printSensors);
    return 0;
}

}  // namespace

int runSdkGroup(CardSession& session, const Words& words, Report& report) {
    const std::string sub = words.size() > 2 ? words[2] : std::string();
    if (!sub.empty() && sub[0] == '-') {
        if (isSubCommand(sub, "uploadSDK")) {
            if (words.size() < 4) {
                report.message("Please supply an SDK file to upload\n");
                return -1;
            }
            return upload(session, words[3], report);
        }
        if (isSubCommand(sub, "deleteSDK")) {
            const int status = session.deleteSdk();
            report.result(0, outcome(status, session, report), changeFor(status), printDelete);
            return 0;
        }
        if (isSubCommand(sub, "rereadSDK")) {
            const int status = session.restartSensorService();
            report.result(0, outcome(status, session, report), changeFor(status), printReread);
            return 0;
        }
        if (isSubCommand(sub, "readsensors")) return readSensors(session, report);
    }
    report.message("Unknown command\n");
    return -1;
}

}  // namespace vorl::cli
