// AccountService: the service's own accounts and the three standard roles. Accounts of the
// configuration file are shown but changed only in that file; accounts created here live in
// the state directory and can be changed and removed here.
#include "redfish/exchange.h"
#include "redfish/resource_routes.h"
#include "redfish/schema_types.h"

namespace vorl::redfish {
namespace {

constexpr const char* kAccountService = "/redfish/v1/AccountService";
constexpr const char* kAccounts = "/redfish/v1/AccountService/Accounts";
constexpr const char* kRoles = "/redfish/v1/AccountService/Roles";
constexpr Role kRoleList[] = {Role::Administrator, Role::Operator, Role::ReadOnly};

std::string accountUri(const std::string& name) {
    return std::string(kAccounts) + "/" + name;
}

std::string roleUri(Role role) {
    return std::string(kRoles) + "/" + roleName(role);
}

Json accountJson(const AccountView& account) {
    return {{"@odata.id", accountUri(account.name)},
            {"@odata.type", odataType("ManagerAccount")},
            {"Id", account.name},
            {"Name", "User Account"},
            {"Description", account.configured ? "Configured in the service's configuration file"
                                               : "Created through AccountService"},
            {"UserName", account.name},
            {"RoleId", roleName(account.role)},
            {"Enabled", true},
            {"Locked", false},
            {"Password", nullptr},
            {"AccountTypes", {"Redfish"}},
            {"Links", {{"Role", link(roleUri(account.role))}}}};
}

// An outcome of ServiceAccounts that is not Done, as an answer.
void failChange(Exchange& ex, ServiceAccounts::Outcome outcome, const std::string& name) {
    using Outcome = ServiceAccounts::Outcome;
    switch (outcome) {
        case Outcome::Exists:
            return ex.fail(409, {{"ResourceAlreadyExists", {"ManagerAccount", "UserName", name}}});
        case Outcome::Missing:
            return ex.notFound("ManagerAccount", name);
        case Outcome::Configured:
            // Changed in the configuration file only, so that file stays the truth.
            return ex.fail(403, {{"ResourceCannotBeDeleted", {}}});
        case Outcome::BadPassword:
            return ex.fail(400, {{"PasswordIncorrectLength", {}}});
        default:
            return ex.fail(500, {{"InternalError", {}}});
    }
}

void getAccountService(Exchange& ex) {
    ex.ok({{"@odata.id", kAccountService},
           {"@odata.type", odataType("AccountService")},
           {"Id", "AccountService"},
           {"Name", "Account Service"},
           {"Description",
            "The accounts of this Redfish service (each card's own accounts are "
            "its Manager's RemoteAccountService)"},
           {"ServiceEnabled", true},
           {"Status", {{"State", "Enabled"}, {"Health", "OK"}}},
           {"LocalAccountAuth", "Enabled"},
           {"MinPasswordLength", ServiceAccounts::kMinPassword},
           {"MaxPasswordLength", ServiceAccounts::kMaxPassword},
           {"Accounts", link(kAccounts)},
           {"Roles", link(kRoles)}});
}

void getAccounts(Exchange& ex) {
    std::vector<std::string> members;
    for (const AccountView& account : ex.parts.accounts.list())
        members.push_back(accountUri(account.name));
    ex.ok(collection("ManagerAccountCollection", kAccounts, "Accounts Collection", members));
}

void postAccount(Exchange& ex) {
    Json body;
    if (!ex.readObject(body)) return;
    PatchBody fields(body);
    const auto name = fields.string("UserName");
    const auto password = fields.string("Password");
    const auto roleText = fields.string("RoleId");
    const auto id = fields.string("Id");
    const auto enabled = fields.boolean("Enabled");
    if (!name) fields.problem({"PropertyMissing", {"UserName"}});
    if (!password) fields.problem({"PropertyMissing", {"Password"}});
    if (!roleText) fields.problem({"PropertyMissing", {"RoleId"}});
    std::optional<Role> role;
    if (roleText) role = parseRole(*roleText);
    if (roleText && !role) fields.problem({"PropertyValueNotInList", {*roleText, "RoleId"}});
    if (name && !isValidAccountName(*name))
        fields.problem({"PropertyValueFormatError", {*name, "UserName"}});
    if (id && name && *id != *name) fields.problem({"PropertyValueConflict", {"Id", "UserName"}});
    if (enabled && !*enabled) fields.problem({"PropertyValueNotInList", {"false", "Enabled"}});
    fields.readOnly({"Locked", "AccountTypes", "Links", "Name", "Description"});
    if (const auto problems = fields.finish(); !problems.empty()) return ex.fail(400, problems);
    const auto outcome = ex.parts.accounts.add(*name, *password, *role);
    if (outcome != ServiceAccounts::Outcome::Done) return failChange(ex, outcome, *name);
    ex.created(accountUri(*name), accountJson(*ex.parts.accounts.find(*name)));
}

void getAccount(Exchange& ex) {
    const auto account = ex.parts.accounts.find(ex.param(0));
    if (!account) return ex.notFound("ManagerAccount", ex.param(0));
    ex.ok(accountJson(*account));
}

// One's own password needs ConfigureSelf; anything else of any account ConfigureUsers.
void patchAccount(Exchange& ex) {
    const std::string& name = ex.param(0);
    const auto account = ex.parts.accounts.find(name);
    if (!account) return ex.notFound("ManagerAccount", name);
    Json body;
    if (!ex.readObject(body)) return;
    PatchBody patch(body);
    const auto password = patch.string("Password");
    const auto roleText = patch.string("RoleId");
    std::optional<Role> role;
    if (roleText) role = parseRole(*roleText);
    if (roleText && !role) patch.problem({"PropertyValueNotInList", {*roleText, "RoleId"}});
    if (const auto newName = patch.string("UserName"); newName && *newName != name)
        patch.problem({"PropertyNotWritable", {"UserName"}});
    if (const auto enabled = patch.boolean("Enabled"); enabled && !*enabled)
        patch.problem({"PropertyValueNotInList", {"false", "Enabled"}});
    patch.readOnly({"Id", "Name", "Description", "Locked", "AccountTypes", "Links"});
    if (const auto problems = patch.finish(); !problems.empty()) return ex.fail(400, problems);
    const bool self = ex.caller->user == name;
    const bool onlyOwnPassword = self && !(role && *role != account->role);
    if (!ex.allowed(onlyOwnPassword ? kConfigureSelf : kConfigureUsers)) return;
    if (password) {
        const auto outcome = ex.parts.accounts.setPassword(name, *password);
        if (outcome != ServiceAccounts::Outcome::Done) return failChange(ex, outcome, name);
    }
    if (role && *role != account->role) {
        const auto outcome = ex.parts.accounts.setRole(name, *role);
        if (outcome != ServiceAccounts::Outcome::Done) return failChange(ex, outcome, name);
    }
    ex.ok(accountJson(*ex.parts.accounts.find(name)));
}

void deleteAccount(Exchange& ex) {
    const std::string& name = ex.param(0);
    const auto outcome = ex.parts.accounts.remove(name);
    if (outcome != ServiceAccounts::Outcome::Done) return failChange(ex, outcome, name);
    ex.parts.sessions.closeUser(name);
    ex.noContent();
}

void getRoles(Exchange& ex) {
    std::vector<std::string> members;
    for (Role role : kRoleList) members.push_back(roleUri(role));
    ex.ok(collection("RoleCollection", kRoles, "Roles Collection", members));
}

void getRole(Exchange& ex) {
    const auto role = parseRole(ex.param(0));
    if (!role) return ex.notFound("Role", ex.param(0));
    ex.ok({{"@odata.id", roleUri(*role)},
           {"@odata.type", odataType("Role")},
           {"Id", roleName(*role)},
           {"Name", std::string(roleName(*role)) + " Role"},
           {"RoleId", roleName(*role)},
           {"IsPredefined", true},
           {"AssignedPrivileges", privilegeNames(rolePrivileges(*role))},
           {"OemPrivileges", Json::array()}});
}

}  // namespace

void addAccountRoutes(Router& router) {
    router.add(kAccountService, "GET", kLogin, getAccountService);
    router.add(kAccounts, "GET", kLogin, getAccounts);
    router.add(kAccounts, "POST", kLogin | kConfigureUsers, postAccount);
    router.add(std::string(kAccounts) + "/{}", "GET", kLogin, getAccount);
    router.add(std::string(kAccounts) + "/{}", "PATCH", kLogin, patchAccount);
    router.add(std::string(kAccounts) + "/{}", "DELETE", kLogin | kConfigureUsers, deleteAccount);
    router.add(kRoles, "GET", kLogin, getRoles);
    router.add(std::string(kRoles) + "/{}", "GET", kLogin, getRole);
}

}  // namespace vorl::redfish
