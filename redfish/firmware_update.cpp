#include "redfish/firmware_update.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <vector>

#include "firmware/firmware_image.h"
#include "firmware/flash_procedures.h"
#include "firmware/panel_flash.h"
#include "protocol/card_session.h"
#include "redfish/exchange.h"
#include "redfish/resource_routes.h"
#include "redfish/task_messages.h"
#include "wire/status_codes.h"

namespace vorl::redfish {

std::shared_ptr<ImageFile> ImageFile::create(const std::string& dir, const std::string& name) {
    // validateImageFile wants ".ima" in the path.
    std::string path = dir + "/update-XXXXXX.ima";
    const int fd = mkstemps(path.data(), 4);
    if (fd < 0) return nullptr;
    return std::shared_ptr<ImageFile>(new ImageFile(path, name, fd));
}

ImageFile::~ImageFile() {
    if (fd_ >= 0) close(fd_);
    unlink(path_.c_str());
}

bool ImageFile::append(std::string_view bytes) {
    while (!bytes.empty() && !failed_ && fd_ >= 0) {
        const ssize_t done = write(fd_, bytes.data(), bytes.size());
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) failed_ = true;
        if (done > 0) bytes.remove_prefix(static_cast<size_t>(done));
    }
    return !failed_ && fd_ >= 0;
}

bool ImageFile::finish() {
    const bool ok = !failed_ && fd_ >= 0 && close(fd_) == 0;
    fd_ = -1;
    return ok;
}

void removeLeftoverImages(const std::string& dir) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() == 17 && name.rfind("update-", 0) == 0 && name.ends_with(".ima"))
            std::filesystem::remove(entry.path(), error);
    }
}

std::string imageFault(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return "the image could not be read";
    if (static_cast<size_t>(info.st_size) != kImageBytes)
        return "the image is " + std::to_string(info.st_size) + " bytes, not the " +
               std::to_string(kImageBytes) + " of 64 flash blocks";
    const int status = FirmwareImage::validateImageFile(path);
    if (status == kStatusSuccess) return {};
    if (status != kStatusChecksumError) return "the image could not be opened";
    // The same checks in the same order, to name the module that fails them.
    FilePtr file = openFile(path, "rb");
    FirmwareImage image;
    for (const char* module : FirmwareImage::kRequiredModules) {
        char signature[8];
        FirmwareImage::moduleSignature(module, signature);
        ModuleHeader header;
        if (!file) break;
        const long offset = image.findModule(file.get(), signature, header);
        if (offset < 0) return std::string("the image holds no ") + module + " module";
        const int check = image.checkModule(file.get(), offset);
        if (check == 1) return std::string("the ") + module + " module's header is damaged";
        if (check == 2)
            return std::string("the ") + module +
                   " module's data run past the image's end or fail their CRC-32";
    }
    return "the image's modules are not intact";
}

namespace {

std::string cardUri(const Card& card) {
    return std::string(kManagers) + "/" + card.link.id();
}

// Follows the blocks written as the task's progress and keeps what the flash did.
class TaskListener : public FlashListener {
public:
    explicit TaskListener(TaskProgress& progress) : progress_(progress) {}

    void on(const FlashEvent& event) override {
        if (event.total > 0) total = event.total;  // every step of a flash carries it
        switch (event.step) {
            case FlashStep::BlockWritten:
                written = event.written;
                if (event.module[0] != '\0' && (modules.empty() || modules.back() != event.module))
                    modules.emplace_back(event.module);
                // The MAC address and the reset are still to come after the last block.
                progress_.percent(total > 0 ? std::min(99, written * 100 / total) : 0);
                break;
            case FlashStep::BlockFailed:
                failedBlock = static_cast<int>(event.block);
                break;
            case FlashStep::ResetDone:
                reset = true;
                break;
            default:
                break;
        }
    }

    TaskProgress& progress_;
    int written = 0, total = 0, failedBlock = -1;
    bool reset = false;
    std::vector<std::string> modules;
};

// Reads the card's sections and sets the image against them, as vorlcli -flash -compare: 0;
// the status of a section request the card refused; kStatusInvalidArgument when a module does
// not fit its section. `fault` says which.
int compareWithCard(CardSession& session, std::FILE* file, ModuleEntries& entries,
                    std::string& fault) {
    loadCardModules(session, entries);
    for (const ModuleEntry& entry : entries) {
        if (entry.cardStatus == kStatusSuccess) continue;
        fault = "the card would not tell its " + entry.name + " section";
        return entry.cardStatus;
    }
    FirmwareImage image;
    if (!compareImageWithCard(image, file, entries).anyMismatch) return kStatusSuccess;
    for (const ModuleEntry& entry : entries)
        if (entry.verdict != kVerdictMatches && fault.empty())
            fault = "the image's " + entry.name + " module does not fit the card's section (" +
                    entry.verdict + "): only a complete flash can write it";
    return kStatusInvalidArgument;
}

bool versionDiffers(const ModuleEntry& entry) {
    return entry.cardStatus == kStatusSuccess && entry.fileOffset >= 0 &&
           entry.fileHeader.version != entry.card.version;
}

// The module flash of vorlcli -flash -modules on the card's session: the modules whose version
// differs, then a reset. `fault` says why nothing was written when the image does not fit.
int flashModules(CardSession& session, const std::string& path, TaskListener& listener,
                 std::string& fault, bool& nothingToDo) {
    FilePtr file = openFile(path, "rb");
    if (!file) {
        fault = "the image could not be opened";
        return -1;
    }
    ModuleEntries entries = makeModuleEntries();
    if (const int status = compareWithCard(session, file.get(), entries, fault);
        status != kStatusSuccess)
        return status;
    bool any = false;
    for (ModuleEntry& entry : entries) {
        entry.selected = versionDiffers(entry);
        any = any || entry.selected;
    }
    if (!any) {
        nothingToDo = true;
        return kStatusSuccess;
    }
    prepareModuleFlash(session, entries, listener);
    const int status = flashSelectedModules(session, file.get(), entries, listener);
    if (status != kStatusSuccess) return status;
    const int reset = session.resetCardToDefaults();
    listener.on(
        FlashEvent{reset == kStatusSuccess ? FlashStep::ResetDone : FlashStep::ResetFailed});
    return reset;
}

}  // namespace

int checkImageFits(CardSession& session, const std::string& path, std::string& fault) {
    FilePtr file = openFile(path, "rb");
    if (!file) {
        fault = "the image could not be opened";
        return -1;
    }
    ModuleEntries entries = makeModuleEntries();
    return compareWithCard(session, file.get(), entries, fault);
}

namespace {

const char* troubleText(CardTrouble trouble) {
    switch (trouble) {
        case CardTrouble::Down:
            return "the card failed moments ago";
        case CardTrouble::Busy:
            return "other requests held the card";
        case CardTrouble::Unreachable:
            return "the card could not be reached";
        case CardTrouble::LoginRefused:
            return "the card refused the service's login";
        default:
            return "the connection to the card was lost or the card stopped answering";
    }
}

}  // namespace

TaskService::Job updateJob(ServiceParts& parts, Card& card, std::shared_ptr<ImageFile> image,
                           UpdatePlan plan) {
    return [&parts, &card, image, plan](TaskProgress& progress) {
        const std::string target = cardUri(card);
        progress.message(
            registryMessage(kUpdateRegistry, "TargetDetermined", {target, image->name()}));
        progress.message(
            registryMessage(kUpdateRegistry, "ApplyingOnComponent", {image->name(), target}));
        TaskListener listener(progress);
        std::string fault;
        bool nothingToDo = false;
        // A whole flash holds the card: every block may take up to the card timeout.
        const auto deadline =
            Clock::now() +
            std::max<Clock::duration>(std::chrono::minutes(2), parts.settings.cardTimeout * 80);
        const CardResult result =
            card.link.run(deadline, CardLink::Kind::WriteEndingSession, [&](CardSession& session) {
                if (plan.mode == FlashMode::Modules)
                    return flashModules(session, image->path(), listener, fault, nothingToDo);
                return updateFirmware(session, image->path(), false, plan.keepConfiguration,
                                      listener);
            });
        const bool ok = result.ok();
        if (!ok && fault.empty())
            fault = result.trouble != CardTrouble::None ? troubleText(result.trouble)
                    : result.status == -1
                        ? std::string("the image could not be read")
                        : std::string("the card answered ") + statusMessage(result.status);
        Json detail = {{"Mode", plan.mode == FlashMode::Modules ? "Modules" : "Complete"},
                       {"BlocksWritten", listener.written},
                       {"BlocksToWrite", listener.total},
                       {"ModulesWritten", listener.modules},
                       {"CardReset", listener.reset}};
        if (plan.mode == FlashMode::Complete) detail["KeepConfiguration"] = plan.keepConfiguration;
        if (listener.failedBlock >= 0) detail["FailedBlock"] = listener.failedBlock;
        if (!ok) detail["Fault"] = fault;
        progress.detail(std::move(detail));
        if (nothingToDo)
            progress.message(
                registryMessage(kUpdateRegistry, "UpdateNotApplicable", {image->name(), target}));
        else if (ok)
            progress.message(
                registryMessage(kUpdateRegistry, "UpdateSuccessful", {target, image->name()}));
        else
            progress.message(
                registryMessage(kUpdateRegistry, "ApplyFailed", {image->name(), target}));
        return ok;
    };
}

}  // namespace vorl::redfish
