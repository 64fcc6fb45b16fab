#include "platform/thread_priority.h"

namespace vorl::platform {
namespace {

class UnchangedPriority : public ThreadPriority {
public:
    bool raiseToTimeCritical() override { return false; }
};

}  // namespace

std::unique_ptr<ThreadPriority> makeSystemThreadPriority() {
    return std::make_unique<UnchangedPriority>();
}

}  // namespace vorl::platform
