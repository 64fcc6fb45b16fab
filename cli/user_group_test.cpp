#include <gtest/gtest.h>

#include <cstring>

#include "cli/group_handlers.h"
#include "cli/report.h"
#include "protocol/card_session.h"
#include "tests/support/fake_transport.h"

namespace vorl::cli {
namespace {

using test::FakeTransport;

struct Outcome {
    int result;
    std::string out;
};

class UserGroupTest : public ::testing::Test {
protected:
    UserGroupTest() {
        auto owned = std::make_unique<FakeTransport>();
        transport = owned.get();
        session = std::make_unique<CardSession>(std::move(owned));
    }

    Outcome run(Words words) {
        words.insert(words.begin(), {"admin", "-user"});
        ::testing::internal::CaptureStdout();
        TextReport report;
        const int result = runUserGroup(*session, words, report);
        std::fflush(stdout);
        return {result, ::testing::internal::GetCapturedStdout()};
    }

    // The text of a request's field at `offset`, up to its NUL.
    std::string field(size_t request, size_t offset, size_t width) const {
        const auto& payload = transport->requests.at(request).payload;
        const char* begin = reinterpret_cast<const char*>(payload.data()) + offset;
        return std::string(begin, strnlen(begin, width));
    }

    FakeTransport* transport = nullptr;
    std::unique_ptr<CardSession> session;
};

std::vector<uint8_t> textFields(std::initializer_list<std::pair<std::string, size_t>> fields) {
    std::vector<uint8_t> bytes;
    for (const auto& [text, width] : fields) {
        std::vector<uint8_t> field(width, 0);
        std::memcpy(field.data(), text.data(), std::min(text.size(), width));
        bytes.insert(bytes.end(), field.begin(), field.end());
    }
    return bytes;
}

TEST_F(UserGroupTest, AddFormsSendTheirRecords) {
    const std::string name30(30, 'n');
    EXPECT_EQ(run({"-ADD", name30, "pass_w-8"}).result, 0);
    // The seven-word form adds an SNMP user whatever its sub-command, with no minimum length.
    EXPECT_EQ(run({"-xyz", "snmp_1", "pw", "SHA", "NONE"}).result, 0);
    ASSERT_EQ(transport->requests.size(), 2u);

    EXPECT_EQ(transport->requests[0].command, 0x0500);
    EXPECT_EQ(transport->requests[0].payload.size(), 64u);
    EXPECT_EQ(field(0, 0, 32), name30);
    EXPECT_EQ(field(0, 32, 32), "pass_w-8");

    EXPECT_EQ(transport->requests[1].command, 0x0506);
    ASSERT_EQ(transport->requests[1].payload.size(), 128u);
    EXPECT_EQ(field(1, 0, 32), "snmp_1");
    EXPECT_EQ(field(1, 32, 32), "SHA");
    EXPECT_EQ(field(1, 64, 32), "NONE");
    EXPECT_EQ(field(1, 96, 32), "pw");
}

TEST_F(UserGroupTest, DeleteSendsTheNameWithAFillerPassword) {
    transport->queue(16);
    const Outcome r = run({"-Del", "ghost"});
    EXPECT_EQ(r.result, 16);
    EXPECT_EQ(r.out, "Remove user failed, Resource not exist\n");
    ASSERT_EQ(transport->requests.size(), 1u);
    EXPECT_EQ(transport->requests[0].command, 0x0501);
    EXPECT_EQ(field(0, 0, 32), "ghost");
    EXPECT_EQ(field(0, 32, 32), "fillerpwd");
}

TEST_F(UserGroupTest, ListsPrintEveryEntryAndFullFieldsWithTheirWidthOnly) {
    const std::string full(32, 'F');  // fills its field: no NUL on the wire
    transport->queue(0, textFields({{"admin", 32}, {full, 32}, {"vorladmin", 32}, {"pw2", 32}}));
    Outcome r = run({"-listall"});
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.out, "User 1: admin Password: vorladmin \nUser 2: " + full + " Password: pw2 \n");

    transport->queue(0, textFields({{"admin", 32}, {full, 32}, {"extra", 20}}));
    r = run({"-LISTALLUSER"});
    EXPECT_EQ(r.out, "User 1: admin \nUser 2: " + full + " \n");

    transport->queue(5);  // a refused list prints nothing and returns the status
    r = run({"-listAllUser"});
    EXPECT_EQ(r.result, 5);
    EXPECT_EQ(r.out, "");
}

}  // namespace
}  // namespace vorl::cli
