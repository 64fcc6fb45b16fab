// The card's drive on Linux: the SCSI generic nodes of the CD-ROM devices, found in sysfs and
// driven with ioctl(SG_IO). Vendor opcodes on /dev/srN need CAP_SYS_RAWIO; on a read-write sg
// node they need only the right to open it (group cdrom).
#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "platform/sg_driver_linux.h"

namespace vorl::platform {
namespace {

constexpr char kSgClass[] = "/sys/class/scsi_generic";
constexpr char kCdRomType[] = "5";
constexpr uint8_t kSenseSize = 32;
constexpr uint8_t kCheckCondition = 0x02;
constexpr uint8_t kSenseUnitAttention = 0x06;
constexpr uint8_t kDriverSense = 0x08;  // driver_status: sense data came back, no driver error
constexpr uint8_t kDriverStatusMask = 0x0f;
// A drive that was just plugged in or reset answers its first command with a unit attention.
constexpr int kUnitAttentionRetries = 1;

// "sg12" -> 12; -1 for anything that is no sg node name.
long sgNumber(const std::string& name) {
    if (name.size() < 3 || name.size() > 12 || name.compare(0, 2, "sg") != 0) return -1;
    if (name.find_first_not_of("0123456789", 2) != std::string::npos) return -1;
    return std::strtol(name.c_str() + 2, nullptr, 10);
}

// The sense key of fixed (0x70/0x71) or descriptor (0x72/0x73) sense data; 0 when there is none.
uint8_t senseKey(const uint8_t* sense, uint8_t length) {
    if (length < 3) return 0;
    const uint8_t format = sense[0] & 0x7f;
    if (format == 0x72 || format == 0x73) return sense[1] & 0x0f;
    if (format == 0x70 || format == 0x71) return sense[2] & 0x0f;
    return 0;
}

// What the kernel made of the request, in the categories of the pass-through seam: a transport
// or driver failure is "refused" (no status from the device); otherwise the device's status.
PassThroughResult mapSgResult(const sg_io_hdr_t& header, uint32_t size) {
    PassThroughResult result;
    const uint8_t driverError = header.driver_status & kDriverStatusMask;
    if (header.host_status != 0 || (driverError != 0 && driverError != kDriverSense)) {
        result.platformError = EIO;
        return result;
    }
    result.refused = false;
    result.scsiStatus = (header.info & SG_INFO_OK_MASK) == SG_INFO_OK ? 0 : header.status;
    const uint32_t resid =
        header.resid < 0 ? 0 : std::min(static_cast<uint32_t>(header.resid), size);
    result.bytesMoved = size - resid;
    return result;
}

bool isUnitAttention(const sg_io_hdr_t& header, const uint8_t* sense) {
    return header.status == kCheckCondition &&
           senseKey(sense, std::min(header.sb_len_wr, kSenseSize)) == kSenseUnitAttention;
}

class SgDevice : public ScsiDevice {
public:
    SgDevice(SgDriver& driver, int fd) : driver_(driver), fd_(fd) {}
    ~SgDevice() override { driver_.close(fd_); }

    PassThroughResult passThrough(const uint8_t* cdb, uint8_t cdbLength, uint8_t* buffer,
                                  uint32_t size, DataDirection direction,
                                  uint32_t timeoutSeconds) override {
        PassThroughResult result;
        if (cdbLength == 0 || cdbLength > 16) {
            result.platformError = EINVAL;
            return result;
        }
        uint8_t command[16];
        std::memcpy(command, cdb, cdbLength);
        for (int attempt = 0; attempt <= kUnitAttentionRetries; ++attempt) {
            uint8_t sense[kSenseSize] = {};
            sg_io_hdr_t header;
            std::memset(&header, 0, sizeof header);
            header.interface_id = 'S';
            header.dxfer_direction = size == 0                                ? SG_DXFER_NONE
                                     : direction == DataDirection::FromDevice ? SG_DXFER_FROM_DEV
                                                                              : SG_DXFER_TO_DEV;
            header.cmd_len = cdbLength;
            header.cmdp = command;
            header.mx_sb_len = kSenseSize;
            header.sbp = sense;
            header.dxfer_len = size;
            header.dxferp = buffer;
            // Milliseconds; the longest the driver takes is about 49 days.
            header.timeout = timeoutSeconds > 4000000 ? 4000000000u : timeoutSeconds * 1000;
            if (driver_.sgIo(fd_, header) != 0) {
                result.platformError = static_cast<uint32_t>(errno);
                return result;
            }
            if (attempt < kUnitAttentionRetries && isUnitAttention(header, sense)) continue;
            return mapSgResult(header, size);
        }
        return result;
    }

private:
    SgDriver& driver_;
    int fd_;
};

class SgDeviceBackend : public DeviceBackend {
public:
    explicit SgDeviceBackend(std::unique_ptr<SgDriver> driver) : driver_(std::move(driver)) {}

    void enumerateCdRomDevices(const CandidateVisitor& visit) override {
        denied_.clear();
        std::vector<std::pair<long, std::string>> nodes;
        for (const std::string& name : driver_->listFolder(kSgClass)) {
            const long number = sgNumber(name);
            std::string type;
            if (number < 0 ||
                !driver_->readLine(std::string(kSgClass) + "/" + name + "/device/type", type) ||
                type != kCdRomType)
                continue;
            nodes.emplace_back(number, "/dev/" + name);
        }
        std::sort(nodes.begin(), nodes.end());
        for (const auto& node : nodes)
            if (visit(DeviceCandidate{node.second, 0})) return;
    }

    std::unique_ptr<ScsiDevice> openDevice(const char* path) override {
        const int fd = driver_->open(path);
        if (fd >= 0) return std::make_unique<SgDevice>(*driver_, fd);
        if (errno == EACCES || errno == EPERM) denied_.emplace_back(path);
        return nullptr;
    }

    // Each node once per process: the heartbeat service searches again every few seconds.
    void explainNoCard() override {
        for (const std::string& path : denied_) {
            if (!reported_.insert(path).second) continue;
            std::fprintf(stderr,
                         "cannot open %s: Permission denied (the card's drive needs group cdrom "
                         "or root)\n",
                         path.c_str());
        }
        std::fflush(stderr);
    }

private:
    std::unique_ptr<SgDriver> driver_;
    std::vector<std::string> denied_;
    std::set<std::string> reported_;
};

}  // namespace

std::vector<std::string> SgDriver::listFolder(const std::string& path) const {
    std::vector<std::string> names;
    DIR* folder = ::opendir(rooted(path).c_str());
    if (folder == nullptr) return names;
    while (const dirent* entry = ::readdir(folder)) names.emplace_back(entry->d_name);
    ::closedir(folder);
    return names;
}

bool SgDriver::readLine(const std::string& path, std::string& line) const {
    const int fd = ::open(rooted(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char text[64];
    const ssize_t length = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (length < 0) return false;
    text[length] = '\0';
    line.assign(text, std::strcspn(text, "\n"));
    return true;
}

int SgDriver::open(const std::string& node) {
    return ::open(rooted(node).c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
}

// Not repeated on EINTR: the command may have reached the drive, and a vendor command is not
// sent twice behind the caller's back (the block commands have their own retry rule).
int SgDriver::sgIo(int fd, sg_io_hdr_t& header) {
    return ::ioctl(fd, SG_IO, &header);
}

void SgDriver::close(int fd) {
    ::close(fd);
}

std::unique_ptr<DeviceBackend> makeSgDeviceBackend(std::unique_ptr<SgDriver> driver) {
    return std::make_unique<SgDeviceBackend>(std::move(driver));
}

// VORL_SG_ROOT (with VORL_SG_LINK=sim:HOST:PORT) puts the SG_IO path in front of a sysfs tree
// and a simulated card, for tests; otherwise the machine's own drives.
std::unique_ptr<DeviceBackend> makeSystemDeviceBackend() {
    const char* root = std::getenv("VORL_SG_ROOT");
    if (root != nullptr && *root != '\0') {
        std::unique_ptr<SgDriver> driver = makeSimSgDriver(root, std::getenv("VORL_SG_LINK"));
        // Without a link the tree's nodes are opened as they are, never the machine's own.
        return makeSgDeviceBackend(driver ? std::move(driver) : std::make_unique<SgDriver>(root));
    }
    return makeSgDeviceBackend(std::make_unique<SgDriver>(""));
}

}  // namespace vorl::platform
