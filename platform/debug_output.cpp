#include "platform/debug_output.h"

#include <atomic>

namespace vorl::platform {
namespace {
std::atomic<DebugRecorder*> activeRecorder{nullptr};
}

void debugOutput(const char* text) {
    if (DebugRecorder* recorder = activeRecorder.load()) {
        recorder->record(text);
        return;
    }
    systemDebugOutput(text);
}

DebugRecorder::DebugRecorder() {
    activeRecorder.store(this);
}
DebugRecorder::~DebugRecorder() {
    activeRecorder.store(nullptr);
}

}  // namespace vorl::platform
