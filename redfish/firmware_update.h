#pragma once
// A card's firmware update as a task's job: the image checked as vorlcli checks it, then either
// the modules whose version differs (the configuration kept, as vorlcli -flash -modules and the
// configuration program do) or the whole image (as vorlcli -flash -update), with the blocks
// written followed as the task's PercentComplete.
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "redfish/task_service.h"

namespace vorl {
class CardSession;
}

namespace vorl::redfish {

struct Card;
struct ServiceParts;

enum class FlashMode { Modules, Complete };

struct UpdatePlan {
    FlashMode mode = FlashMode::Modules;
    bool keepConfiguration = true;  // complete mode: reset keeping it, or with the defaults
};

// An image file of the service's own (an upload or a download), removed when the last task that
// uses it lets it go.
class ImageFile {
public:
    // A new empty file in `dir`; null when it cannot be made. `name` is what the client called it.
    static std::shared_ptr<ImageFile> create(const std::string& dir, const std::string& name);
    ~ImageFile();
    ImageFile(const ImageFile&) = delete;
    ImageFile& operator=(const ImageFile&) = delete;

    bool append(std::string_view bytes);
    // Flushes and closes; false when a write failed.
    bool finish();
    const std::string& path() const { return path_; }
    const std::string& name() const { return name_; }

private:
    ImageFile(std::string path, std::string name, int fd)
        : path_(std::move(path)), name_(std::move(name)), fd_(fd) {}
    std::string path_, name_;
    int fd_;
    bool failed_ = false;
};

// Removes the image files a service that ended mid-update left in `dir`.
void removeLeftoverImages(const std::string& dir);

// The 64 blocks of an image, the only size a flash takes.
constexpr size_t kImageBytes = 64u * 65536u;

// What is wrong with the image at `path` as vorlcli's checks find it (its size, each module's
// presence, header checksum and CRC-32); empty when it may be flashed.
std::string imageFault(const std::string& path);

// Module mode's allocation check on the card's session: 0 when every module of the image fits
// the card's section; otherwise the status, with the reason in `fault` (a module that does not
// fit: kStatusInvalidArgument, 28).
int checkImageFits(vorl::CardSession& session, const std::string& path, std::string& fault);

// The job that updates `card` from `image` by `plan`.
TaskService::Job updateJob(ServiceParts& parts, Card& card, std::shared_ptr<ImageFile> image,
                           UpdatePlan plan);

}  // namespace vorl::redfish
