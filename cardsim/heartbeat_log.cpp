#include "cardsim/heartbeat_log.h"

namespace vorl::sim {

HeartbeatLog::HeartbeatLog(std::FILE* output)
    : output_(output), started_(std::chrono::steady_clock::now()) {}

void HeartbeatLog::record(uint8_t opcode, uint32_t answer) {
    HeartbeatRecord record;
    record.opcode = opcode;
    record.atMs = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                            std::chrono::steady_clock::now() - started_)
                                            .count());
    record.answer = answer;
    if (records_.size() == kKept) records_.pop_front();
    records_.push_back(record);
    if (output_ == nullptr) return;
    std::fprintf(output_, "vorlsim: heartbeat 0x%02X at %llu ms, answered %lu\n",
                 static_cast<unsigned>(opcode), static_cast<unsigned long long>(record.atMs),
                 static_cast<unsigned long>(answer));
    std::fflush(output_);
}

}  // namespace vorl::sim
