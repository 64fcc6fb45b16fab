#pragma once
// The Linux SCSI generic driver as the SG_IO device backend needs it: sysfs to find the nodes,
// opening a node, one SG_IO request on it. The real driver calls the kernel; a test double
// (sg_driver_linux_sim.cpp) reads a sysfs tree a test built and carries each request to
// vorlsim's device link, so that the whole Linux path runs without a drive.
#include <scsi/sg.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/scsi_device.h"

namespace vorl::platform {

class SgDriver {
public:
    // `root` is put before every /sys and /dev path: "" for the machine's own.
    explicit SgDriver(std::string root) : root_(std::move(root)) {}
    virtual ~SgDriver() = default;
    // The names in a sysfs folder ("/sys/class/scsi_generic"); empty when it is absent.
    std::vector<std::string> listFolder(const std::string& path) const;
    // The first line of a small sysfs file, without its newline; false when it cannot be read.
    bool readLine(const std::string& path, std::string& line) const;
    // Opens a device node ("/dev/sg2") for reading and writing: the descriptor, or -1 with
    // errno set.
    virtual int open(const std::string& node);
    // ioctl(fd, SG_IO, header): 0 when the driver took the request (its outcome is in the
    // header), -1 with errno set when it refused it.
    virtual int sgIo(int fd, sg_io_hdr_t& header);
    virtual void close(int fd);

protected:
    std::string rooted(const std::string& path) const { return root_ + path; }

private:
    std::string root_;
};

// The SG_IO backend over `driver`: the SCSI generic nodes of type 5 (CD-ROM) in sysfs, in the
// kernel's order (sg0, sg1, ...), each opened read-write.
std::unique_ptr<DeviceBackend> makeSgDeviceBackend(std::unique_ptr<SgDriver> driver);

// The test double: sysfs and /dev below `root`; each node file says what the node is: a
// drive letter of the device link's ("E" the card, "D" a plain CD-ROM drive, "C" a disk), with
// " unit-attention" when its first command reports a unit attention, or "denied" for a node
// that refuses to open (EACCES). Requests go to the device link at `link` ("sim:HOST:PORT").
// Null when `link` is not such an address.
std::unique_ptr<SgDriver> makeSimSgDriver(const std::string& root, const char* link);

}  // namespace vorl::platform
