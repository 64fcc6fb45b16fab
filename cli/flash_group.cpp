// -Flash, -cardMode, -file: flashing, reading the flash back, the configuration section, the
// card mode and file transfer. The three group words are interchangeable.
#include <cstdio>
#include <string>

#include "cli/flash_output.h"
#include "cli/group_handlers.h"
#include "cli/prompts.h"
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

int update(CardSession& session, const std::string& path, bool flashBootBlock) {
    std::printf("\n");
    if (askYesNo("Firmware upgrade is a crucial operation.This operation should not be "
                 "interrupted.\n The VORL will also be reset after this command is completed.Are "
                 "you Sure (y/n)?") != 'Y') {
        std::printf("\nCommand cancelled by user\n");
        return 0;
    }
    const bool retain =
        askYesNo("Do you want to retain the current configuration after upgrade (y/n)?") == 'Y';
    std::printf("Firmware Image File : \t\t\t[ %s ]\n", path.c_str());
    std::fflush(stdout);
    ConsoleFlashOutput output(path);
    return updateFirmware(session, path, flashBootBlock, retain, output);
}

int readFlash(CardSession& session, const std::string& path) {
    ConsoleFlashOutput output(path);
    return readFlashToFile(session, path, output);
}

int cardMode(CardSession& session) {
    uint8_t mode = 0;
    if (session.getCardMode(mode) != 0)
        std::printf("Unable to get Card Mode\n");
    else if (mode == 0)
        std::printf("Card is in Normal Mode\n");
    else
        std::printf("Card is being flashed, back-off!\n");
    return 0;
}

int getConfig(CardSession& session, const std::string& path) {
    const int status = saveConfigSection(session, path);
    if (status != 0) std::printf("Error: %s\n", statusMessage(status));
    return status;
}

int putConfig(CardSession& session, const std::string& path) {
    ConsoleFlashOutput output(path);
    return restoreConfigSection(session, path, output);
}

int compareBoot(CardSession& session, const std::string& path) {
    std::vector<uint8_t> boot(kFlashBlockSize);
    FilePtr file = openFile(path, "rb");
    if (!file || readFully(file.get(), boot.data(), boot.size()) != boot.size()) {
        std::printf("Unable to read from image file !\n");
        return -1;
    }
    file.reset();
    const int result = compareBootBlock(session, boot.data(), boot.size());
    if (result == 1)
        std::printf(
            "Different : The boot block in the image file you selected differs from the "
            "boot block currently on the VORL\n");
    else if (result == 0)
        std::printf(
            "Match : The boot block in the image file you selected is the same as the "
            "boot block on the VORL\n");
    else
        std::printf("Error: %s\n", statusMessage(result));
    return result;
}

int upload(CardSession& session, const std::string& local, const std::string& card) {
    const int status = session.uploadFileToCard(local, card);
    if (status != 0) std::printf("Error:  %s\n", statusMessage(status));
    return status;
}

int download(CardSession& session, const std::string& card, const std::string& local) {
    const int status = session.downloadFileFromCard(card, local);
    if (status != 0) std::printf("Error while get number of Records, %s\n", statusMessage(status));
    return status;
}

int uploadServerInfo(CardSession& session, const std::string& path) {
    // The name must end with the first occurrence of serverInfo.conf (case-sensitive).
    const size_t at = path.find(kServerInfoName);
    if (at == std::string::npos || at + std::string(kServerInfoName).size() != path.size()) {
        std::printf("Filename should be %s \n", kServerInfoName);
        return kUsageError;
    }
    char cardPath[64];
    std::snprintf(cardPath, sizeof cardPath, "%s%s", kServerInfoDir, kServerInfoName);
    return upload(session, path, cardPath);
}

int twoWords(CardSession& session, const std::string& command) {
    if (is(command, "SaveConfig")) return session.saveConfiguration();
    if (is(command, "SaveSDK")) return session.saveSdk();
    if (is(command, "Flash")) return session.setFlashMode();
    if (is(command, "get")) return cardMode(session);
    return kUsageError;
}

int threeWords(CardSession& session, const std::string& command, const std::string& file) {
    if (is(command, "update")) return update(session, file, false);
    if (is(command, "read")) return readFlash(session, file);
    if (is(command, "upload")) return writeImageToFlash(session, file);
    if (is(command, "download")) return readFlashIntoImage(session, file);
    if (is(command, "GetConfig")) return getConfig(session, file);
    if (is(command, "PutConfig")) return putConfig(session, file);
    if (is(command, "CompareBoot")) return compareBoot(session, file);
    if (is(command, "uploadServerInfo")) return uploadServerInfo(session, file);
    return kUsageError;
}

int fourWords(CardSession& session, const std::string& command, const std::string& first,
              const std::string& second) {
    if (is(command, "update")) return is(first, "boot") ? update(session, second, true) : -1;
    if (is(command, "upload")) return upload(session, first, second);
    if (is(command, "download")) return download(session, first, second);
    return kUsageError;
}

}  // namespace

int runFlashGroup(CardSession& session, const Words& words) {
    // words[0] is the leading word, words[1] the group word; the forms count from words[1].
    if (words.size() < 3 || words[2].empty() || words[2][0] != '-') return kUsageError;
    switch (words.size() - 1) {
        case 2:
            return twoWords(session, words[2]);
        case 3:
            return threeWords(session, words[2], words[3]);
        case 4:
            return fourWords(session, words[2], words[3], words[4]);
        default:
            return kUsageError;
    }
}

}  // namespace vorl::cli
