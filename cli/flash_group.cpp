// -Flash, -cardMode, -file: flashing, reading the flash back, the configuration section, the
// card mode and file transfer. The three group words are interchangeable.
#include <cstdio>
#include <string>

#include "cli/card_outcome.h"
#include "cli/flash_modules.h"
#include "cli/flash_output.h"
#include "cli/group_handlers.h"
#include "cli/prompts.h"
#include "cli/report.h"
#include "firmware/firmware_image.h"
#include "firmware/flash_procedures.h"
#include "protocol/card_session.h"
#include "wire/status_codes.h"

namespace vorl::cli {
namespace {

constexpr int kUsageError = -1;
constexpr const char* kServerInfoName = "serverInfo.conf";
constexpr const char* kServerInfoDir = "k8config/";

// The word must start with "-"; the rest matches `keyword` in any case.
bool is(const std::string& word, const char* keyword) {
    return !word.empty() && word[0] == '-' && isSubCommand(word, keyword);
}

// Commands whose only text is their progress, or nothing at all.
void printNothing(const Json&, int) {}

void printUpdate(const Json& data, int) {
    if (data["cancelled"].get<bool>()) std::printf("\nCommand cancelled by user\n");
}

void printCardMode(const Json& data, int) {
    if (!data["available"].get<bool>())
        std::printf("Unable to get Card Mode\n");
    else if (data["mode_code"].get<int>() == 0)
        std::printf("Card is in Normal Mode\n");
    else
        std::printf("Card is being flashed, back-off!\n");
}

void printGetConfig(const Json&, int status) {
    if (status != kStatusSuccess) std::printf("Error: %s\n", statusMessage(status));
}

void printCompareBoot(const Json& data, int status) {
    const Json& matches = data["boot_block_matches"];
    if (matches.is_null())
        std::printf("Error: %s\n", statusMessage(status));
    else if (!matches.get<bool>())
        std::printf(
            "Different : The boot block in the image file you selected differs from the "
            "boot block currently on the VORL\n");
    else
        std::printf(
            "Match : The boot block in the image file you selected is the same as the "
            "boot block on the VORL\n");
}

void printUpload(const Json&, int status) {
    if (status != kStatusSuccess) std::printf("Error:  %s\n", statusMessage(status));
}

void printDownload(const Json&, int status) {
    if (status != kStatusSuccess)
        std::printf("Error while get number of Records, %s\n", statusMessage(status));
}

int update(CardSession& session, const std::string& path, bool flashBootBlock, Report& report) {
    Json data = {{"file", path},           {"boot_block", flashBootBlock},
                 {"retain_config", false}, {"cancelled", false},
                 {"blocks_written", 0},    {"mac_address_restored", false},
                 {"reset", nullptr}};
    if (!confirmFirmwareFlash()) {
        data["cancelled"] = true;
        report.notDone("Command cancelled by user");
        report.result(kStatusSuccess, std::move(data), Change::Unchanged, printUpdate);
        return kStatusSuccess;
    }
    const bool retain =
        askYesNo("Do you want to retain the current configuration after upgrade (y/n)?") == 'Y';
    std::printf("Firmware Image File : \t\t\t[ %s ]\n", path.c_str());
    std::fflush(stdout);
    ConsoleFlashOutput output(path, report);
    const int status = updateFirmware(session, path, flashBootBlock, retain, output);
    data["retain_config"] = retain;
    data["blocks_written"] = output.blocksWritten();
    data["mac_address_restored"] = output.macRestored();
    if (output.reset()[0] != '\0') data["reset"] = output.reset();
    report.result(status, std::move(data), Change::Writes, printUpdate);
    return status;
}

int readFlash(CardSession& session, const std::string& path, Report& report) {
    ConsoleFlashOutput output(path, report);
    const int status = readFlashToFile(session, path, output);
    report.result(status, {{"file", path}, {"blocks_read", output.blocksRead()}}, Change::Reads,
                  printNothing);
    return status;
}

int cardMode(CardSession& session, Report& report) {
    uint8_t mode = 0;
    const int status = session.getCardMode(mode);
    Json data = {{"available", true}, {"mode", nullptr}, {"mode_code", nullptr}};
    if (status == kStatusSuccess) {
        data["mode"] = mode == 0 ? "normal" : "being_flashed";
        data["mode_code"] = mode;
    } else {
        data.update(readFailure(status, session, report));
    }
    // The query's failure is part of the answer: the command itself succeeds.
    report.result(kStatusSuccess, std::move(data), Change::Reads, printCardMode);
    return kStatusSuccess;
}

int getConfig(CardSession& session, const std::string& path, Report& report) {
    const int status = saveConfigSection(session, path);
    report.result(status, {{"file", path}}, Change::Reads, printGetConfig);
    return status;
}

int putConfig(CardSession& session, const std::string& path, Report& report) {
    ConsoleFlashOutput output(path, report);
    const int status = restoreConfigSection(session, path, output);
    report.result(status, {{"file", path}}, Change::Writes, printNothing);
    return status;
}

int compareBoot(CardSession& session, const std::string& path, Report& report) {
    std::vector<uint8_t> boot(kFlashBlockSize);
    FilePtr file = openFile(path, "rb");
    if (!file || readFully(file.get(), boot.data(), boot.size()) != boot.size()) {
        report.message("Unable to read from image file !\n");
        return kUsageError;
    }
    file.reset();
    const int result = compareBootBlock(session, boot.data(), boot.size());
    Json data = {{"file", path}, {"boot_block_matches", nullptr}};
    if (result == 0 || result == 1) data["boot_block_matches"] = result == 0;
    report.result(result, std::move(data), Change::Reads, printCompareBoot);
    return result;
}

int writeImage(CardSession& session, const std::string& path, Report& report) {
    const int status = writeImageToFlash(session, path);
    report.result(status, {{"file", path}}, Change::Writes, printNothing);
    return status;
}

int readImage(CardSession& session, const std::string& path, Report& report) {
    const int status = readFlashIntoImage(session, path);
    report.result(status, {{"file", path}}, Change::Reads, printNothing);
    return status;
}

int upload(CardSession& session, const std::string& local, const std::string& card,
           Report& report) {
    const int status = session.uploadFileToCard(local, card);
    report.result(status, {{"file", local}, {"card_path", card}}, Change::Writes, printUpload);
    return status;
}

int download(CardSession& session, const std::string& card, const std::string& local,
             Report& report) {
    const int status = session.downloadFileFromCard(card, local);
    report.result(status, {{"file", local}, {"card_path", card}}, Change::Reads, printDownload);
    return status;
}

int uploadServerInfo(CardSession& session, const std::string& path, Report& report) {
    // The name must end with the first occurrence of serverInfo.conf (case-sensitive).
    const size_t at = path.find(kServerInfoName);
    if (at == std::string::npos || at + std::string(kServerInfoName).size() != path.size()) {
        report.message(formatted("Filename should be %s \n", kServerInfoName).c_str());
        return kUsageError;
    }
    char cardPath[64];
    std::snprintf(cardPath, sizeof cardPath, "%s%s", kServerInfoDir, kServerInfoName);
    return upload(session, path, cardPath, report);
}

// A command that sends one request and shows nothing but its status.
int plainRequest(int status, Report& report) {
    report.result(status, Json::object(), Change::Writes, printNothing);
    return status;
}

int twoWords(CardSession& session, const std::string& command, Report& report) {
    if (is(command, "SaveConfig")) return plainRequest(session.saveConfiguration(), report);
    if (is(command, "SaveSDK")) return plainRequest(session.saveSdk(), report);
    if (is(command, "Flash")) return plainRequest(session.setFlashMode(), report);
    if (is(command, "get")) return cardMode(session, report);
    return kUsageError;
}

int threeWords(CardSession& session, const std::string& command, const std::string& file,
               Report& report) {
    if (is(command, "update")) return update(session, file, false, report);
    if (is(command, "read")) return readFlash(session, file, report);
    if (is(command, "upload")) return writeImage(session, file, report);
    if (is(command, "download")) return readImage(session, file, report);
    if (is(command, "GetConfig")) return getConfig(session, file, report);
    if (is(command, "PutConfig")) return putConfig(session, file, report);
    if (is(command, "CompareBoot")) return compareBoot(session, file, report);
    if (is(command, "uploadServerInfo")) return uploadServerInfo(session, file, report);
    if (is(command, "compare")) return compareImage(session, file, report);
    if (is(command, "modules")) return flashModules(session, file, report);
    return kUsageError;
}

int fourWords(CardSession& session, const std::string& command, const std::string& first,
              const std::string& second, Report& report) {
    if (is(command, "update"))
        return is(first, "boot") ? update(session, second, true, report) : kUsageError;
    if (is(command, "upload")) return upload(session, first, second, report);
    if (is(command, "download")) return download(session, first, second, report);
    return kUsageError;
}

}  // namespace

int runFlashGroup(CardSession& session, const Words& words, Report& report) {
    // words[0] is the leading word, words[1] the group word; the forms count from words[1].
    if (words.size() < 3 || words[2].empty() || words[2][0] != '-') return kUsageError;
    switch (words.size() - 1) {
        case 2:
            return twoWords(session, words[2], report);
        case 3:
            return threeWords(session, words[2], words[3], report);
        case 4:
            return fourWords(session, words[2], words[3], words[4], report);
        default:
            return kUsageError;
    }
}

}  // namespace vorl::cli
