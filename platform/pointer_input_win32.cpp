#include <windows.h>

#include "platform/pointer_input.h"

namespace vorl::platform {
namespace {

class MouseEventInput : public PointerInput {
public:
    void send(const PointerEvent& event) override {
        mouse_event(event.flags, event.x, event.y, 0, 0);
    }
};

}  // namespace

std::unique_ptr<PointerInput> makeSystemPointerInput() {
    return std::make_unique<MouseEventInput>();
}

}  // namespace vorl::platform
