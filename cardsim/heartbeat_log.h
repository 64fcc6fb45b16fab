#pragma once
// The heartbeat commands the simulated card received (0xE5 start, 0xE6 heartbeat, 0xE7 stop),
// each with its time in milliseconds since the card started and its answer, kept in memory and
// printed as a line as it comes, so that a test can see the beats and their spacing:
//   vorlsim: heartbeat 0xE6 at 12345 ms, answered 30
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <vector>

namespace vorl::sim {

struct HeartbeatRecord {
    uint8_t opcode = 0;
    uint64_t atMs = 0;
    uint32_t answer = 0;
};

// Not locked: its owner serialises the calls.
class HeartbeatLog {
public:
    // The newest records kept in memory; older ones are dropped.
    static constexpr size_t kKept = 4096;

    // `output` receives a line per record (null: none).
    explicit HeartbeatLog(std::FILE* output);

    void record(uint8_t opcode, uint32_t answer);
    std::vector<HeartbeatRecord> records() const { return {records_.begin(), records_.end()}; }

private:
    std::FILE* output_;
    std::chrono::steady_clock::time_point started_;
    std::deque<HeartbeatRecord> records_;
};

}  // namespace vorl::sim
