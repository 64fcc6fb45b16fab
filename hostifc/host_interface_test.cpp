#include "hostifc/host_interface.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/debug_output.h"
#include "platform/sleep.h"
#include "tests/support/scripted_scsi_device.h"

namespace vorl {
namespace {

using test::ScriptedDeviceBackend;
using test::ScriptedDrive;

class HostInterfaceTest : public ::testing::Test {
protected:
    void build(std::unique_ptr<ScriptedDeviceBackend> backend) {
        device = backend.get();
        host = std::make_unique<HostInterface>(std::move(backend));
    }
    void SetUp() override { build(test::makeMachineWithCard()); }

    platform::DebugRecorder debug;
    platform::SleepRecorder sleeps;
    ScriptedDeviceBackend* device = nullptr;
    std::unique_ptr<HostInterface> host;
};

TEST_F(HostInterfaceTest, DiscoveryConsidersOnlyDriveNamesWithACdRomTarget) {
    // Nothing but non-drive names: no card, nothing opened, no target looked up.
    device->drives = {{"COM1", "\\Device\\Serial0"}, {"PhysicalDrive0", "\\Device\\Harddisk0"}};
    EXPECT_EQ(host->connect(), 1);
    EXPECT_TRUE(device->opened.empty());
    EXPECT_EQ(device->listQueries, std::vector<std::string>{""});
    EXPECT_FALSE(host->found());

    // A hard disk is never opened; a target containing \Device\CdRom qualifies.
    device->drives = {{"C:", "\\Device\\HarddiskVolume1", true, true},
                      {"F:", "\\Device\\CdRom1", true, true}};
    EXPECT_EQ(host->connect(), 0);
    EXPECT_EQ(device->opened, (std::vector<std::string>{"\\\\.\\F:", "\\\\.\\F:"}));
    char letter = 0;
    EXPECT_EQ(host->getDriveLetter(letter), 0);
    EXPECT_EQ(letter, 'F');
    EXPECT_TRUE(host->isOpen());
    EXPECT_EQ(device->mutexNames, std::vector<std::string>{"K8_HD_ACCESS_MUTEX"});
}

TEST_F(HostInterfaceTest, FirstCdRomThatAnswersTheProbeWinsAndRefusalsAreQuiet) {
    device->drives.push_back({"G:", "\\Device\\CdRom2", true, true});
    EXPECT_EQ(host->findDrive(), 1);
    // D: was opened and probed (and closed); E: answered; G: was never looked at.
    EXPECT_EQ(device->opened, (std::vector<std::string>{"\\\\.\\D:", "\\\\.\\E:"}));
    ASSERT_EQ(device->commands.size(), 2u);
    EXPECT_EQ(device->commands[0].opcode(), 0xEE);
    EXPECT_EQ(device->commands[0].size, 10u);
    for (const std::string& text : debug.lines())
        EXPECT_EQ(text.find("DevieIoControl"), std::string::npos) << text;
    char letter = 0;
    EXPECT_EQ(host->getDriveLetter(letter), 0);
    EXPECT_EQ(letter, 'E');
}

TEST_F(HostInterfaceTest, DeviceListLargerThanTheFirstBufferIsStillWalked) {
    std::vector<ScriptedDrive> drives;
    for (int i = 0; i < 3000; ++i) drives.push_back({"COM" + std::to_string(i), "\\Device\\x"});
    drives.push_back({"E:", "\\Device\\CdRom0", true, true});
    device->drives = drives;
    EXPECT_EQ(host->findDrive(), 1);
}

TEST_F(HostInterfaceTest, ConnectStatesAndResults) {
    char letter = 'x';
    EXPECT_EQ(host->getDriveLetter(letter), -1);
    EXPECT_EQ(letter, 'x');
    // Disconnect on a fresh object closes nothing.
    EXPECT_EQ(host->disconnect(), 0);
    EXPECT_EQ(*device->closes, 0);

    EXPECT_EQ(host->connect(), 0);
    const size_t opensAfterFirst = device->opened.size();
    // A second connect keeps the open handle.
    EXPECT_EQ(host->connect(), 0);
    // Only the probes' temporary handles (D: and E:) were opened again, and closed again.
    EXPECT_EQ(device->opened.size(), opensAfterFirst + 2);
    EXPECT_EQ(*device->closes, static_cast<int>(device->opened.size()) - 1);
    EXPECT_TRUE(host->isOpen());

    EXPECT_EQ(host->disconnect(), 0);
    EXPECT_EQ(*device->closes, static_cast<int>(device->opened.size()));
    EXPECT_FALSE(host->isOpen());
    EXPECT_EQ(host->getDriveLetter(letter), -1);
}

TEST_F(HostInterfaceTest, DriveFoundButNotOpenedAndNoMutex) {
    device->drives.back().opensLeft = 1;  // the probe's open works, the real one does not
    EXPECT_EQ(host->connect(), 2);
    EXPECT_TRUE(host->found());
    EXPECT_FALSE(host->isOpen());

    build(test::makeMachineWithCard());
    device->mutexFails = true;
    EXPECT_EQ(host->connect(), 3);
    EXPECT_TRUE(host->isOpen());  // the drive stays open
}

TEST_F(HostInterfaceTest, ReconnectCountsAttemptsOrWaitsWithoutLimit) {
    device->drives.pop_back();  // no card
    char letter = 'x';
    EXPECT_EQ(host->reconnect(letter, 2), nullptr);
    EXPECT_EQ(sleeps.pauses(), (std::vector<uint32_t>{1000, 1000}));
    EXPECT_EQ(letter, 'x');

    build(test::makeMachineWithCard());
    device->deviceListFailures = 5;  // the card turns up on the sixth try
    platform::SleepRecorder later;
    EXPECT_NE(host->reconnect(letter, 0), nullptr);
    EXPECT_EQ(later.count(), 5u);
    EXPECT_EQ(letter, 'E');
}

TEST_F(HostInterfaceTest, TraceLinesArePrefixedAndCutLinesStayTerminated) {
    host->trace("CD already Open !!!");
    host->trace("Found K8 CDROM DRIVE\n");
    ASSERT_EQ(debug.lines().size(), 2u);
    EXPECT_EQ(debug.lines()[0], "[K8HOSTIFC]: CD already Open !!!\n");
    EXPECT_EQ(debug.lines()[1], "[K8HOSTIFC]: Found K8 CDROM DRIVE\n\n");

    const std::string longText(3000, 'a');
    host->trace("%s", longText.c_str());
    const std::string& cut = debug.lines().back();
    EXPECT_EQ(cut.size(), 1023u);
    EXPECT_EQ(cut.back(), '\n');
    EXPECT_EQ(cut.compare(0, 13, "[K8HOSTIFC]: "), 0);
}

TEST_F(HostInterfaceTest, DestructorClosesTheDrive) {
    EXPECT_EQ(host->connect(), 0);
    const std::shared_ptr<int> closes = device->closes;
    const int opened = static_cast<int>(device->opened.size());
    EXPECT_EQ(*closes, opened - 1);
    host.reset();
    EXPECT_EQ(*closes, opened);
}

}  // namespace
}  // namespace vorl
