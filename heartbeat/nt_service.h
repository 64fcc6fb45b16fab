#pragma once
// CNTService: the frame of a Windows service program. It installs, removes and reports itself
// ("-i", "-u", "-v"), hands itself to the service control manager, runs the worker (`Run`) on
// the service thread and answers controls on the dispatcher thread, reporting each state.
// All platform calls go through platform::ServiceManager, so the frame runs natively in tests.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/service_manager.h"

namespace vorl {

class CNTService {
public:
    static constexpr size_t kNameCapacity = 64;
    static constexpr uint32_t kProgramPathCapacity = 260;
    // Receives the console text of the options (standard output by default).
    using ConsoleWriter = std::function<void(const char* text)>;

    // Records the object as the process's one service (the entry point and the control handler
    // reach it through that). `serviceName` is cut to 63 characters.
    CNTService(const char* serviceName, platform::ServiceManager& manager);
    CNTService(const CNTService&) = delete;
    CNTService& operator=(const CNTService&) = delete;

    // The handlers. Each base version only writes its trace line; the base Run sleeps in
    // 5-second steps while the service runs.
    virtual ~CNTService();
    virtual void Run();
    // True when the service may run; false ends it before Run.
    virtual bool OnInit();
    virtual void OnStop();
    virtual void OnInterrogate();
    virtual void OnPause();
    virtual void OnContinue();
    virtual void OnShutdown();
    virtual void OnDeviceChange(uint32_t eventType, void* eventData, void* context);
    // Never called by the control handler; false: not handled.
    virtual bool OnUserControl(uint32_t control);

    // The whole program: an option ("-v", "-i", "-u") is carried out, anything else starts the
    // dispatcher. Returns the exit code (the status record's exit code).
    int runProgram(int argc, char** argv);
    // Carries out the option in argv[1] (compared without regard to case) and returns true;
    // false when there is none to carry out.
    bool parseStandardArgs(int argc, char** argv);
    bool isInstalled();
    // 0 when installed (or removed), else the platform's error code.
    uint32_t install();
    uint32_t uninstall();
    // Hands the calling thread to the service manager's dispatcher. Returns after the service
    // has stopped, or at once when the program was not started by the service manager.
    bool startService();

    // Stores `state` in the status record and sends the whole record.
    void setStatus(uint32_t state);
    // One diagnostic line: "[name](thread id): " and the message.
    [[gnu::format(printf, 2, 3)]] void trace(const char* format, ...);

    const char* serviceName() const { return serviceName_; }
    platform::ServiceStatus status() const;
    uint32_t exitCode() const { return status().win32ExitCode; }
    bool running() const { return running_.load() == 1; }
    void setConsole(ConsoleWriter console) { console_ = std::move(console); }

    // Called by the platform without an object: they reach the recorded service.
    static void serviceMain(uint32_t argc, char** argv);
    static uint32_t handler(uint32_t control, uint32_t eventType, void* eventData, void* context);

protected:
    // Progress for a service manager that follows it (no-ops on Windows).
    void reportReady() { manager_.reportReady(); }
    void reportActivity(const char* text) { manager_.reportActivity(text); }
    void workerAlive() { manager_.workerAlive(); }

    // "NAME=value" entries the installed service gets as its environment.
    void setServiceEnvironment(std::vector<std::string> entries) {
        environment_ = std::move(entries);
    }

    // 1 while the service runs. Written by the control handler on the dispatcher thread, read
    // by the worker on the service thread.
    std::atomic<int32_t> running_{0};

private:
    void runEntry();
    bool initialize();
    uint32_t handleControl(uint32_t control, uint32_t eventType, void* eventData, void* context);
    [[gnu::format(printf, 2, 3)]] void print(const char* format, ...);
    uint32_t failWith(uint32_t error);
    // True (and the exit code 1) where "-i" and "-u" belong to the platform's own tools.
    bool installedByPlatform();

    char serviceName_[kNameCapacity] = {};
    int32_t majorVersion_ = 1;
    int32_t minorVersion_ = 0;
    std::atomic<platform::ServiceStatusHandle> statusHandle_{0};
    // Both threads report: each report stores and sends the record under this lock, so the
    // service manager sees the reports in the order they were made.
    mutable std::mutex statusMutex_;
    platform::ServiceStatus status_;
    platform::ServiceManager& manager_;
    ConsoleWriter console_;
    std::vector<std::string> environment_;

    // The dispatcher returns as soon as the service reports it stopped, while the entry point
    // still has its last lines to run: startService waits for them, so the object outlives it.
    std::mutex entryMutex_;
    std::condition_variable entryLeft_;
    bool entryActive_ = false;
};

}  // namespace vorl
