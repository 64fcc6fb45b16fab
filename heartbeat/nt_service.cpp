// CNTService: construction, tracing, the command-line options and the service's registration.
#include "heartbeat/nt_service.h"

#include <atomic>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/debug_output.h"
#include "platform/thread_id.h"

namespace vorl {
namespace {

using namespace platform::service;

std::atomic<CNTService*> currentService{nullptr};

bool sameOption(const char* argument, const char* option) {
    for (; *argument != '\0' && *option != '\0'; ++argument, ++option) {
        if (std::tolower(static_cast<unsigned char>(*argument)) != *option) return false;
    }
    return *argument == *option;
}

void writeToStandardOutput(const char* text) {
    std::fputs(text, stdout);
    std::fflush(stdout);
}

}  // namespace

CNTService::CNTService(const char* serviceName, platform::ServiceManager& manager)
    : manager_(manager), console_(writeToStandardOutput) {
    std::snprintf(serviceName_, sizeof serviceName_, "%s", serviceName);
    status_.serviceType = kWin32OwnProcess;
    status_.currentState = kStopped;
    status_.controlsAccepted = kAcceptStop | kAcceptShutdown;
    currentService.store(this);
}

CNTService::~CNTService() {
    trace("CNTService::~CNTService()");
    CNTService* self = this;
    currentService.compare_exchange_strong(self, nullptr);
}

void CNTService::serviceMain(uint32_t, char**) {
    if (CNTService* service = currentService.load()) service->runEntry();
}

uint32_t CNTService::handler(uint32_t control, uint32_t eventType, void* eventData, void* context) {
    CNTService* service = currentService.load();
    return service != nullptr ? service->handleControl(control, eventType, eventData, context)
                              : kErrorCallNotImplemented;
}

void CNTService::trace(const char* format, ...) {
    char line[1024];
    const int prefix =
        std::snprintf(line, sizeof line, "[%s](%lu): ", serviceName_, platform::currentThreadId());
    size_t used = prefix > 0 ? static_cast<size_t>(prefix) : 0;
    va_list arguments;
    va_start(arguments, format);
    const int body = std::vsnprintf(line + used, sizeof line - used, format, arguments);
    va_end(arguments);
    if (body > 0) used += static_cast<size_t>(body);
    // A line cut to fit still ends with its newline and terminator.
    if (used > sizeof line - 2) used = sizeof line - 2;
    line[used] = '\n';
    line[used + 1] = '\0';
    platform::debugOutput(line);
}

void CNTService::print(const char* format, ...) {
    char text[1024];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    console_(text);
}

platform::ServiceStatus CNTService::status() const {
    std::lock_guard<std::mutex> guard(statusMutex_);
    return status_;
}

int CNTService::runProgram(int argc, char** argv) {
    if (!parseStandardArgs(argc, argv)) startService();
    return static_cast<int>(exitCode());
}

bool CNTService::parseStandardArgs(int argc, char** argv) {
    if (argc < 2 || argv[1] == nullptr) return false;
    const char* option = argv[1];
    if (sameOption(option, "-v")) {
        print("%s Version %d.%d\n", serviceName_, majorVersion_, minorVersion_);
        print("The service is %s installed\n", isInstalled() ? "currently" : "not");
        return true;
    }
    if ((sameOption(option, "-i") || sameOption(option, "-u")) && installedByPlatform())
        return true;
    if (sameOption(option, "-i")) {
        if (isInstalled()) {
            print("%s is already installed\n", serviceName_);
        } else if (const uint32_t error = install(); error == 0) {
            print("%s installed\n", serviceName_);
        } else {
            print("%s failed to install. Error %d\n", serviceName_, static_cast<int>(error));
        }
        return true;
    }
    if (sameOption(option, "-u")) {
        if (!isInstalled()) {
            print("%s is not installed\n", serviceName_);
        } else if (const uint32_t error = uninstall(); error == 0) {
            char path[kProgramPathCapacity] = {};
            const uint32_t length = manager_.programPath(path, sizeof path);
            if (length >= sizeof path) path[sizeof path - 1] = '\0';
            print("%s removed. (You must delete the file (%s) yourself.)\n", serviceName_, path);
        } else {
            print("Could not remove %s. Error %d\n", serviceName_, static_cast<int>(error));
        }
        return true;
    }
    return false;
}

bool CNTService::isInstalled() {
    return manager_.isInstalled(serviceName_);
}

uint32_t CNTService::install() {
    char path[kProgramPathCapacity] = {};
    const uint32_t length = manager_.programPath(path, sizeof path);
    // A path cut to fit would install a service that runs some other program, or none.
    if (length == 0) return failWith(manager_.lastError());
    if (length >= sizeof path) return failWith(kErrorInsufficientBuffer);
    // Quoted: the service manager splits an unquoted command line at its first blank and
    // would run "C:\Program.exe" for "C:\Program Files\...".
    char commandLine[kProgramPathCapacity + 2];
    std::snprintf(commandLine, sizeof commandLine, "\"%s\"", path);
    if (const uint32_t error = manager_.install(serviceName_, commandLine); error != 0)
        return failWith(error);
    if (!environment_.empty()) {
        const uint32_t error = manager_.setServiceEnvironment(serviceName_, environment_);
        if (error != 0)
            trace("Could not give the service its environment. Error %lu",
                  static_cast<unsigned long>(error));
    }
    return 0;
}

uint32_t CNTService::uninstall() {
    if (const uint32_t error = manager_.uninstall(serviceName_); error != 0) return failWith(error);
    return 0;
}

bool CNTService::installedByPlatform() {
    const char* advice = manager_.installedByPlatform();
    if (advice == nullptr) return false;
    print("%s", advice);
    failWith(1);
    return true;
}

// A failed install or removal ends the program with the platform's error code, so that a
// script sees the failure the console reports.
uint32_t CNTService::failWith(uint32_t error) {
    if (error == 0) error = kErrorCallNotImplemented;  // a failure must never read as success
    std::lock_guard<std::mutex> guard(statusMutex_);
    status_.win32ExitCode = error;
    return error;
}

}  // namespace vorl
