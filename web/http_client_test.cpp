// The outgoing HTTP client against loopback peers: an answer, a peer that never answers (ended
// by the one deadline), an answer past the size cap, and https with and without checking the
// peer's certificate; which URLs it takes.
#include "web/http_client.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <boost/asio/io_context.hpp>
#include <future>

#include "tests/support/temp_dir.h"
#include "tests/support/test_certificate.h"
#include "web/router.h"
#include "web/server.h"

namespace vorl::web {
namespace {

using std::chrono::milliseconds;

HttpClient::Result exchange(OutgoingRequest outgoing) {
    boost::asio::io_context io;
    HttpClient::Result out;
    HttpClient::send(io, std::move(outgoing), [&](HttpClient::Result result) { out = result; });
    io.run();
    return out;
}

TEST(HttpUrl, TakesHttpAndHttpsOnly) {
    HttpUrl url;
    ASSERT_TRUE(HttpUrl::parse("https://[::1]:8443/a?b=c", url));
    EXPECT_TRUE(url.tls);
    EXPECT_EQ(url.host, "::1");
    EXPECT_EQ(url.port, 8443);
    EXPECT_EQ(url.target, "/a?b=c");
    ASSERT_TRUE(HttpUrl::parse("http://127.0.0.1", url));
    EXPECT_EQ(url.port, 80);
    EXPECT_EQ(url.target, "/");
    for (const char* bad :
         {"ftp://h/", "http://", "http://u:p@h/", "http://h:0/", "http://h:70000/", "http://h/a b",
          "http://h/\r\nX: y", "h/x", "http://[::1/"})
        EXPECT_FALSE(HttpUrl::parse(bad, url)) << bad;
}

TEST(HttpClient, AnswersDeadlinesCapsAndCertificates) {
    test::TempDir dir;
    WebConfig web;
    web.certFile = dir.file("cert.pem");
    web.keyFile = dir.file("key.pem");
    ASSERT_TRUE(testing::writeTestCertificate(web.certFile, web.keyFile));
    std::string error;
    std::promise<std::string> received;
    Router router;
    router.add("POST", "/events", [&](Request request, Responder responder) {
        received.set_value(request.body);
        Response response;
        response.status = 204;
        responder.send(std::move(response));
    });
    router.add("GET", "/big", [](Request, Responder responder) {
        Response response;
        response.status = 200;
        response.body.assign(100000, 'x');
        responder.send(std::move(response));
    });
    for (bool tls : {false, true}) {
        ServerSettings settings;
        settings.listenAddresses = {"127.0.0.1:0"};
        if (tls) settings.tls = makeTlsContext(web, error);
        Server server(std::move(settings), router.handler());
        ASSERT_TRUE(server.start(error)) << error;
        const std::string base =
            (tls ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(server.port());
        OutgoingRequest outgoing;
        outgoing.url = base + "/events";
        outgoing.body = "{\"a\": 1}";
        outgoing.verifyPeer = false;
        received = {};
        HttpClient::Result result = exchange(outgoing);
        EXPECT_TRUE(result.success()) << result.error;
        EXPECT_EQ(result.status, 204);
        EXPECT_EQ(received.get_future().get(), outgoing.body);

        outgoing.method = "GET";
        outgoing.url = base + "/big";
        result = exchange(outgoing);
        EXPECT_FALSE(result.ok);  // past the 64 KB cap
        if (tls) {
            // A self-signed certificate is refused when the peer is checked.
            outgoing.url = base + "/events";
            outgoing.method = "POST";
            outgoing.verifyPeer = true;
            result = exchange(outgoing);
            EXPECT_FALSE(result.ok);
        }
    }

    // A peer that takes the connection and never answers costs the deadline, no more.
    const int silent = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(silent, 4), 0);
    socklen_t length = sizeof address;
    ::getsockname(silent, reinterpret_cast<sockaddr*>(&address), &length);
    OutgoingRequest outgoing;
    outgoing.url = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/";
    outgoing.timeout = milliseconds(300);
    const auto start = std::chrono::steady_clock::now();
    const HttpClient::Result result = exchange(outgoing);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, "timed out");
    EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(3000));
    ::close(silent);
}

}  // namespace
}  // namespace vorl::web
