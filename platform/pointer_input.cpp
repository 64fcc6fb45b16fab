#include "platform/pointer_input.h"

namespace vorl::platform {

RecordingPointerInput::RecordingPointerInput(size_t capacity)
    : events_(std::make_unique<PointerEvent[]>(capacity)), capacity_(capacity) {}

void RecordingPointerInput::send(const PointerEvent& event) {
    if (count_ < capacity_) events_[count_] = event;
    ++count_;
}

}  // namespace vorl::platform
