// A card's own accounts as its Manager's RemoteAccountService: the card's logins (add, delete,
// a new password) and its SNMP users (listed and added; the card cannot delete them). The
// account the service itself logs in with is not deleted or changed here, which would lock the
// service out of the card.
#include "cardread/card_accounts.h"
#include "protocol/card_session.h"
#include "protocol/entry_rules.h"
#include "protocol/user_records.h"
#include "redfish/card_password_change.h"
#include "redfish/exchange.h"
#include "redfish/resource_routes.h"
#include "redfish/schema_types.h"
#include "wire/status_codes.h"

namespace vorl::redfish {
namespace {

// The card's rules for its accounts, as vorlcli applies them.
constexpr size_t kMaxText = 30;
constexpr size_t kMinLoginPassword = 8;
constexpr const char* kSnmpPrefix = "SNMP.";  // no card account name holds a dot

std::string serviceUri(const std::string& card) {
    return std::string(kManagers) + "/" + card + "/RemoteAccountService";
}

std::string accountsUri(const std::string& card) {
    return serviceUri(card) + "/Accounts";
}

const char* authName(const std::string& protocol) {
    return protocol == "SHA" ? "HMAC_SHA96" : "HMAC_MD5";
}

Json loginJson(const std::string& card, const std::string& name) {
    return {{"@odata.id", accountsUri(card) + "/" + name},
            {"@odata.type", odataType("ManagerAccount")},
            {"Id", name},
            {"Name", "VORL card login"},
            {"UserName", name},
            {"RoleId", "Administrator"},
            {"Enabled", true},
            {"Password", nullptr},
            {"AccountTypes", {"OEM"}},
            {"OEMAccountTypes", {"VORL"}}};
}

Json snmpJson(const std::string& card, const cardread::SnmpUser& user) {
    return {{"@odata.id", accountsUri(card) + "/" + kSnmpPrefix + user.name},
            {"@odata.type", odataType("ManagerAccount")},
            {"Id", kSnmpPrefix + user.name},
            {"Name", "VORL card SNMP user"},
            {"UserName", user.name},
            {"Enabled", true},
            {"Password", nullptr},
            {"AccountTypes", {"SNMP"}},
            {"SNMP",
             {{"AuthenticationProtocol", authName(user.authProtocol)},
              {"EncryptionProtocol", user.privProtocol == "DES" ? "CBC_DES" : "None"}}}};
}

struct CardAccounts {
    std::vector<std::string> logins;
    std::vector<cardread::SnmpUser> snmp;
};

// Both lists; null after answering the card's failure.
std::optional<CardAccounts> readAccounts(Exchange& ex, Card& card) {
    CardAccounts accounts;
    const CardResult result =
        card.link.run(ex.cardDeadline(), CardLink::Kind::Read, [&](CardSession& session) {
            if (const int status = cardread::readUserNames(session, accounts.logins); status != 0)
                return status;
            return cardread::readSnmpUsers(session, accounts.snmp);
        });
    if (!result.ok()) {
        ex.cardFailed(card, result);
        return std::nullopt;
    }
    return accounts;
}

void getRemoteAccountService(Exchange& ex) {
    Card* card = ex.findCard(ex.param(0), "Manager");
    if (card == nullptr) return;
    const std::string& id = card->link.id();
    ex.ok({{"@odata.id", serviceUri(id)},
           {"@odata.type", odataType("AccountService")},
           {"Id", "RemoteAccountService"},
           {"Name", "VORL card " + id + " accounts"},
           {"Description", "The card's own logins and SNMP users"},
           {"ServiceEnabled", true},
           {"LocalAccountAuth", "Enabled"},
           {"MinPasswordLength", kMinLoginPassword},
           {"MaxPasswordLength", kMaxText},
           {"Accounts", link(accountsUri(id))}});
}

void getAccounts(Exchange& ex) {
    Card* card = ex.findCard(ex.param(0), "Manager");
    if (card == nullptr) return;
    const auto accounts = readAccounts(ex, *card);
    if (!accounts) return;
    const std::string uri = accountsUri(card->link.id());
    std::vector<std::string> members;
    for (const std::string& name : accounts->logins) members.push_back(uri + "/" + name);
    for (const auto& user : accounts->snmp) members.push_back(uri + "/" + kSnmpPrefix + user.name);
    ex.ok(collection("ManagerAccountCollection", uri, "VORL card accounts", members));
}

void getAccount(Exchange& ex) {
    Card* card = ex.findCard(ex.param(0), "Manager");
    if (card == nullptr) return;
    const auto accounts = readAccounts(ex, *card);
    if (!accounts) return;
    const std::string& id = ex.param(1);
    for (const std::string& name : accounts->logins)
        if (name == id) return ex.ok(loginJson(card->link.id(), name));
    for (const auto& user : accounts->snmp)
        if (kSnmpPrefix + user.name == id) return ex.ok(snmpJson(card->link.id(), user));
    ex.notFound("ManagerAccount", id);
}

void checkAccountText(PatchBody& fields, const std::string& text, const char* property,
                      size_t minimum) {
    if (text.size() > kMaxText)
        fields.problem({"StringValueTooLong", {text, std::to_string(kMaxText)}});
    else if (text.size() < minimum)
        fields.problem({"StringValueTooShort", {text, std::to_string(minimum)}});
    else if (!isValidAccountText(text))
        fields.problem({"PropertyValueFormatError", {text, property}});
}

// A login ({UserName, Password}) or, with AccountTypes ["SNMP"], an SNMP user with its
// SNMP/AuthenticationProtocol (HMAC_MD5, HMAC_SHA96) and SNMP/EncryptionProtocol (CBC_DES, None).
void postAccount(Exchange& ex) {
    Card* card = ex.findCard(ex.param(0), "Manager");
    if (card == nullptr) return;
    Json body;
    if (!ex.readObject(body)) return;
    PatchBody fields(body);
    const auto name = fields.string("UserName");
    const auto password = fields.string("Password");
    const auto role = fields.string("RoleId");
    const Json* types = fields.array("AccountTypes");
    const bool snmp = types != nullptr && *types == Json::array({"SNMP"});
    if (types != nullptr && !snmp && *types != Json::array({"OEM"}))
        fields.problem({"PropertyValueNotInList", {argumentText(*types), "AccountTypes"}});
    if (role && *role != "Administrator")
        fields.problem({"PropertyValueNotInList", {*role, "RoleId"}});
    if (!name) fields.problem({"PropertyMissing", {"UserName"}});
    if (!password) fields.problem({"PropertyMissing", {"Password"}});
    if (name) checkAccountText(fields, *name, "UserName", 1);
    // Keep the password out of any message: only its length is judged in words.
    if (password &&
        (password->size() > kMaxText || password->size() < (snmp ? 1 : kMinLoginPassword) ||
         !isValidAccountText(*password)))
        fields.problem({"PasswordIncorrectLength", {}});
    SnmpUserRecord record;
    if (const Json* settings = fields.object("SNMP"); settings && snmp) {
        PatchBody protocols(*settings);
        const auto auth = protocols.string("AuthenticationProtocol").value_or("HMAC_MD5");
        const auto priv = protocols.string("EncryptionProtocol").value_or("None");
        if (auth != "HMAC_MD5" && auth != "HMAC_SHA96")
            protocols.problem({"PropertyValueNotInList", {auth, "SNMP/AuthenticationProtocol"}});
        if (priv != "CBC_DES" && priv != "None")
            protocols.problem({"PropertyValueNotInList", {priv, "SNMP/EncryptionProtocol"}});
        for (Message& problem : protocols.finish()) fields.problem(std::move(problem));
        setField(record.authProtocol, sizeof record.authProtocol,
                 auth == "HMAC_SHA96" ? "SHA" : "MD5");
        setField(record.privProtocol, sizeof record.privProtocol,
                 priv == "CBC_DES" ? "DES" : "NONE");
    } else if (snmp) {
        setField(record.authProtocol, sizeof record.authProtocol, "MD5");
        setField(record.privProtocol, sizeof record.privProtocol, "NONE");
    }
    fields.readOnly({"Id", "Name", "Enabled", "Locked", "Links"});
    if (const auto problems = fields.finish(); !problems.empty()) return ex.fail(400, problems);
    if (snmp) {
        setField(record.name, sizeof record.name, *name);
        setField(record.password, sizeof record.password, *password);
    }
    const CardResult result =
        card->link.run(ex.cardDeadline(), CardLink::Kind::Write, [&](CardSession& session) {
            return snmp ? session.addSnmpUser(record) : session.addUser(*name, *password);
        });
    if (result.trouble == CardTrouble::None && result.status == kStatusAlreadyExists)
        return ex.fail(409, {{"ResourceAlreadyExists", {"ManagerAccount", "UserName", *name}}});
    if (!result.ok()) return ex.cardFailed(*card, result);
    const std::string id = snmp ? kSnmpPrefix + *name : *name;
    ex.created(accountsUri(card->link.id()) + "/" + id,
               snmp ? snmpJson(card->link.id(), {*name, record.authProtocol, record.privProtocol})
                    : loginJson(card->link.id(), *name));
}

// Card accounts that this service must leave alone, and SNMP users the card cannot change.
bool mayChange(Exchange& ex, const Card& card, const std::string& id) {
    if (id.rfind(kSnmpPrefix, 0) == 0) {
        ex.fail(405, {{"OperationNotAllowed", {}}});
        return false;
    }
    if (!card.link.endpoint().local() && id == card.link.endpoint().user) {
        ex.fail(409, {{"ResourceInUse", {}}});
        return false;
    }
    return true;
}

void patchAccount(Exchange& ex) {
    Card* card = ex.findCard(ex.param(0), "Manager");
    if (card == nullptr) return;
    const std::string& id = ex.param(1);
    Json body;
    if (!ex.readObject(body)) return;
    PatchBody fields(body);
    const auto password = fields.string("Password");
    if (const auto name = fields.string("UserName"); name && *name != id)
        fields.problem({"PropertyNotWritable", {"UserName"}});
    if (const auto role = fields.string("RoleId"); role && *role != "Administrator")
        fields.problem({"PropertyValueNotInList", {*role, "RoleId"}});
    if (const auto enabled = fields.boolean("Enabled"); enabled && !*enabled)
        fields.problem({"PropertyValueNotInList", {"false", "Enabled"}});
    if (password && (password->size() > kMaxText || password->size() < kMinLoginPassword ||
                     !isValidAccountText(*password)))
        fields.problem({"PasswordIncorrectLength", {}});
    fields.readOnly({"Id", "Name", "Locked", "AccountTypes", "OEMAccountTypes", "SNMP", "Links"});
    if (const auto problems = fields.finish(); !problems.empty()) return ex.fail(400, problems);
    if (!mayChange(ex, *card, id)) return;
    if (password) {
        CardPasswordChange change;
        const CardResult result =
            card->link.run(ex.cardDeadline(), CardLink::Kind::Write, [&](CardSession& session) {
                change = changeCardPassword(session, id, *password);
                return change.status;
            });
        if (result.trouble == CardTrouble::None && result.status == kAccountMissing)
            return ex.notFound("ManagerAccount", id);
        if (!result.ok()) return ex.cardFailed(*card, result, change.description);
    }
    getAccount(ex);
}

void deleteAccount(Exchange& ex) {
    Card* card = ex.findCard(ex.param(0), "Manager");
    if (card == nullptr) return;
    const std::string& id = ex.param(1);
    if (!mayChange(ex, *card, id)) return;
    UserRecord record;
    setField(record.name, sizeof record.name, id);
    setField(record.password, sizeof record.password, "fillerpwd");
    const CardResult result =
        card->link.run(ex.cardDeadline(), CardLink::Kind::Write,
                       [&](CardSession& session) { return session.deleteUser(record); });
    if (result.trouble == CardTrouble::None && result.status == kStatusResourceNotExist)
        return ex.notFound("ManagerAccount", id);
    if (!result.ok()) return ex.cardFailed(*card, result);
    ex.noContent();
}

}  // namespace

void addRemoteAccountRoutes(Router& router) {
    const std::string service = std::string(kManagers) + "/{}/RemoteAccountService";
    router.add(service, "GET", kLogin, getRemoteAccountService);
    router.add(service + "/Accounts", "GET", kLogin, getAccounts);
    router.add(service + "/Accounts", "POST", kLogin | kConfigureUsers, postAccount);
    router.add(service + "/Accounts/{}", "GET", kLogin, getAccount);
    router.add(service + "/Accounts/{}", "PATCH", kLogin | kConfigureUsers, patchAccount);
    router.add(service + "/Accounts/{}", "DELETE", kLogin | kConfigureUsers, deleteAccount);
}

}  // namespace vorl::redfish
