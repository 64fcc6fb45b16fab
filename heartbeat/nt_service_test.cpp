#include "heartbeat/nt_service.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "platform/debug_output.h"
#include "platform/sleep.h"
#include "platform/thread_id.h"
#include "tests/support/fake_service_manager.h"

namespace vorl {
namespace {

using namespace platform::service;
using test::FakeServiceManager;

constexpr const char* kName = "Probe Service";

class ProbeService : public CNTService {
public:
    explicit ProbeService(platform::ServiceManager& manager) : CNTService(kName, manager) {}
    bool OnInit() override {
        CNTService::OnInit();
        return initSucceeds;
    }
    void giveEnvironment(std::vector<std::string> entries) {
        setServiceEnvironment(std::move(entries));
    }
    bool initSucceeds = true;
};

bool hasLine(const std::vector<std::string>& lines, const std::string& wanted) {
    return std::find(lines.begin(), lines.end(), wanted) != lines.end();
}

class ServiceFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        service.setConsole([this](const char* text) { console += text; });
    }

    // Runs the program with one argument (or none) and returns its exit code.
    int run(const char* argument = nullptr) {
        console.clear();
        char program[] = "vorlpulse.exe";
        std::string word = argument != nullptr ? argument : "";
        char* argv[] = {program, word.data(), nullptr};
        return service.runProgram(argument != nullptr ? 2 : 1, argv);
    }

    // Starts the program as the service manager would, on a thread of its own.
    void startAsService() {
        program = std::thread([this] { exit = run(); });
        ASSERT_TRUE(manager.waitForState(kRunning));
    }
    void TearDown() override {
        if (program.joinable()) {
            if (service.running()) manager.control(kControlStop);
            program.join();
        }
    }

    std::string prefix(unsigned long thread) const {
        return "[" + std::string(kName) + "](" + std::to_string(thread) + "): ";
    }

    // Destroyed last: the service thread pauses through it until it has been joined.
    platform::ScaledSleep clock{1};
    platform::DebugRecorder debug;
    FakeServiceManager manager;
    ProbeService service{manager};
    std::string console;
    std::thread program;
    int exit = -1;
};

TEST_F(ServiceFrameTest, VersionOptionInAnyCaseReportsInstallation) {
    EXPECT_EQ(run("-v"), 0);
    EXPECT_EQ(console, "Probe Service Version 1.0\nThe service is not installed\n");
    EXPECT_EQ(run("-i"), 0);
    EXPECT_EQ(run("-V"), 0);
    EXPECT_EQ(console, "Probe Service Version 1.0\nThe service is currently installed\n");
    // An option never reaches the dispatcher.
    EXPECT_EQ(manager.dispatcherThread(), 0u);
}

TEST_F(ServiceFrameTest, InstallQuotesThePathAndRefusesASecondInstall) {
    manager.path = "C:\\Program Files\\VORL Suite\\vorlpulse.exe";
    EXPECT_EQ(run("-I"), 0);
    EXPECT_EQ(console, "Probe Service installed\n");
    ASSERT_EQ(manager.services.count(kName), 1u);
    EXPECT_EQ(manager.services[kName].commandLine,
              "\"C:\\Program Files\\VORL Suite\\vorlpulse.exe\"");
    EXPECT_TRUE(manager.services[kName].environment.empty());

    manager.services[kName].commandLine = "unchanged";
    EXPECT_EQ(run("-i"), 0);
    EXPECT_EQ(console, "Probe Service is already installed\n");
    EXPECT_EQ(manager.services[kName].commandLine, "unchanged");
}

TEST_F(ServiceFrameTest, InstallGivesTheServiceItsEnvironment) {
    service.giveEnvironment({"VORL_HOSTIFC=sim:127.0.0.1:6578"});
    EXPECT_EQ(run("-i"), 0);
    EXPECT_EQ(manager.services[kName].environment,
              std::vector<std::string>{"VORL_HOSTIFC=sim:127.0.0.1:6578"});

    // The service is installed even when its environment cannot be written; the trace says so.
    manager.services.clear();
    manager.environmentError = 5;
    EXPECT_EQ(run("-i"), 0);
    EXPECT_EQ(console, "Probe Service installed\n");
    EXPECT_TRUE(
        hasLine(debug.snapshot(), prefix(platform::currentThreadId()) +
                                      "Could not give the service its environment. Error 5\n"));
}

TEST_F(ServiceFrameTest, FailedInstallReportsTheErrorAndEndsWithIt) {
    manager.installError = 1078;
    EXPECT_EQ(run("-i"), 1078);
    EXPECT_EQ(console, "Probe Service failed to install. Error 1078\n");
    EXPECT_TRUE(manager.services.empty());
}

TEST_F(ServiceFrameTest, PathThatDoesNotFitItsBufferIsNeverInstalled) {
    // 259 characters fit; 260 would be cut by the platform.
    manager.path = "C:\\" + std::string(256, 'p');
    EXPECT_EQ(run("-i"), 0);
    EXPECT_EQ(manager.services[kName].commandLine, "\"" + manager.path + "\"");

    manager.services.clear();
    manager.path = "C:\\" + std::string(257, 'p');
    EXPECT_EQ(run("-i"), 122);
    EXPECT_EQ(console, "Probe Service failed to install. Error 122\n");
    EXPECT_TRUE(manager.services.empty());
}

TEST_F(ServiceFrameTest, UninstallRemovesOrSaysWhyNot) {
    EXPECT_EQ(run("-u"), 0);
    EXPECT_EQ(console, "Probe Service is not installed\n");

    run("-i");
    manager.uninstallError = 1072;
    EXPECT_EQ(run("-U"), 1072);
    EXPECT_EQ(console, "Could not remove Probe Service. Error 1072\n");
    EXPECT_EQ(manager.services.count(kName), 1u);

    manager.uninstallError = 0;
    run("-u");
    EXPECT_EQ(console,
              "Probe Service removed. (You must delete the file (C:\\Program Files\\VORL "
              "Suite\\vorlpulse.exe) yourself.)\n");
    EXPECT_TRUE(manager.services.empty());
}

TEST_F(ServiceFrameTest, ManagerThatDoesNotOpenMeansNotInstalled) {
    manager.services[kName] = {};
    manager.managerOpens = false;
    run("-v");
    EXPECT_EQ(console, "Probe Service Version 1.0\nThe service is not installed\n");
    EXPECT_EQ(run("-i"), 5);
    EXPECT_EQ(console, "Probe Service failed to install. Error 5\n");
}

TEST_F(ServiceFrameTest, AnythingButAnOptionStartsTheDispatcher) {
    manager.startedByManager = false;
    for (const char* argument : {"/v", "-x", "-vv", ""}) {
        EXPECT_EQ(run(argument), 0) << argument;
        EXPECT_EQ(console, "") << argument;
    }
    EXPECT_EQ(run(), 0);
    const auto lines = debug.snapshot();
    const std::string own = prefix(platform::currentThreadId());
    EXPECT_TRUE(hasLine(lines, own + "Calling StartServiceCtrlDispatcher()\n"));
    EXPECT_TRUE(hasLine(lines, own + "Returned from StartServiceCtrlDispatcher()\n"));
    EXPECT_TRUE(manager.reports().empty());
}

TEST_F(ServiceFrameTest, StopGoesThroughStopPendingToStopped) {
    startAsService();
    EXPECT_NE(manager.serviceThread(), manager.dispatcherThread());
    EXPECT_EQ(manager.control(kControlStop), 0u);
    program.join();
    EXPECT_EQ(exit, 0);
    EXPECT_EQ(manager.stateSequence(),
              (std::vector<uint32_t>{kStartPending, kRunning, kStopPending, kStopped}));
    for (const auto& report : manager.reports()) {
        EXPECT_EQ(report.handle, 0x5EEDu);
        EXPECT_EQ(report.status.serviceType, 16u);
        // Stop and shutdown only: pause and continue are never advertised.
        EXPECT_EQ(report.status.controlsAccepted, 5u);
        EXPECT_EQ(report.status.win32ExitCode, 0u);
    }
    // The stop request is reported from the dispatcher's thread, the end from the service's.
    const auto reports = manager.reports();
    auto pending = std::find_if(reports.begin(), reports.end(), [](const auto& r) {
        return r.status.currentState == kStopPending;
    });
    ASSERT_NE(pending, reports.end());
    EXPECT_EQ(pending->thread, manager.dispatcherThread());
    EXPECT_EQ(reports.back().thread, manager.serviceThread());

    const auto lines = debug.snapshot();
    const std::string worker = prefix(manager.serviceThread());
    const std::string dispatcher = prefix(manager.dispatcherThread());
    for (const std::string& line :
         {worker + "Entering CNTService::ServiceMain()\n", worker + "CNTService::OnInit()\n",
          worker + "Entering CNTService::Run()\n", worker + "Leaving CNTService::Run()\n",
          worker + "CNTService::SetStatus(24301, 1)\n",
          std::string("Setting status to service stooped\n"),
          worker + "Leaving CNTService::ServiceMain()\n", dispatcher + "CNTService::Handler(1)\n",
          dispatcher + "CNTService::OnStop()\n", dispatcher + "CNTService::SetStatus(24301, 3)\n"})
        EXPECT_TRUE(hasLine(lines, line)) << line;
}

TEST_F(ServiceFrameTest, FailedInitGoesFromStartPendingStraightToStopped) {
    service.initSucceeds = false;
    manager.lastErrorValue = 1064;
    program = std::thread([this] { exit = run(); });
    program.join();
    EXPECT_EQ(exit, 1064);
    std::vector<uint32_t> states;
    for (const auto& report : manager.reports()) states.push_back(report.status.currentState);
    EXPECT_EQ(states, (std::vector<uint32_t>{kStartPending, kStopped, kStopped}));
    EXPECT_FALSE(hasLine(debug.snapshot(),
                         prefix(manager.serviceThread()) + "Entering CNTService::Run()\n"));
}

TEST_F(ServiceFrameTest, FailedHandlerRegistrationReportsNothing) {
    manager.registrationFails = true;
    program = std::thread([this] { exit = run(); });
    program.join();
    EXPECT_EQ(exit, 0);
    EXPECT_TRUE(manager.reports().empty());
}

TEST_F(ServiceFrameTest, EveryControlSendsTheStatusAndUnknownOnesAnswer120) {
    startAsService();
    const std::string dispatcher = prefix(manager.dispatcherThread());
    struct Case {
        uint32_t control;
        uint32_t result;
        const char* traced;
    };
    for (const Case& c :
         {Case{kControlParamChange, 120, nullptr}, Case{kControlPause, 0, "CNTService::OnPause()"},
          Case{kControlContinue, 0, "CNTService::OnContinue()"},
          Case{kControlInterrogate, 0, "CNTService::OnInterrogate()"},
          Case{kControlDeviceEvent, 0, "CNTService::OnDeviceChange()"}, Case{200, 120, nullptr}}) {
        const size_t before = manager.reports().size();
        EXPECT_EQ(manager.control(c.control), c.result) << c.control;
        const auto reports = manager.reports();
        ASSERT_EQ(reports.size(), before + 1) << c.control;
        EXPECT_EQ(reports.back().status.currentState, kRunning);
        EXPECT_EQ(reports.back().thread, manager.dispatcherThread());
        const auto lines = debug.snapshot();
        EXPECT_TRUE(hasLine(
            lines, dispatcher + "CNTService::Handler(" + std::to_string(c.control) + ")\n"));
        if (c.traced != nullptr) {
            EXPECT_TRUE(hasLine(lines, dispatcher + c.traced + "\n"));
        }
        EXPECT_TRUE(service.running());
    }
    EXPECT_TRUE(hasLine(debug.snapshot(), dispatcher + "Updating status (24301, 4)\n"));
}

TEST_F(ServiceFrameTest, ShutdownEndsTheServiceWithoutStopPending) {
    startAsService();
    EXPECT_EQ(manager.control(kControlShutdown), 0u);
    program.join();
    EXPECT_EQ(manager.stateSequence(), (std::vector<uint32_t>{kStartPending, kRunning, kStopped}));
    EXPECT_TRUE(hasLine(debug.snapshot(),
                        prefix(manager.dispatcherThread()) + "CNTService::OnShutdown()\n"));
}

TEST_F(ServiceFrameTest, TraceLinesCarryNameAndThreadAndAreCutToTheirBuffer) {
    service.OnUserControl(0x80);
    service.trace("%s", std::string(2000, 'x').c_str());
    const auto lines = debug.snapshot();
    const std::string own = prefix(platform::currentThreadId());
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], own + "CNTService::OnUserControl(00000080H)\n");
    const std::string& cut = lines.back();
    EXPECT_EQ(cut.size(), 1023u);
    EXPECT_EQ(cut.substr(0, own.size()), own);
    EXPECT_EQ(cut.back(), '\n');
}

}  // namespace
}  // namespace vorl
