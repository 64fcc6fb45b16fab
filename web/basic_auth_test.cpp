// Basic authentication: the whole password or nothing, the same time for an unknown user as for
// a wrong password, and a repeated good login without a bcrypt each time.
#include "web/basic_auth.h"

#include <crypt.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <future>
#include <vector>

namespace vorl::web {
namespace {

using Clock = std::chrono::steady_clock;

std::string bcrypt(const std::string& password, int cost) {
    char setting[CRYPT_GENSALT_OUTPUT_SIZE];
    EXPECT_NE(nullptr, crypt_gensalt_rn("$2b$", cost, nullptr, 0, setting, sizeof setting));
    auto data = std::make_unique<crypt_data>();
    return crypt_r(password.c_str(), setting, data.get());
}

std::string basic(std::string_view credentials, std::string scheme = "Basic ") {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < credentials.size(); i += 3) {
        uint32_t bits = 0;
        const size_t n = std::min<size_t>(3, credentials.size() - i);
        for (size_t j = 0; j < 3; ++j)
            bits = bits << 8 | (j < n ? static_cast<unsigned char>(credentials[i + j]) : 0);
        for (size_t j = 0; j < 4; ++j) out += j <= n ? kAlphabet[(bits >> (18 - 6 * j)) & 63] : '=';
    }
    return scheme + out;
}

double medianMillis(std::vector<double>& samples) {
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

TEST(BasicAuth, TheWholePasswordOrNothing) {
    const std::string long72(72, 'p');
    BasicAuth auth({{"prom", bcrypt("s3cret", 4)}, {"long", bcrypt(long72, 4)}});
    EXPECT_EQ("prom", auth.check(basic("prom:s3cret")).value_or(""));
    // The scheme in any case, blanks around the token.
    EXPECT_TRUE(auth.check(basic("prom:s3cret", "bAsIc ")));
    EXPECT_TRUE(auth.check(basic("prom:s3cret", "  BASIC   ") + " "));
    // crypt(3) would stop at the NUL and bcrypt at 72 bytes: neither is the whole password.
    EXPECT_FALSE(auth.check(basic(std::string("prom:s3cret\0anything", 20))));
    EXPECT_FALSE(auth.check(basic(std::string("prom:s3cret\0", 12))));
    EXPECT_TRUE(auth.check(basic("long:" + long72)));
    EXPECT_FALSE(auth.check(basic("long:" + long72 + "x")));
    for (const std::string& refused :
         {basic("prom:wrong"), basic("nobody:s3cret"), basic("prom"), basic(":s3cret"),
          basic("prom:s3cret", "Bearer "), basic("prom:s3cret", "Basic"), std::string("Basic !!!!"),
          std::string("Basic cHJvbTpzM2NyZXQ"), std::string(""), basic("prom:s3cret").substr(1)})
        EXPECT_FALSE(auth.check(refused)) << refused;
}

TEST(BasicAuth, UnknownUserAndWrongPasswordTakeTheSameTime) {
    BasicAuth auth({{"prom", bcrypt("s3cret", 8)}});
    const std::string unknown = basic("mallory:s3cret"), wrong = basic("prom:s3creT");
    std::vector<double> unknownMillis, wrongMillis;
    // The work done, on this thread's clock: a loaded machine's preemptions are not work.
    auto cpuMillis = [] {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
    };
    auto timed = [&](const std::string& header, std::vector<double>& into) {
        const double start = cpuMillis();
        EXPECT_FALSE(auth.check(header));
        into.push_back(cpuMillis() - start);
    };
    for (int round = 0; round < 21; ++round) {  // interleaved: both see the same machine
        timed(unknown, unknownMillis);
        timed(wrong, wrongMillis);
    }
    const double a = medianMillis(unknownMillis), b = medianMillis(wrongMillis);
    EXPECT_GT(a, 1.0);  // a bcrypt ran for the unknown user as well
    EXPECT_LT(std::abs(a - b) / std::max(a, b), 0.10) << a << " ms against " << b << " ms";
}

TEST(BasicAuth, ARepeatedGoodLoginCostsNoBcrypt) {
    BasicAuth auth({{"prom", bcrypt("s3cret", 10)}});
    const std::string good = basic("prom:s3cret");
    ASSERT_TRUE(auth.check(good));
    std::vector<double> millis;
    for (int i = 0; i < 25; ++i) {
        const auto start = Clock::now();
        ASSERT_TRUE(auth.check(good));
        millis.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    EXPECT_LT(medianMillis(millis), 1.0);
    // A wrong password is never remembered.
    const auto start = Clock::now();
    EXPECT_FALSE(auth.check(basic("prom:s3creT")));
    const double wrongMillis =
        std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    EXPECT_GT(wrongMillis, 1.0);
}

TEST(BasicAuth, ChecksOffTheCallersThreadOneAtATimeAndRefusesAFlood) {
    BasicAuth auth({{"prom", bcrypt("s3cret", 6)}});
    std::atomic<int> accepted{0}, refused{0}, busy{0}, answered{0};
    std::promise<void> all;
    const int total = 2 + static_cast<int>(BasicAuth::kMaxWaiting) + 8;
    auto done = [&](BasicAuth::Result result, const std::string& user) {
        if (result == BasicAuth::Result::Accepted && user == "prom") ++accepted;
        if (result == BasicAuth::Result::Refused) ++refused;
        if (result == BasicAuth::Result::Busy) ++busy;
        if (++answered == total) all.set_value();
    };
    auth.checkAsync(basic("prom:s3cret"), done);
    for (int i = 1; i < total; ++i) auth.checkAsync(basic("prom:guess"), done);
    ASSERT_EQ(std::future_status::ready, all.get_future().wait_for(std::chrono::seconds(60)));
    EXPECT_EQ(1, accepted.load());
    EXPECT_GE(busy.load(), 1);  // more guesses than may wait: refused at once
    EXPECT_EQ(total, accepted + refused + busy);
}

}  // namespace
}  // namespace vorl::web
