// The SCSI generic driver's test double: the nodes and sysfs of a tree a test built, and each
// SG_IO request decoded from its sg_io_hdr and carried to a drive of vorlsim's device link. It
// answers the way the kernel does: a plain drive refusing a vendor opcode gives CHECK
// CONDITION with ILLEGAL REQUEST sense, a link that is gone a host error.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>

#include "platform/sg_driver_linux.h"
#include "platform/sim_device.h"

namespace vorl::platform {
namespace {

constexpr uint8_t kCheckCondition = 0x02;
constexpr uint8_t kDriverSense = 0x08;
constexpr uint16_t kDidNoConnect = 0x01;
constexpr uint8_t kIllegalRequest = 0x05;
constexpr uint8_t kUnitAttention = 0x06;

struct SimNode {
    std::unique_ptr<ScsiDevice> device;
    bool unitAttentionPending = false;
};

class SimSgDriver : public SgDriver {
public:
    SimSgDriver(std::string root, std::unique_ptr<DeviceBackend> link)
        : SgDriver(std::move(root)), link_(std::move(link)) {}

    int open(const std::string& node) override {
        std::string kind;
        if (!readLine(node, kind)) {
            errno = ENOENT;
            return -1;
        }
        if (kind == "denied") {
            errno = EACCES;
            return -1;
        }
        if (kind.empty()) {
            errno = ENXIO;
            return -1;
        }
        const char path[] = {'\\', '\\', '.', '\\', kind[0], ':', '\0'};
        SimNode simNode;
        simNode.device = link_->openDevice(path);
        if (!simNode.device) {
            errno = ENXIO;
            return -1;
        }
        simNode.unitAttentionPending = kind.find("unit-attention") != std::string::npos;
        // A real descriptor keeps the numbers apart, as the kernel's would be.
        const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (fd < 0) return -1;
        nodes_[fd] = std::move(simNode);
        return fd;
    }

    int sgIo(int fd, sg_io_hdr_t& header) override {
        const auto found = nodes_.find(fd);
        if (found == nodes_.end() || header.interface_id != 'S' || header.cmdp == nullptr ||
            header.cmd_len == 0 || header.cmd_len > 16 ||
            (header.dxfer_len > 0 && header.dxferp == nullptr)) {
            errno = found == nodes_.end() ? EBADF : EINVAL;
            return -1;
        }
        SimNode& node = found->second;
        header.status = 0;
        header.masked_status = 0;
        header.host_status = 0;
        header.driver_status = 0;
        header.sb_len_wr = 0;
        header.resid = static_cast<int>(header.dxfer_len);
        header.info = SG_INFO_OK;
        if (node.unitAttentionPending) {
            node.unitAttentionPending = false;
            checkCondition(header, kUnitAttention, 0x28);  // not ready to ready change
            return 0;
        }
        const DataDirection direction = header.dxfer_direction == SG_DXFER_TO_DEV
                                            ? DataDirection::ToDevice
                                            : DataDirection::FromDevice;
        const PassThroughResult result = node.device->passThrough(
            header.cmdp, header.cmd_len, static_cast<uint8_t*>(header.dxferp), header.dxfer_len,
            direction, header.timeout / 1000);
        if (result.refused && result.platformError == 50) {
            checkCondition(header, kIllegalRequest, 0x20);  // invalid command operation code
        } else if (result.refused) {
            header.host_status = kDidNoConnect;
            header.info = SG_INFO_CHECK;
        } else {
            header.resid = static_cast<int>(header.dxfer_len - result.bytesMoved);
            header.status = result.scsiStatus;
            header.masked_status = static_cast<uint8_t>(result.scsiStatus >> 1);
            if (result.scsiStatus != 0) header.info = SG_INFO_CHECK;
        }
        return 0;
    }

    void close(int fd) override {
        if (nodes_.erase(fd) > 0) ::close(fd);
    }

private:
    // Fixed-format sense data with `key` and additional sense code `asc`.
    static void checkCondition(sg_io_hdr_t& header, uint8_t key, uint8_t asc) {
        header.status = kCheckCondition;
        header.masked_status = kCheckCondition >> 1;
        header.driver_status = kDriverSense;
        header.info = SG_INFO_CHECK;
        uint8_t sense[18] = {0x70, 0, key, 0, 0, 0, 0, 10, 0, 0, 0, 0, asc};
        const uint8_t length = header.mx_sb_len < sizeof sense ? header.mx_sb_len : sizeof sense;
        if (header.sbp != nullptr) std::memcpy(header.sbp, sense, length);
        header.sb_len_wr = header.sbp != nullptr ? length : 0;
    }

    std::unique_ptr<DeviceBackend> link_;
    std::map<int, SimNode> nodes_;
};

}  // namespace

std::unique_ptr<SgDriver> makeSimSgDriver(const std::string& root, const char* link) {
    uint32_t address = 0;
    uint16_t port = 0;
    if (!parseSimDeviceAddress(link, address, port)) return nullptr;
    return std::make_unique<SimSgDriver>(root, makeSimDeviceBackend(address, port));
}

}  // namespace vorl::platform
