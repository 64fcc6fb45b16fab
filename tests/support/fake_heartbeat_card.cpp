#include "tests/support/fake_heartbeat_card.h"

#include <cstring>
#include <string>

#include "platform/thread_id.h"

namespace vorl::test {
namespace {

constexpr char kCardPath[] = "\\\\.\\E:";

class NoMutex : public platform::NamedMutex {
public:
    bool lock() override { return true; }
    void unlock() override {}
};

class CardDevice : public platform::ScsiDevice {
public:
    CardDevice(FakeHeartbeatCard& card, int backend) : card_(card), backend_(backend) {}
    ~CardDevice() override { card_.close(); }
    platform::PassThroughResult passThrough(const uint8_t* cdb, uint8_t, uint8_t* buffer,
                                            uint32_t size, platform::DataDirection,
                                            uint32_t) override {
        return card_.passThrough(backend_, cdb, buffer, size);
    }

private:
    FakeHeartbeatCard& card_;
    int backend_;
};

class CardBackend : public platform::DeviceBackend {
public:
    CardBackend(FakeHeartbeatCard& card, int number) : card_(card), number_(number) {}
    long queryDosDevice(const char* name, char* buffer, uint32_t capacity) override {
        return card_.queryDosDevice(number_, name, buffer, capacity);
    }
    std::unique_ptr<platform::ScsiDevice> openDevice(const char* path) override {
        if (std::strcmp(path, kCardPath) != 0 || !card_.open()) return nullptr;
        return std::make_unique<CardDevice>(card_, number_);
    }
    std::unique_ptr<platform::NamedMutex> createNamedMutex(const char*) override {
        return std::make_unique<NoMutex>();
    }

private:
    FakeHeartbeatCard& card_;
    int number_;
};

}  // namespace

std::unique_ptr<platform::DeviceBackend> FakeHeartbeatCard::makeBackend() {
    std::lock_guard<std::mutex> guard(mutex_);
    searches_.push_back(0);
    return std::make_unique<CardBackend>(*this, ++backends_);
}

void FakeHeartbeatCard::setPresent(bool present) {
    std::lock_guard<std::mutex> guard(mutex_);
    present_ = present;
}

void FakeHeartbeatCard::queueStartAnswers(std::vector<int64_t> answers) {
    std::lock_guard<std::mutex> guard(mutex_);
    startAnswers_.insert(startAnswers_.end(), answers.begin(), answers.end());
}

void FakeHeartbeatCard::queuePollAnswers(std::vector<int64_t> answers) {
    std::lock_guard<std::mutex> guard(mutex_);
    pollAnswers_.insert(pollAnswers_.end(), answers.begin(), answers.end());
}

void FakeHeartbeatCard::setDefaultAnswer(int64_t answer) {
    std::lock_guard<std::mutex> guard(mutex_);
    defaultAnswer_ = answer;
}

std::vector<HeartbeatEvent> FakeHeartbeatCard::events() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return events_;
}

std::vector<HeartbeatEvent> FakeHeartbeatCard::events(uint8_t opcode) const {
    std::vector<HeartbeatEvent> selected;
    for (const HeartbeatEvent& event : events())
        if (event.opcode == opcode) selected.push_back(event);
    return selected;
}

int FakeHeartbeatCard::searches(int backend) const {
    std::lock_guard<std::mutex> guard(mutex_);
    return backend >= 1 && backend <= backends_ ? searches_[static_cast<size_t>(backend - 1)] : 0;
}

int FakeHeartbeatCard::openNow() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return openNow_;
}

bool FakeHeartbeatCard::waitFor(const std::function<bool(const FakeHeartbeatCard&)>& done,
                                std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    // Polled: the condition may read the clock's pause count, which changes without notice.
    while (!done(*this)) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, std::chrono::milliseconds(2));
    }
    return true;
}

bool FakeHeartbeatCard::waitForEvents(uint8_t opcode, size_t count) const {
    return waitFor(
        [&](const FakeHeartbeatCard& card) { return card.events(opcode).size() >= count; });
}

long FakeHeartbeatCard::queryDosDevice(int backend, const char* name, char* buffer,
                                       uint32_t capacity) {
    std::lock_guard<std::mutex> guard(mutex_);
    std::string answer;
    if (name == nullptr) {
        ++searches_[static_cast<size_t>(backend - 1)];
        answer = present_ ? std::string("C:\0E:\0", 6) : std::string("C:\0", 3);
    } else if (std::strcmp(name, "C:") == 0) {
        answer = std::string("\\Device\\HarddiskVolume1\0", 24);
    } else if (std::strcmp(name, "E:") == 0 && present_) {
        answer = std::string("\\Device\\CdRom0\0", 15);
    } else {
        return 0;
    }
    answer.push_back('\0');
    if (answer.size() > capacity) return platform::kDeviceQueryTooSmall;
    std::memcpy(buffer, answer.data(), answer.size());
    changed_.notify_all();
    return static_cast<long>(answer.size());
}

bool FakeHeartbeatCard::open() {
    std::lock_guard<std::mutex> guard(mutex_);
    if (!present_) return false;
    ++openNow_;
    return true;
}

void FakeHeartbeatCard::close() {
    std::lock_guard<std::mutex> guard(mutex_);
    --openNow_;
}

platform::PassThroughResult FakeHeartbeatCard::passThrough(int backend, const uint8_t* cdb,
                                                           uint8_t* buffer, uint32_t size) {
    std::lock_guard<std::mutex> guard(mutex_);
    platform::PassThroughResult result;
    if (!present_) return result;  // the drive is gone: the platform refuses
    const uint8_t opcode = cdb[0];
    if (opcode == 0xEE) {
        static const char kSignature[10] = {'$', '$', '$', 'Z', 'O', 'R', '$', '$', '$', '\0'};
        std::memcpy(buffer, kSignature, size < 10 ? size : 10);
        result.refused = false;
        result.bytesMoved = size < 10 ? size : 10;
        return result;
    }
    if (opcode != 0xE5 && opcode != 0xE6 && opcode != 0xE7) return result;
    int64_t answer = 0;
    std::deque<int64_t>* queue = opcode == 0xE5 ? &startAnswers_ : &pollAnswers_;
    if (opcode != 0xE7) {
        answer = defaultAnswer_;
        if (!queue->empty()) {
            answer = queue->front();
            queue->pop_front();
        }
    }
    HeartbeatEvent event;
    event.opcode = opcode;
    event.backend = backend;
    event.failed = answer == kRefuse;
    event.thread = platform::currentThreadId();
    event.pausesBefore = clock_ != nullptr ? clock_->count() : 0;
    event.at = std::chrono::steady_clock::now();
    events_.push_back(event);
    changed_.notify_all();
    if (event.failed || size < 4) return result;
    const auto value = static_cast<uint32_t>(answer);
    for (int i = 0; i < 4; ++i) buffer[i] = static_cast<uint8_t>(value >> (8 * i));
    result.refused = false;
    result.bytesMoved = 4;
    return result;
}

}  // namespace vorl::test
