// The service end to end in one process, against simulated cards on loopback: who may do what,
// the protocol's rules and headers, errors as Base registry messages, and cards that are dead
// or refuse without holding up the others.
#include "redfish/redfish_service.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "cardsim/sim_advanced_group.h"
#include "protocol/card_session.h"
#include "protocol/event_log_records.h"
#include "protocol/network_transport.h"
#include "redfish/password_check.h"
#include "redfish/service_state.h"
#include "tests/support/live_card.h"
#include "tests/support/temp_dir.h"

namespace vorl::redfish {
namespace {

using namespace std::chrono_literals;
using Json = nlohmann::json;

constexpr const char* kCardPassword = "vorladmin";
const std::map<std::string, std::string> kPasswords = {
    {"root", "Root-Pass-1"}, {"op", "Operator-Pass-2"}, {"viewer", "Viewer-Pass-3"}};

std::string base64(const std::string& text) {
    static const char* kAlphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < text.size(); i += 3) {
        const size_t count = std::min<size_t>(3, text.size() - i);
        uint32_t chunk = 0;
        for (size_t k = 0; k < 3; ++k)
            chunk = chunk << 8 | (k < count ? static_cast<uint8_t>(text[i + k]) : 0u);
        for (size_t k = 0; k < 4; ++k)
            out += k <= count ? kAlphabet[(chunk >> (18 - 6 * k)) & 0x3F] : '=';
    }
    return out;
}

class ServiceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        for (const auto& [name, password] : kPasswords)
            hashes()[name] = PasswordCheck::hash(password);
    }
    static std::map<std::string, std::string>& hashes() {
        static std::map<std::string, std::string> known;
        return known;
    }

    void SetUp() override {
        dead.stop();
        config.stateDir = dir.file("state");
        config.cardTimeout = 2000ms;
        config.cards = {{"live", "127.0.0.2", "admin", kCardPassword},
                        {"dead", "127.0.0.3", "admin", kCardPassword},
                        {"refusing", "127.0.0.4", "admin", kCardPassword}};
        config.accounts = {{"root", hashes()["root"], Role::Administrator},
                           {"op", hashes()["op"], Role::Operator},
                           {"viewer", hashes()["viewer"], Role::ReadOnly}};
        std::string error;
        ASSERT_TRUE(state.open(config.stateDir, error)) << error;
        ports = {
            {"127.0.0.2", live.port()}, {"127.0.0.3", dead.port()}, {"127.0.0.4", refusing.port()}};
        ServiceOptions options;
        options.transports = [this](const CardEndpoint& endpoint) {
            return std::make_unique<NetworkTransport>("127.0.0.1", ports.at(endpoint.address));
        };
        service = std::make_unique<RedfishService>(config, state, options);
    }

    // One request as `user` (Basic; "" for none, "token:T" for a session token).
    web::Response call(const std::string& method, const std::string& target,
                       const std::string& user = "root", const std::string& body = "",
                       const std::map<std::string, std::string>& headers = {}) {
        web::Request request;
        request.method = method;
        request.target = target;
        const size_t question = target.find('?');
        request.path = target.substr(0, question);
        if (question != std::string::npos) request.query = target.substr(question + 1);
        if (user.rfind("token:", 0) == 0)
            request.headers.add("X-Auth-Token", user.substr(6));
        else if (!user.empty())
            request.headers.add("Authorization",
                                "Basic " + base64(user + ":" + kPasswords.at(user)));
        for (const auto& [name, value] : headers) request.headers.add(name, value);
        request.body = body;
        return service->handle(request);
    }
    static Json json(const web::Response& response) { return Json::parse(response.body); }
    static std::string messageId(const web::Response& response) {
        return json(response)["error"]["@Message.ExtendedInfo"][0]["MessageId"];
    }

    test::LiveCard live;
    test::LiveCard dead;
    test::LiveCard refusing{
        {{"force-status", "0x0A01:5"}, {"stray-bytes", "0"}}};  // heartbeat writes: denied
    test::TempDir dir;
    RedfishConfig config;
    ServiceState state;
    std::map<std::string, uint16_t> ports;
    std::unique_ptr<RedfishService> service;
};

TEST(Base64Test, EncodesLikeTheClients) {
    EXPECT_EQ("cm9vdDpSb290LVBhc3MtMQ==", base64("root:Root-Pass-1"));
    EXPECT_EQ("YWJj", base64("abc"));
    EXPECT_EQ("YWI=", base64("ab"));
}

TEST_F(ServiceTest, OnlyTheRootAndTheServiceDocumentsAnswerWithoutALogin) {
    for (const char* open : {"/redfish", "/redfish/v1/", "/redfish/v1", "/redfish/v1/odata"}) {
        const auto answer = call("GET", open, "");
        EXPECT_EQ(200, answer.status) << open;
        EXPECT_EQ("4.0", answer.headers.get("OData-Version")) << open;
    }
    const auto metadata = call("GET", "/redfish/v1/$metadata", "");
    EXPECT_EQ(200, metadata.status);
    EXPECT_NE(std::string::npos, metadata.body.find("Manager.v1_24_0"));
    for (const char* closed : {"/redfish/v1/Systems", "/redfish/v1/Managers/live",
                               "/redfish/v1/SessionService/Sessions", "/redfish/v1/nothing"}) {
        const auto answer = call("GET", closed, "");
        EXPECT_EQ(401, answer.status) << closed;
        EXPECT_NE(nullptr, answer.headers.find("WWW-Authenticate"));
        EXPECT_EQ("Base.1.22.NoValidSession", messageId(answer));
    }
    web::Request wrong;
    wrong.method = "GET";
    wrong.path = wrong.target = "/redfish/v1/Systems";
    wrong.headers.add("Authorization", "Basic " + base64("root:Root-Pass-2"));
    EXPECT_EQ(401, service->handle(wrong).status);
}

TEST_F(ServiceTest, ASessionTokenWorksUntilItsSessionIsDeleted) {
    const auto login = call("POST", "/redfish/v1/SessionService/Sessions", "",
                            R"({"UserName": "viewer", "Password": "Viewer-Pass-3"})");
    ASSERT_EQ(201, login.status) << login.body;
    const std::string token = login.headers.get("X-Auth-Token").data();
    const std::string location = login.headers.get("Location").data();
    EXPECT_EQ(32u, token.size());
    EXPECT_EQ(std::string::npos, login.body.find(token));
    EXPECT_EQ(200, call("GET", "/redfish/v1/Systems", "token:" + token).status);
    const auto sessions = call("GET", "/redfish/v1/SessionService/Sessions", "token:" + token);
    EXPECT_EQ(location, json(sessions)["Members"][0]["@odata.id"]);
    EXPECT_EQ(204, call("DELETE", location, "token:" + token).status);
    EXPECT_EQ(401, call("GET", "/redfish/v1/Systems", "token:" + token).status);
    const auto refused = call("POST", "/redfish/v1/SessionService/Sessions", "",
                              R"({"UserName": "viewer", "Password": "nope"})");
    EXPECT_EQ(401, refused.status);
}

TEST_F(ServiceTest, RolesDecideWhoChangesWhat) {
    const std::string reset = "/redfish/v1/Systems/live/Actions/ComputerSystem.Reset";
    const std::string manager = "/redfish/v1/Managers/live";
    const std::string heartbeat = R"({"Oem": {"Vorl": {"HeartbeatIntervalSeconds": 600}}})";
    EXPECT_EQ(403, call("POST", reset, "viewer", R"({"ResetType": "ForceOff"})").status);
    EXPECT_EQ("Base.1.22.InsufficientPrivilege",
              messageId(call("PATCH", manager, "viewer", heartbeat)));
    EXPECT_EQ(403, call("PATCH", manager, "op", heartbeat).status);
    auto* power = live.card().group<sim::SimAdvancedGroup>();
    ASSERT_TRUE(power->serverPoweredOn());
    EXPECT_EQ(204, call("POST", reset, "op", R"({"ResetType": "ForceOff"})").status);
    EXPECT_FALSE(power->serverPoweredOn());
    EXPECT_EQ("Off", json(call("GET", "/redfish/v1/Systems/live", "viewer"))["PowerState"]);
    EXPECT_EQ(200, call("PATCH", manager, "root", heartbeat).status);
    EXPECT_EQ(600, json(call("GET", manager, "viewer"))["Oem"]["Vorl"]["HeartbeatIntervalSeconds"]);
}

TEST_F(ServiceTest, TheProtocolsRulesAndHeaders) {
    const std::string manager = "/redfish/v1/Managers/live";
    const auto get = call("GET", manager);
    ASSERT_EQ(200, get.status) << get.body;
    EXPECT_EQ("<http://redfish.dmtf.org/schemas/v1/Manager.v1_24_0.json>; rel=describedby",
              get.headers.get("Link"));
    EXPECT_EQ("GET, HEAD, PATCH", get.headers.get("Allow"));
    const std::string tag(get.headers.get("ETag"));
    ASSERT_EQ(0u, tag.rfind("W/\"", 0));

    const auto head = call("HEAD", manager);
    EXPECT_EQ(200, head.status);
    EXPECT_TRUE(head.body.empty());
    const auto remove = call("DELETE", manager);
    EXPECT_EQ(405, remove.status);
    EXPECT_EQ("GET, HEAD, PATCH", remove.headers.get("Allow"));
    EXPECT_EQ(501, call("GET", manager + "?$expand=.").status);
    EXPECT_EQ(501, call("GET", manager + "?$select=Id").status);
    EXPECT_EQ(200, call("GET", manager + "?unrelated=1").status);
    EXPECT_EQ(412, call("GET", manager, "root", "", {{"OData-Version", "4.01"}}).status);
    EXPECT_EQ("Base.1.22.ResourceMissingAtURI", messageId(call("GET", "/redfish/v1/Nothing")));
    EXPECT_EQ("Base.1.22.ResourceNotFound", messageId(call("GET", "/redfish/v1/Managers/x")));

    // A PATCH with anything wrong changes nothing; an old ETag is refused.
    const std::string patch = R"({"Oem": {"Vorl": {"HeartbeatIntervalSeconds": 500}}})";
    const auto unknown = call("PATCH", manager, "root",
                              R"({"Oem": {"Vorl": {"HeartbeatIntervalSeconds": 500}}, "X": 1})");
    EXPECT_EQ(400, unknown.status);
    EXPECT_EQ("Base.1.22.PropertyUnknown", messageId(unknown));
    EXPECT_EQ(400, call("PATCH", manager, "root",
                        R"({"Oem": {"Vorl": {"HeartbeatIntervalSeconds": 10}}})")
                       .status);
    EXPECT_EQ(400, call("PATCH", manager, "root", "{not json").status);
    // A value nested deeper than any stack: refused by its kind, never walked.
    const std::string deep = std::string(200000, '[') + std::string(200000, ']');
    EXPECT_EQ(400, call("PATCH", manager, "root", "{\"DateTime\": " + deep + "}").status);
    EXPECT_EQ(400, call("POST", "/redfish/v1/Systems/live/Actions/ComputerSystem.Reset", "root",
                        "{\"ResetType\": " + deep + "}")
                       .status);
    EXPECT_EQ(412, call("PATCH", manager, "root", patch, {{"If-Match", "W/\"0\""}}).status);
    EXPECT_NE(500, json(call("GET", manager))["Oem"]["Vorl"]["HeartbeatIntervalSeconds"]);
    EXPECT_EQ(200, call("PATCH", manager, "root", patch, {{"If-Match", tag}}).status);
    EXPECT_EQ(500, json(call("GET", manager))["Oem"]["Vorl"]["HeartbeatIntervalSeconds"]);
}

TEST_F(ServiceTest, ADeadCardGivesRetryAfterAtOnceAndARefusalTheCardsWords) {
    const auto first = call("GET", "/redfish/v1/Managers/dead");
    EXPECT_EQ(503, first.status);
    EXPECT_GE(std::stoi(std::string(first.headers.get("Retry-After", "0"))), 1);
    const auto start = Clock::now();
    const auto again = call("GET", "/redfish/v1/Chassis/dead");
    EXPECT_LT(Clock::now() - start, 100ms);
    EXPECT_EQ(503, again.status);
    EXPECT_EQ(200, call("GET", "/redfish/v1/Chassis/live").status);
    EXPECT_EQ(200, call("GET", "/redfish/v1/Managers").status);  // needs no card

    const auto refused = call("PATCH", "/redfish/v1/Managers/refusing", "root",
                              R"({"Oem": {"Vorl": {"HeartbeatIntervalSeconds": 300}}})");
    EXPECT_EQ(403, refused.status);
    EXPECT_NE(std::string::npos, refused.body.find("Permission denied")) << refused.body;
}

// A session of the test's own on the live card, to look at it from the card's side.
std::unique_ptr<CardSession> cardSession(const test::LiveCard& card, const std::string& user,
                                         const std::string& password, int& login) {
    auto session =
        std::make_unique<CardSession>(std::make_unique<NetworkTransport>("127.0.0.1", card.port()));
    login = session->connect() == 0 ? session->login(user, password) : -1;
    return session;
}

bool cardAccepts(const test::LiveCard& card, const std::string& user, const std::string& password) {
    int login = 0;
    cardSession(card, user, password, login);
    return login == 0;
}

TEST_F(ServiceTest, TheCardsAccountsChangeOnTheCardAndTheServicesOwnLoginIsLeftAlone) {
    const std::string accounts = "/redfish/v1/Managers/live/RemoteAccountService/Accounts";
    EXPECT_EQ(
        403, call("POST", accounts, "op", R"({"UserName": "x1", "Password": "Xx-Pass-1"})").status);
    const auto tooShort =
        call("POST", accounts, "root", R"({"UserName": "carol", "Password": "sh0rt"})");
    EXPECT_EQ(400, tooShort.status);
    EXPECT_EQ(std::string::npos, tooShort.body.find("sh0rt"));  // no password in an answer
    ASSERT_EQ(201,
              call("POST", accounts, "root", R"({"UserName": "carol", "Password": "Carol-Pass1"})")
                  .status);
    EXPECT_TRUE(cardAccepts(live, "carol", "Carol-Pass1"));
    EXPECT_EQ(409,
              call("POST", accounts, "root", R"({"UserName": "carol", "Password": "Carol-Pass1"})")
                  .status);
    EXPECT_EQ(200,
              call("PATCH", accounts + "/carol", "root", R"({"Password": "Carol-Pass2"})").status);
    EXPECT_TRUE(cardAccepts(live, "carol", "Carol-Pass2"));
    EXPECT_FALSE(cardAccepts(live, "carol", "Carol-Pass1"));

    const auto snmp =
        call("POST", accounts, "root", R"({"UserName": "trap", "Password": "trap-pass",
        "AccountTypes": ["SNMP"], "SNMP": {"AuthenticationProtocol": "HMAC_SHA96",
        "EncryptionProtocol": "CBC_DES"}})");
    ASSERT_EQ(201, snmp.status) << snmp.body;
    const Json trap = json(call("GET", accounts + "/SNMP.trap"));
    EXPECT_EQ("HMAC_SHA96", trap["SNMP"]["AuthenticationProtocol"]);
    EXPECT_EQ("CBC_DES", trap["SNMP"]["EncryptionProtocol"]);
    EXPECT_EQ(405, call("DELETE", accounts + "/SNMP.trap").status);  // the card cannot

    // The account the service logs in with: changing or deleting it would lock the service out.
    EXPECT_EQ(409,
              call("PATCH", accounts + "/admin", "root", R"({"Password": "Admin-Pass9"})").status);
    EXPECT_EQ(409, call("DELETE", accounts + "/admin").status);
    EXPECT_TRUE(cardAccepts(live, "admin", kCardPassword));

    EXPECT_EQ(204, call("DELETE", accounts + "/carol").status);
    EXPECT_FALSE(cardAccepts(live, "carol", "Carol-Pass2"));
    EXPECT_EQ(404, call("DELETE", accounts + "/carol").status);
    const Json list = json(call("GET", accounts));
    EXPECT_EQ(2, list["Members@odata.count"]);  // admin and SNMP.trap
}

TEST_F(ServiceTest, TheCardsNetworkChangesOnTheCard) {
    const std::string interface = "/redfish/v1/Managers/live/EthernetInterfaces/1";
    EXPECT_EQ(400, call("PATCH", interface, "root",
                        R"({"IPv4StaticAddresses": [{"Address": "10.1.2.300"}]})")
                       .status);
    // The card takes a static address at once and its answer is lost: that is success.
    EXPECT_EQ(204, call("PATCH", interface, "root", R"({"IPv4StaticAddresses": [{"Address":
        "10.1.2.3", "SubnetMask": "255.255.0.0", "Gateway": "10.1.0.1"}]})")
                       .status);
    Json read = json(call("GET", interface));
    EXPECT_EQ("10.1.2.3", read["IPv4StaticAddresses"][0]["Address"]);
    EXPECT_EQ("255.255.0.0", read["IPv4Addresses"][0]["SubnetMask"]);
    EXPECT_EQ(false, read["DHCPv4"]["DHCPEnabled"]);
    EXPECT_EQ(204, call("PATCH", interface, "root", R"({"DHCPv4": {"DHCPEnabled": true}})").status);
    read = json(call("GET", interface));
    EXPECT_EQ(true, read["DHCPv4"]["DHCPEnabled"]);
    EXPECT_EQ("DHCP", read["IPv4Addresses"][0]["AddressOrigin"]);
    EXPECT_EQ(204,
              call("PATCH", interface, "root", R"({"MACAddress": "02:00:00:aa:bb:0c"})").status);
    EXPECT_EQ("02:00:00:AA:BB:0C", json(call("GET", interface))["MACAddress"]);
    EXPECT_EQ(404, call("GET", "/redfish/v1/Managers/live/EthernetInterfaces/2").status);
}

TEST_F(ServiceTest, TheEventLogIsReadAndCleared) {
    int login = 0;
    auto session = cardSession(live, "admin", kCardPassword, login);
    ASSERT_EQ(0, login);
    SelRecord record;
    record.eventId = 0x0201;
    record.severity = kSeverityCritical;
    ASSERT_EQ(0, session->addSelEntry(record));
    record.severity = kSeverityWarning;
    ASSERT_EQ(0, session->addSelEntry(record));
    const std::string log = "/redfish/v1/Managers/live/LogServices/EventLog";
    EXPECT_EQ("WrapsWhenFull", json(call("GET", log))["OverWritePolicy"]);
    const Json entries = json(call("GET", log + "/Entries"));
    ASSERT_EQ(2, entries["Members@odata.count"]);
    EXPECT_EQ("Critical", entries["Members"][0]["Severity"]);
    EXPECT_EQ("Warning", json(call("GET", log + "/Entries/2"))["Severity"]);
    EXPECT_EQ(404, call("GET", log + "/Entries/3").status);
    EXPECT_EQ(404, call("GET", log + "/Entries/x").status);
    const std::string clear = log + "/Actions/LogService.ClearLog";
    EXPECT_EQ(403, call("POST", clear, "viewer", "{}").status);
    EXPECT_EQ(204, call("POST", clear, "root", "{}").status);
    EXPECT_EQ(0, json(call("GET", log + "/Entries"))["Members@odata.count"]);
}

TEST_F(ServiceTest, ACardTextThatIsNotUtf8IsShownNotRefused) {
    CardSession session(std::make_unique<NetworkTransport>("127.0.0.1", live.port()));
    ASSERT_EQ(0, session.connect());
    ASSERT_EQ(0, session.login("admin", kCardPassword));
    ASSERT_EQ(0, session.setCardName("caf\xe9"));
    const auto answer = call("GET", "/redfish/v1/Managers/live");
    ASSERT_EQ(200, answer.status) << answer.body;
    EXPECT_EQ("caf\xef\xbf\xbd", json(answer)["Oem"]["Vorl"]["CardName"]);
}

TEST_F(ServiceTest, NoPasswordInAnyAnswer) {
    std::vector<std::string> queue = {"/redfish/v1/"};
    std::set<std::string> seen;
    std::string everything;
    while (!queue.empty()) {
        const std::string uri = queue.back();
        queue.pop_back();
        if (!seen.insert(uri).second) continue;
        const auto answer = call("GET", uri);
        everything += answer.body;
        for (const auto& [name, value] : answer.headers.fields()) everything += value;
        const std::function<void(const Json&)> walk = [&](const Json& value) {
            if (value.is_object()) {
                for (const auto& [key, member] : value.items()) {
                    if (key == "@odata.id" && member.is_string() &&
                        member.get<std::string>().find('#') == std::string::npos)
                        queue.push_back(member);
                    walk(member);
                }
            } else if (value.is_array()) {
                for (const auto& member : value) walk(member);
            }
        };
        if (answer.status == 200) walk(Json::parse(answer.body));
    }
    EXPECT_GT(seen.size(), 40u);
    for (const std::string& secret : {std::string(kCardPassword), kPasswords.at("root"),
                                      kPasswords.at("op"), kPasswords.at("viewer")})
        EXPECT_EQ(std::string::npos, everything.find(secret)) << secret;
}

}  // namespace
}  // namespace vorl::redfish
