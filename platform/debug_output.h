#pragma once
// The platform's debug output channel: diagnostics only, never user output.
// Windows: OutputDebugStringA. POSIX: silent unless VORL_DEBUG is set ("stderr" or a file path,
// lines appended).
#include <mutex>
#include <string>
#include <vector>

namespace vorl::platform {

// Writes one line of diagnostics. `text` is NUL-terminated.
void debugOutput(const char* text);

// Test seam: while alive, debugOutput() lines are kept here instead of being written out.
// Lines may come from several threads; read lines() once they are done.
class DebugRecorder {
public:
    DebugRecorder();
    ~DebugRecorder();
    DebugRecorder(const DebugRecorder&) = delete;
    DebugRecorder& operator=(const DebugRecorder&) = delete;
    const std::vector<std::string>& lines() const { return lines_; }
    void record(const char* text) {
        std::lock_guard<std::mutex> guard(mutex_);
        lines_.emplace_back(text);
    }
    // A copy of the lines so far, while other threads may still be writing.
    std::vector<std::string> snapshot() const {
        std::lock_guard<std::mutex> guard(mutex_);
        return lines_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

// The platform's own channel, bypassing any recorder.
void systemDebugOutput(const char* text);

}  // namespace vorl::platform
