#include "platform/scsi_device.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "platform/named_mutex.h"
#include "platform/sim_device.h"
#include "platform/sleep.h"

namespace vorl::platform {
namespace {

// Run by the Windows end-to-end test in a Wine prefix with a CD-ROM drive configured
// (VORL_TEST_CDROM_DRIVE=D:): the real backend lists it, opens it, and the drive refuses the
// vendor command the way a drive without the card does.
TEST(SystemDeviceTest, ConfiguredCdRomDriveOpensAndRefusesTheProbe) {
    const char* drive = std::getenv("VORL_TEST_CDROM_DRIVE");
    if (drive == nullptr || *drive == '\0') GTEST_SKIP() << "no CD-ROM drive configured";
    auto backend = makeSystemDeviceBackend();
    char target[1024] = {};
    ASSERT_GT(backend->queryDosDevice(drive, target, sizeof target), 0);
    EXPECT_NE(std::strstr(target, "\\Device\\CdRom"), nullptr) << target;
    // A list that does not fit says so, rather than looking empty.
    char tiny[4];
    EXPECT_EQ(backend->queryDosDevice(nullptr, tiny, sizeof tiny), kDeviceQueryTooSmall);

    auto device = backend->openDevice(("\\\\.\\" + std::string(drive)).c_str());
    ASSERT_TRUE(device);
    const uint8_t cdb[10] = {0xEE};
    uint8_t answer[10] = {};
    const PassThroughResult result =
        device->passThrough(cdb, 10, answer, sizeof answer, DataDirection::FromDevice, 120);
    EXPECT_TRUE(result.refused);
    EXPECT_EQ(result.platformError, 50u);
}

TEST(SimDeviceAddressTest, OnlySimHostPortIsAccepted) {
    uint32_t address = 0;
    uint16_t port = 0;
    EXPECT_TRUE(parseSimDeviceAddress("sim:127.0.0.1:6578", address, port));
    EXPECT_EQ(port, 6578);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&address);
    EXPECT_EQ(bytes[0], 127);
    EXPECT_EQ(bytes[3], 1);
    for (const char* bad :
         {"sim:127.0.0.1", "sim:127.0.0.1:", "sim::6578", "tcp:127.0.0.1:6578",
          "sim:127.0.0.1:65536", "sim:127.0.0.1:0", "sim:127.0.0.1:65x", "sim:localhost:6578", ""})
        EXPECT_FALSE(parseSimDeviceAddress(bad, address, port)) << bad;
}

class NamedMutexTest : public ::testing::Test {
protected:
    // A name of this test run's own, so that parallel runs do not meet.
    std::string name = "vorl-test-mutex-" +
                       std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    // The POSIX lock file (nothing there on Windows).
    void TearDown() override { std::remove(("/tmp/" + name + ".lock").c_str()); }
};

TEST_F(NamedMutexTest, SecondHolderWaitsUntilTheFirstReleases) {
    auto first = createNamedMutex(name.c_str());
    auto second = createNamedMutex(name.c_str());
    ASSERT_TRUE(first && second);
    ASSERT_TRUE(first->lock());
    std::atomic<bool> acquired{false};
    std::thread waiter([&] {
        if (second->lock()) {
            acquired = true;
            second->unlock();
        }
    });
    systemSleepMs(100);
    EXPECT_FALSE(acquired);
    first->unlock();
    waiter.join();
    EXPECT_TRUE(acquired);
}

TEST_F(NamedMutexTest, AMutexHeldElsewhereIsGivenUpAfterTheTimeAllowed) {
    auto waiter = createNamedMutex(name.c_str());
    ASSERT_TRUE(waiter);
    std::atomic<int> step{0};
    // Another thread holds it (a Win32 mutex is recursive within one thread).
    std::thread holder([&] {
        auto mutex = createNamedMutex(name.c_str());
        if (!mutex || !mutex->lock()) {
            step = -1;
            return;
        }
        step = 1;
        while (step != 2) systemSleepMs(1);
        mutex->unlock();
        step = 3;
    });
    while (step == 0) systemSleepMs(1);
    if (step != 1) {
        holder.join();
        FAIL() << "the holder could not take the mutex";
    }
    EXPECT_EQ(waiter->lockWithin(200), LockResult::TimedOut);
    step = 2;
    while (step != 3) systemSleepMs(1);
    EXPECT_EQ(waiter->lockWithin(200), LockResult::Acquired);
    waiter->unlock();
    holder.join();
}

TEST_F(NamedMutexTest, HolderThatEndsWithoutReleasingHandsItOver) {
    std::thread holder([this] {
        auto mutex = createNamedMutex(name.c_str());
        ASSERT_TRUE(mutex);
        ASSERT_TRUE(mutex->lock());
        // Ends (and drops the mutex) while still holding it.
    });
    holder.join();
    auto next = createNamedMutex(name.c_str());
    ASSERT_TRUE(next);
    EXPECT_TRUE(next->lock());
    next->unlock();
}

}  // namespace
}  // namespace vorl::platform
