// Round trips of CardSession::transact over loopback TCP against an in-process simulated card:
// a small answer, a 64 KiB request and a 64 KiB answer (a flash block read). Each reports the
// recv calls the host made per transaction ("recv_per_transaction"). Before the receive buffer
// every answer cost 33 of them at least: one per header byte, then the payload.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "cardsim/sim_card.h"
#include "cardsim/sim_server.h"
#include "firmware/flash_records.h"
#include "protocol/card_session.h"
#include "protocol/network_transport.h"

namespace {

using namespace vorl;

struct LoggedInCard {
    sim::SimOptions options;
    sim::SimCard card{{}, options};
    sim::SimServer server{card, sim::SimFaults{}};
    std::unique_ptr<CardSession> session;

    LoggedInCard() {
        if (!server.listen("127.0.0.1", 0)) return;
        server.start();
        session = std::make_unique<CardSession>(1, "127.0.0.1", server.port());
        if (session->connect() != 0 || session->login("admin", "vorladmin") != 0) session.reset();
    }
};

LoggedInCard& card() {
    static LoggedInCard instance;
    return instance;
}

// recv calls on the host's side of the connection.
uint64_t hostReceiveCalls(CardSession& session) {
    return static_cast<NetworkTransport&>(session.transport()).receiveCalls();
}

void reportReceiveCalls(benchmark::State& state, CardSession& session, uint64_t before) {
    state.counters["recv_per_transaction"] =
        state.iterations() == 0 ? 0.0
                                : static_cast<double>(hostReceiveCalls(session) - before) /
                                      static_cast<double>(state.iterations());
}

void BM_SmallAnswer(benchmark::State& state) {
    CardSession* session = card().session.get();
    if (!session) return state.SkipWithError("no simulated card");
    uint8_t buffer[16 * 32];
    const uint64_t before = hostReceiveCalls(*session);
    for (auto _ : state) {
        uint32_t responseLength = 0;
        if (session->transact(0x0503, buffer, 0, responseLength, 0, sizeof buffer) != 0)
            return state.SkipWithError("transaction failed");
    }
    state.SetItemsProcessed(state.iterations());
    reportReceiveCalls(state, *session, before);
}
BENCHMARK(BM_SmallAnswer);

void BM_64KiBRequest(benchmark::State& state) {
    CardSession* session = card().session.get();
    if (!session) return state.SkipWithError("no simulated card");
    // An unknown command: the card reads all of it and answers with a bare header.
    std::vector<uint8_t> buffer(65536, 0x5A);
    const uint64_t before = hostReceiveCalls(*session);
    for (auto _ : state) {
        uint32_t responseLength = 0;
        session->transact(0x7F00, buffer.data(), 65536, responseLength, 0, 65536);
    }
    state.SetBytesProcessed(state.iterations() * 65536);
    reportReceiveCalls(state, *session, before);
}
BENCHMARK(BM_64KiBRequest);

void BM_64KiBAnswer(benchmark::State& state) {
    CardSession* session = card().session.get();
    if (!session) return state.SkipWithError("no simulated card");
    auto record = std::make_unique<FlashBlockRecord>();
    const uint64_t before = hostReceiveCalls(*session);
    for (auto _ : state) {
        record->setBlockNumber(5);
        if (session->readFlashBlock(*record) != 0)
            return state.SkipWithError("flash block read failed");
    }
    state.SetBytesProcessed(state.iterations() * 65536);
    reportReceiveCalls(state, *session, before);
}
BENCHMARK(BM_64KiBAnswer);

}  // namespace

BENCHMARK_MAIN();
