// The web layer against real loopback clients, its deadlines reached through a clock moved by
// hand: whole-head and handshake deadlines from the first byte, idle and write deadlines, the
// oldest idle connection making room, size caps with a per-route body limit, answers from
// other threads, streams, and clients that leave.
#include "web/server.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/support/http_test_client.h"
#include "tests/support/manual_clock.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_certificate.h"
#include "web/router.h"

namespace vorl::web {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using testing::HttpTestClient;

constexpr const char* kHello = "GET /hello HTTP/1.1\r\nHost: x\r\n\r\n";

// Responders a handler kept, for the test to answer from its own thread.
class Parked {
public:
    void add(Responder responder) {
        {
            std::lock_guard<std::mutex> guard(mutex_);
            responders_.push_back(std::move(responder));
        }
        changed_.notify_all();
    }
    // The responder parked `count`-th (from 1), waiting 10 s at most for it.
    std::optional<Responder> wait(size_t count) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!changed_.wait_for(lock, seconds(10), [&] { return responders_.size() >= count; }))
            return std::nullopt;
        return responders_[count - 1];
    }
    void clear() {
        std::lock_guard<std::mutex> guard(mutex_);
        responders_.clear();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Responder> responders_;
};

class WebServerTest : public ::testing::Test {
protected:
    WebServerTest() {
        router_
            .add("GET", "/hello", [](Request, Responder r) { r.send(textResponse(200, "hello")); })
            .add("POST", "/echo",
                 [](Request q, Responder r) { r.send(textResponse(200, std::move(q.body))); })
            .add("POST", "/upload",
                 [](Request q, Responder r) {
                     r.send(textResponse(200, std::to_string(q.body.size())));
                 })
            .add("GET", "/later", [this](Request, Responder r) { parked_.add(std::move(r)); })
            .add("GET", "/forget", [](Request, Responder) {})
            .add("GET", "/split",
                 [](Request, Responder r) {
                     Response split = textResponse(200, "x");
                     split.headers.add("X-Note", "a\r\nSet-Cookie: stolen=1");
                     r.send(std::move(split));
                 })
            .add("GET", "/throw", [](Request, Responder) -> void { throw std::runtime_error("x"); })
            .add("GET", "/big", [](Request, Responder r) {
                r.send(textResponse(200, std::string(16 << 20, 'b')));
            });
    }
    ~WebServerTest() override {
        parked_.clear();  // every Responder goes before the server
        server_.reset();
    }

    void start(Limits limits = {}, TlsContext tls = nullptr, BodyLimitHook hook = {}) {
        ServerSettings settings;
        settings.listenAddresses = {"127.0.0.1:0"};
        settings.limits = limits;
        settings.tls = std::move(tls);
        settings.clock = clock_;
        settings.bodyLimit = std::move(hook);
        server_ = std::make_unique<Server>(std::move(settings), router_.handler());
        std::string error;
        ASSERT_TRUE(server_->start(error)) << error;
        port_ = server_->port();
    }

    // True once `holds(stats)` (10 s at most).
    template <typename Predicate>
    bool statsReach(Predicate holds) {
        const auto until = std::chrono::steady_clock::now() + seconds(10);
        while (!holds(server_->stats())) {
            if (std::chrono::steady_clock::now() > until) return false;
            std::this_thread::sleep_for(milliseconds(2));
        }
        return true;
    }

    std::shared_ptr<testing::ManualClock> clock_ = std::make_shared<testing::ManualClock>();
    Router router_;
    Parked parked_;
    std::unique_ptr<Server> server_;
    uint16_t port_ = 0;
};

TEST_F(WebServerTest, KeepAliveHeadPipeliningAndRefusals) {
    start();
    HttpTestClient client(port_);
    ASSERT_TRUE(client.send(kHello));
    auto answer = client.read();
    EXPECT_EQ(200, answer.status);
    EXPECT_EQ("hello", answer.body);
    EXPECT_EQ(0u, answer.headers.count("connection"));  // kept alive
    // HEAD: the GET handler's length, no body (the next answer would be garbled otherwise).
    ASSERT_TRUE(client.send("HEAD /hello HTTP/1.1\r\nHost: x\r\n\r\n"));
    answer = client.readHead();
    EXPECT_EQ(200, answer.status);
    EXPECT_EQ("5", answer.headers["content-length"]);
    // Three requests in one send are answered in order; a POST without a body is served.
    ASSERT_TRUE(
        client.send("POST /echo HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\n\r\nabc"
                    "GET /nothing HTTP/1.1\r\nHost: x\r\n\r\n"
                    "POST /echo HTTP/1.1\r\nHost: x\r\n\r\n"));
    answer = client.read();
    EXPECT_EQ(200, answer.status);
    EXPECT_EQ("abc", answer.body);
    EXPECT_EQ(404, client.read().status);
    answer = client.read();
    EXPECT_EQ(200, answer.status);
    EXPECT_EQ("", answer.body);
    ASSERT_TRUE(client.send("DELETE /hello HTTP/1.1\r\nHost: x\r\n\r\n"));
    answer = client.read();
    EXPECT_EQ(405, answer.status);
    EXPECT_EQ("GET", answer.headers["allow"]);
    // A handler that throws, drops its Responder unanswered, or puts a line break in a header
    // value (which would split the answer): 500, and the client goes on.
    for (const char* path : {"/throw", "/forget", "/split"}) {
        ASSERT_TRUE(client.send(std::string("GET ") + path + " HTTP/1.1\r\nHost: x\r\n\r\n"));
        EXPECT_EQ(500, client.read().status) << path;
    }
    ASSERT_TRUE(client.send("GET /hello HTTP/1.0\r\n\r\n"));  // 1.0 without keep-alive
    answer = client.read();
    EXPECT_EQ("close", answer.headers["connection"]);
    EXPECT_TRUE(client.closedByServer());

    const std::pair<const char*, int> refused[] = {
        {"NOT HTTP AT ALL\r\n\r\n", 400},
        {"POST /echo HTTP/1.1\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n", 400},
        {"POST /echo HTTP/1.1\r\nTransfer-Encoding: gzip\r\n\r\nabc", 501}};
    for (const auto& [request, status] : refused) {
        HttpTestClient garbage(port_);
        ASSERT_TRUE(garbage.send(request));
        EXPECT_EQ(status, garbage.read().status) << request;
        EXPECT_TRUE(garbage.closedByServer());
    }
}

TEST_F(WebServerTest, TheHeadDeadlineCountsFromTheFirstByteNotFromEachRead) {
    start();  // head 5 s (and as long for a new connection's first byte)
    HttpTestClient trickler(port_);
    ASSERT_TRUE(clock_->waitArmed(seconds(5)));
    clock_->advance(milliseconds(1));  // tells the head's deadline from the first one
    ASSERT_TRUE(trickler.send("GET /hello HTTP/1.1\r\nHo"));
    ASSERT_TRUE(clock_->waitArmed(seconds(5)));
    clock_->advance(seconds(3));
    ASSERT_TRUE(trickler.send("st: x\r\n"));
    clock_->advance(seconds(2));  // 5 s after the first byte, 2 s after the last read
    EXPECT_TRUE(trickler.closedByServer());

    // A head that is whole in time is answered, however it came.
    HttpTestClient slow(port_);
    ASSERT_TRUE(clock_->waitArmed(seconds(5)));
    clock_->advance(milliseconds(1));
    ASSERT_TRUE(slow.send("GET /hello HTTP/1.1\r\nHost: x\r\n"));
    ASSERT_TRUE(clock_->waitArmed(seconds(5)));
    clock_->advance(milliseconds(4900));
    ASSERT_TRUE(slow.send("\r\n"));
    EXPECT_EQ(200, slow.read().status);
    EXPECT_EQ(1u, server_->stats().timedOut);
}

TEST_F(WebServerTest, SilentConnectionsCloseAtTheHeadDeadlineKeptOnesAtTheIdleOne) {
    Limits limits;
    limits.idleTimeout = seconds(30);
    start(limits);
    HttpTestClient silent(port_);
    ASSERT_TRUE(clock_->waitArmed(seconds(5)));
    clock_->advance(seconds(4));
    HttpTestClient kept(port_);
    ASSERT_TRUE(kept.send(kHello));
    EXPECT_EQ(200, kept.read().status);
    EXPECT_EQ(0u, server_->stats().timedOut);
    ASSERT_TRUE(clock_->waitArmed(seconds(30)));  // kept: idle from now
    clock_->advance(seconds(1));
    EXPECT_TRUE(silent.closedByServer());
    clock_->advance(seconds(28));
    EXPECT_TRUE(statsReach([](const ServerStats& s) { return s.open == 1; }));
    clock_->advance(seconds(1));
    EXPECT_TRUE(kept.closedByServer());
    EXPECT_TRUE(statsReach([](const ServerStats& s) { return s.open == 0 && s.timedOut == 2; }));
}

TEST_F(WebServerTest, TlsRequestsAndAHandshakeDeadlineFromItsFirstByte) {
    test::TempDir dir;
    WebConfig web;
    web.certFile = dir.file("cert.pem");
    web.keyFile = dir.file("key.pem");
    ASSERT_TRUE(testing::writeTestCertificate(web.certFile, web.keyFile));
    std::string error;
    TlsContext tls = makeTlsContext(web, error);
    ASSERT_TRUE(tls) << error;
    Limits limits;
    limits.handshakeTimeout = seconds(3);
    start(limits, tls);
    std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> client(SSL_CTX_new(TLS_client_method()),
                                                             SSL_CTX_free);

    HttpTestClient secure(port_, client.get());
    ASSERT_TRUE(secure.connected());
    for (int i = 0; i < 2; ++i) {  // kept alive over TLS
        ASSERT_TRUE(secure.send(kHello));
        EXPECT_EQ("hello", secure.read().body);
    }

    HttpTestClient stalled(port_);  // one byte of a ClientHello, then nothing
    ASSERT_TRUE(clock_->waitArmed(seconds(3)));
    clock_->advance(seconds(1));
    ASSERT_TRUE(stalled.send(std::string(1, '\x16')));
    ASSERT_TRUE(clock_->waitArmed(seconds(3)));
    clock_->advance(seconds(3));
    EXPECT_TRUE(stalled.closedByServer());

    HttpTestClient plain(port_);  // plain HTTP to the TLS port: no answer
    ASSERT_TRUE(plain.send(kHello));
    EXPECT_TRUE(plain.closedByServer());
    EXPECT_TRUE(statsReach([](const ServerStats& s) { return s.tlsFailures == 1; }));
    ASSERT_TRUE(secure.send(kHello));  // nobody else was held up
    EXPECT_EQ(200, secure.read().status);
}

TEST_F(WebServerTest, WhenFullTheConnectionIdleLongestMakesRoomAndBusyOnesStay) {
    Limits limits;
    limits.maxConnections = 2;
    start(limits);
    HttpTestClient older(port_);
    ASSERT_TRUE(clock_->waitArmed(seconds(5)));
    clock_->advance(milliseconds(1));
    ASSERT_TRUE(older.send("GET /hello HTTP/1.1\r\n"));  // still sending its head
    ASSERT_TRUE(clock_->waitArmed(seconds(5)));
    HttpTestClient idle(port_);
    ASSERT_TRUE(statsReach([](const ServerStats& s) { return s.open == 2; }));
    HttpTestClient newcomer(port_);
    EXPECT_TRUE(idle.closedByServer());  // idle goes first, though the other is older
    ASSERT_TRUE(newcomer.send(kHello));
    EXPECT_EQ(200, newcomer.read().status);
    // The client may read its answer before the server has set the connection idle.
    ASSERT_TRUE(statsReach([](const ServerStats& s) { return s.idle == 1; }));
    ASSERT_TRUE(older.send("Host: x\r\n\r\n"));
    EXPECT_EQ(200, older.read().status);
    ASSERT_TRUE(statsReach([](const ServerStats& s) { return s.idle == 2; }));
    // Both idle now, newcomer the longest.
    HttpTestClient third(port_);
    EXPECT_TRUE(newcomer.closedByServer());
    ASSERT_TRUE(third.send(kHello));
    EXPECT_EQ(200, third.read().status);

    // Both being answered: a new client is refused rather than one of them dropped.
    ASSERT_TRUE(older.send("GET /later HTTP/1.1\r\nHost: x\r\n\r\n"));
    ASSERT_TRUE(third.send("GET /later HTTP/1.1\r\nHost: x\r\n\r\n"));
    ASSERT_TRUE(parked_.wait(2));
    HttpTestClient refused(port_);
    EXPECT_TRUE(refused.closedByServer());
    parked_.wait(1)->send(textResponse(200, "one"));
    parked_.wait(2)->send(textResponse(200, "two"));
    EXPECT_EQ(200, older.read().status);
    EXPECT_EQ(200, third.read().status);
    const ServerStats stats = server_->stats();
    EXPECT_EQ(2u, stats.evicted);
    EXPECT_EQ(1u, stats.refused);
}

TEST_F(WebServerTest, HeadAndBodyCapsWithALargerLimitForOneRoute) {
    Limits limits;
    limits.maxHeaderBytes = 1024;
    limits.maxBodyBytes = 100;
    start(limits, nullptr, [](const Request& head, const Limits& l) {
        return head.path == "/upload" ? BodyLimit{1 << 20, l.bodyTimeout}
                                      : BodyLimit{l.maxBodyBytes, l.bodyTimeout};
    });
    const std::pair<std::string, int> refused[] = {
        {"GET /hello HTTP/1.1\r\nX-Long: " + std::string(2000, 'a') + "\r\n\r\n", 431},
        {"POST /echo HTTP/1.1\r\nContent-Length: 101\r\n\r\n", 413},
        {"POST /echo HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n64\r\n" + std::string(100, 'c') +
             "\r\n1\r\nc\r\n0\r\n\r\n",
         413},
    };
    for (const auto& [request, status] : refused) {
        HttpTestClient client(port_);
        ASSERT_TRUE(client.send(request));
        EXPECT_EQ(status, client.read().status) << request.substr(0, 40);
        EXPECT_TRUE(client.closedByServer());
    }
    HttpTestClient client(port_);
    ASSERT_TRUE(
        client.send("POST /echo HTTP/1.1\r\nContent-Length: 100\r\n\r\n" + std::string(100, 'e')));
    EXPECT_EQ(std::string(100, 'e'), client.read().body);
    // The upload route takes half a megabyte, after a 100 Continue.
    ASSERT_TRUE(
        client.send("POST /upload HTTP/1.1\r\nContent-Length: 500000\r\n"
                    "Expect: 100-continue\r\n\r\n"));
    EXPECT_EQ(100, client.read().status);
    ASSERT_TRUE(client.send(std::string(500000, 'u')));
    EXPECT_EQ("500000", client.read().body);
    // A body that stops coming is dropped at its deadline.
    ASSERT_TRUE(client.send("POST /echo HTTP/1.1\r\nContent-Length: 50\r\n\r\nonly this"));
    ASSERT_TRUE(clock_->waitArmed(limits.bodyTimeout));
    clock_->advance(limits.bodyTimeout);
    EXPECT_TRUE(client.closedByServer());
}

TEST_F(WebServerTest, AnswersFromAnotherThreadAndClientsThatLeave) {
    start();
    HttpTestClient client(port_);
    ASSERT_TRUE(client.send("GET /later HTTP/1.1\r\nHost: x\r\n\r\n"));
    auto first = parked_.wait(1);
    ASSERT_TRUE(first);
    std::thread([r = *first] { r.send(textResponse(200, "later")); }).join();
    EXPECT_EQ("later", client.read().body);
    EXPECT_FALSE(first->send(textResponse(200, "twice")));

    // A client that half-closes is reported gone, and still gets its answer.
    ASSERT_TRUE(client.send("GET /later HTTP/1.1\r\nHost: x\r\n\r\n"));
    auto second = parked_.wait(2);
    ASSERT_TRUE(second);
    std::promise<void> left;
    second->onClientGone([&] { left.set_value(); });
    client.shutdownSending();
    ASSERT_EQ(std::future_status::ready, left.get_future().wait_for(seconds(10)));
    EXPECT_TRUE(second->clientGone());
    second->send(textResponse(200, "anyway"));
    EXPECT_EQ("anyway", client.read().body);
    EXPECT_TRUE(client.closedByServer());

    // One that closes: reported gone; answering it later harms nothing.
    auto gone = std::make_unique<HttpTestClient>(port_);
    ASSERT_TRUE(gone->send("GET /later HTTP/1.1\r\nHost: x\r\n\r\n"));
    auto third = parked_.wait(3);
    ASSERT_TRUE(third);
    std::promise<void> closed;
    third->onClientGone([&] { closed.set_value(); });
    gone.reset();
    ASSERT_EQ(std::future_status::ready, closed.get_future().wait_for(seconds(10)));
    third->send(textResponse(200, "nobody"));
    bool late = false;
    third->onClientGone([&] { late = true; });  // gone already: at once
    EXPECT_TRUE(late);
    EXPECT_TRUE(statsReach([](const ServerStats& s) { return s.open == 0; }));
}

TEST_F(WebServerTest, StreamsPiecesUntilEitherSideEnds) {
    start();
    HttpTestClient client(port_);
    ASSERT_TRUE(client.send("GET /later HTTP/1.1\r\nHost: x\r\n\r\n"));
    auto stream = parked_.wait(1);
    ASSERT_TRUE(stream);
    Response head;
    head.headers.add("Content-Type", "text/event-stream");
    ASSERT_TRUE(stream->startStream(head));
    EXPECT_FALSE(stream->send(textResponse(200, "not now")));
    auto answer = client.readHead();
    EXPECT_EQ(200, answer.status);
    EXPECT_EQ("chunked", answer.headers["transfer-encoding"]);
    std::thread writer([s = *stream] {
        for (int i = 0; i < 3; ++i) s.write("data: " + std::to_string(i) + "\n\n");
        s.end();
    });
    writer.join();
    std::string piece;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(client.readChunk(piece));
        EXPECT_EQ("data: " + std::to_string(i) + "\n\n", piece);
    }
    ASSERT_TRUE(client.readChunk(piece));
    EXPECT_EQ("", piece);  // the end
    EXPECT_FALSE(stream->write("after the end"));
    ASSERT_TRUE(client.send(kHello));  // the connection serves on
    EXPECT_EQ(200, client.read().status);

    // The client leaves in the middle: the writer learns it.
    ASSERT_TRUE(client.send("GET /later HTTP/1.1\r\nHost: x\r\n\r\n"));
    auto second = parked_.wait(2);
    ASSERT_TRUE(second);
    std::promise<void> left;
    second->onClientGone([&] { left.set_value(); });
    ASSERT_TRUE(second->startStream(head));
    ASSERT_TRUE(second->write("data: first\n\n"));
    EXPECT_EQ(200, client.readHead().status);
    ASSERT_TRUE(client.readChunk(piece));
    client.shutdownSending();
    ASSERT_EQ(std::future_status::ready, left.get_future().wait_for(seconds(10)));
    EXPECT_FALSE(second->write("data: nobody\n\n"));
    EXPECT_TRUE(client.closedByServer());
}

TEST_F(WebServerTest, AClientThatDoesNotReadIsDroppedAtTheWriteDeadline) {
    start();
    HttpTestClient reader(port_);
    ASSERT_TRUE(reader.send("GET /big HTTP/1.1\r\nHost: x\r\n\r\n"));
    EXPECT_EQ(size_t{16} << 20, reader.read().body.size());

    HttpTestClient sleeper(port_);  // asks for 16 MB and reads none of it
    ASSERT_TRUE(sleeper.send("GET /big HTTP/1.1\r\nHost: x\r\n\r\n"));
    ASSERT_TRUE(clock_->waitArmed(seconds(10)));
    clock_->advance(seconds(10));
    EXPECT_TRUE(statsReach([](const ServerStats& s) { return s.timedOut == 1; }));
    EXPECT_TRUE(statsReach([](const ServerStats& s) { return s.open == 1; }));  // reader
}

}  // namespace
}  // namespace vorl::web
