// SessionService and its sessions: a login by POST returns the token (X-Auth-Token) and the
// session's URI (Location); DELETE logs out; a session idle for SessionTimeout ends.
#include <ctime>

#include "cardread/utc_time_text.h"
#include "redfish/exchange.h"
#include "redfish/resource_routes.h"
#include "redfish/schema_types.h"
#include "redfish/service_state.h"

namespace vorl::redfish {
namespace {

constexpr const char* kSessionService = "/redfish/v1/SessionService";
constexpr const char* kSessions = "/redfish/v1/SessionService/Sessions";
constexpr int kMinTimeout = 30;
constexpr int kMaxTimeout = 86400;

std::string sessionUri(const std::string& id) {
    return std::string(kSessions) + "/" + id;
}

Json sessionJson(const SessionInfo& session) {
    const auto created = std::chrono::system_clock::to_time_t(session.created);
    return {{"@odata.id", sessionUri(session.id)},
            {"@odata.type", odataType("Session")},
            {"Id", session.id},
            {"Name", "User Session"},
            {"UserName", session.user},
            {"CreatedTime", cardread::utcTimeText(static_cast<int64_t>(created))},
            {"SessionType", "Redfish"}};
}

void getSessionService(Exchange& ex) {
    ex.ok({{"@odata.id", kSessionService},
           {"@odata.type", odataType("SessionService")},
           {"Id", "SessionService"},
           {"Name", "Session Service"},
           {"ServiceEnabled", true},
           {"SessionTimeout", ex.parts.sessions.timeout().count()},
           {"Status", {{"State", "Enabled"}, {"Health", "OK"}}},
           {"Sessions", link(kSessions)}});
}

void patchSessionService(Exchange& ex) {
    Json body;
    if (!ex.readObject(body)) return;
    PatchBody patch(body);
    const auto timeout = patch.integer("SessionTimeout");
    if (timeout && (*timeout < kMinTimeout || *timeout > kMaxTimeout))
        patch.problem({"PropertyValueOutOfRange", {std::to_string(*timeout), "SessionTimeout"}});
    if (const auto enabled = patch.boolean("ServiceEnabled"); enabled && !*enabled)
        patch.problem({"PropertyValueNotInList", {"false", "ServiceEnabled"}});
    patch.readOnly({"Id", "Name", "Sessions", "Status"});
    if (const auto problems = patch.finish(); !problems.empty()) return ex.fail(400, problems);
    if (timeout) {
        if (!ex.parts.state.setSessionTimeoutSeconds(static_cast<int>(*timeout)))
            return ex.fail(500, {{"InternalError", {}}});
        ex.parts.sessions.setTimeout(std::chrono::seconds(*timeout));
    }
    getSessionService(ex);
}

void getSessions(Exchange& ex) {
    std::vector<std::string> members;
    for (const SessionInfo& session : ex.parts.sessions.list())
        members.push_back(sessionUri(session.id));
    ex.ok(collection("SessionCollection", kSessions, "Session Collection", members));
}

// The login: open to everybody, since it is how a client gets in.
void postSession(Exchange& ex) {
    Json body;
    if (!ex.readObject(body)) return;
    PatchBody fields(body);
    const auto user = fields.string("UserName");
    const auto password = fields.string("Password");
    if (!user) fields.problem({"PropertyMissing", {"UserName"}});
    if (!password) fields.problem({"PropertyMissing", {"Password"}});
    fields.readOnly({"Id", "Name"});
    if (const auto problems = fields.finish(); !problems.empty()) return ex.fail(400, problems);
    const auto role = ex.parts.accounts.authenticate(*user, *password);
    if (!role) {
        ex.fail(401, {{"AccessUnauthorized", {}}});
        return;
    }
    const auto opened = ex.parts.sessions.open(*user, *role);
    if (!opened) return ex.fail(503, {{"SessionLimitExceeded", {}}});
    const auto& [session, token] = *opened;
    ex.created(sessionUri(session.id), sessionJson(session));
    ex.response.headers.set("X-Auth-Token", token);
}

void getSession(Exchange& ex) {
    const auto session = ex.parts.sessions.find(ex.param(0));
    if (!session) return ex.notFound("Session", ex.param(0));
    ex.ok(sessionJson(*session));
}

// Logging out: one's own session, or any with ConfigureManager.
void deleteSession(Exchange& ex) {
    const auto session = ex.parts.sessions.find(ex.param(0));
    if (!session) return ex.notFound("Session", ex.param(0));
    if (session->id != ex.caller->sessionId && !ex.allowed(kConfigureManager)) return;
    ex.parts.sessions.close(session->id);
    ex.noContent();
}

}  // namespace

void addSessionRoutes(Router& router) {
    router.add(kSessionService, "GET", kLogin, getSessionService);
    router.add(kSessionService, "PATCH", kLogin | kConfigureManager, patchSessionService);
    router.add(kSessions, "GET", kLogin, getSessions);
    router.add(kSessions, "POST", 0, postSession);
    router.add(std::string(kSessions) + "/{}", "GET", kLogin, getSession);
    router.add(std::string(kSessions) + "/{}", "DELETE", kLogin, deleteSession);
}

}  // namespace vorl::redfish
