#include "platform/pointer_input.h"

namespace vorl::platform {
namespace {

// No input device is driven on POSIX yet; the events go nowhere.
class NoPointerInput : public PointerInput {
public:
    void send(const PointerEvent&) override {}
};

}  // namespace

std::unique_ptr<PointerInput> makeSystemPointerInput() {
    return std::make_unique<NoPointerInput>();
}

}  // namespace vorl::platform
