#pragma once
// Synthetic pointer input: what the tray program feeds into the machine's mouse input.
// Win32: mouse_event. POSIX: none yet (events are dropped). A recorder for tests.
#include <cstddef>
#include <cstdint>
#include <memory>

namespace vorl::platform {

// Event flags, with the values mouse_event takes.
namespace pointer {
constexpr uint32_t kMove = 0x0001;
constexpr uint32_t kLeftDown = 0x0002;
constexpr uint32_t kLeftUp = 0x0004;
constexpr uint32_t kRightDown = 0x0008;
constexpr uint32_t kRightUp = 0x0010;
constexpr uint32_t kMiddleDown = 0x0020;
constexpr uint32_t kMiddleUp = 0x0040;
constexpr uint32_t kAbsolute = 0x8000;
// The absolute range of a position: 0 is the left (top) edge, kMaxAbsolute the right (bottom).
constexpr uint32_t kMaxAbsolute = 65535;
}  // namespace pointer

struct PointerEvent {
    uint32_t flags = 0;  // pointer::k* bits
    uint32_t x = 0;      // 0..kMaxAbsolute with kAbsolute
    uint32_t y = 0;
    bool operator==(const PointerEvent&) const = default;
};

class PointerInput {
public:
    virtual ~PointerInput() = default;
    // Injects one event into the machine's input queue. Returns nothing: the platform call
    // reports no failure either.
    virtual void send(const PointerEvent& event) = 0;
};

// The build's own input: mouse_event on Windows; on POSIX one that drops every event.
std::unique_ptr<PointerInput> makeSystemPointerInput();

// Keeps the events it is given, up to a capacity fixed at construction, so that sending
// never allocates. Events past the capacity are counted, not kept.
class RecordingPointerInput : public PointerInput {
public:
    explicit RecordingPointerInput(size_t capacity = 4096);
    void send(const PointerEvent& event) override;

    size_t count() const { return count_; }
    // The kept events (the first `capacity` ones).
    const PointerEvent* begin() const { return events_.get(); }
    const PointerEvent* end() const {
        return events_.get() + (count_ < capacity_ ? count_ : capacity_);
    }
    const PointerEvent& operator[](size_t i) const { return events_[i]; }
    void clear() { count_ = 0; }

private:
    std::unique_ptr<PointerEvent[]> events_;
    size_t capacity_;
    size_t count_ = 0;
};

}  // namespace vorl::platform
