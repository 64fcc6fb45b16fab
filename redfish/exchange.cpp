#include "redfish/exchange.h"

#include "redfish/schema_types.h"
#include "wire/status_codes.h"

namespace vorl::redfish {
namespace {

// The HTTP status for a card's refusal of a command.
int statusForRefusal(int cardStatus) {
    switch (cardStatus) {
        case kStatusArgumentNeeded:
        case kStatusArgumentCountInsufficient:
        case kStatusOutOfRange:
        case kStatusNullArgument:
        case kStatusInvalidArgument:
            return 400;
        case kStatusPermissionDenied:
        case kStatusReadOnly:
            return 403;
        case kStatusResourceNotExist:
            return 404;
        case kStatusAlreadyExists:
            return 409;
        case kStatusUnsupported:
            return 501;
        case kStatusBusy:
        case kStatusTryAgain:
        case kStatusInProgress:
            return 503;
        default:
            return 500;
    }
}

}  // namespace

Clock::time_point Exchange::cardDeadline() {
    if (!cardDeadline_) cardDeadline_ = Clock::now() + parts.settings.cardTimeout;
    return *cardDeadline_;
}

void Exchange::answer(int status, const Json& body) {
    response.status = status;
    response.body = jsonText(body);
    response.headers.set("Content-Type", "application/json; charset=utf-8");
    answered_ = true;
}

bool Exchange::readObject(Json& body) {
    if (request.body.empty()) {
        fail(400, {{"EmptyJSON", {}}});
        return false;
    }
    body = Json::parse(request.body, nullptr, false);
    if (body.is_discarded()) {
        fail(400, {{"MalformedJSON", {}}});
        return false;
    }
    if (!body.is_object()) {
        fail(400, {{"UnrecognizedRequestBody", {}}});
        return false;
    }
    return true;
}

void Exchange::ok(const Json& resource) {
    answer(200, resource);
    resource_ = resource;
}

void Exchange::created(const std::string& location, const Json& resource) {
    answer(201, resource);
    resource_ = resource;
    response.headers.set("Location", location);
}

void Exchange::text(int status, const std::string& contentType, std::string body) {
    response.status = status;
    response.body = std::move(body);
    response.headers.set("Content-Type", contentType);
    answered_ = true;
}

void Exchange::noContent() {
    response.status = 204;
    response.body.clear();
    answered_ = true;
}

void Exchange::fail(int status, std::vector<Message> messages) {
    answer(status, errorJson(messages));
    resource_.reset();
}

void Exchange::notFound(const std::string& type, const std::string& id) {
    fail(404, {{"ResourceNotFound", {type, id}}});
}

Card* Exchange::findCard(const std::string& id, const std::string& type) {
    Card* card = parts.cards.find(id);
    if (card == nullptr) notFound(type, id);
    return card;
}

void Exchange::cardFailed(const Card& card, const CardResult& result, const std::string& detail) {
    const CardEndpoint& endpoint = card.link.endpoint();
    const std::string where = endpoint.local()
                                  ? "the local card (host interface)"
                                  : endpoint.address + ":" + std::to_string(endpoint.port);
    const std::string retry = std::to_string(result.retryAfterSeconds);
    const Message unavailable{"ServiceTemporarilyUnavailable", {retry}};
    // What the work itself found out (which step failed, what the card holds now) comes first.
    auto fail = [&](int status, std::vector<Message> messages) {
        if (!detail.empty())
            messages.insert(messages.begin(), Message{"UndeterminedFault",
                                                      {"card " + card.link.id() + ": " + detail}});
        this->fail(status, std::move(messages));
    };
    switch (result.trouble) {
        case CardTrouble::None: {
            const std::string text = "card " + card.link.id() +
                                     " refused: " + statusMessage(result.status) + " (status " +
                                     std::to_string(result.status) + ")";
            const int status = statusForRefusal(result.status);
            fail(status, {{"UndeterminedFault", {text}}});
            if (status == 503) response.headers.set("Retry-After", "2");
            return;
        }
        case CardTrouble::Busy:
            fail(503, {{"ResourceInUse", {}}, unavailable});
            break;
        case CardTrouble::LoginRefused:
            fail(503, {{"AccessDenied", {where}}, unavailable});
            break;
        case CardTrouble::Lost:
            fail(503, {{"OperationTimeout", {}}, unavailable});
            break;
        case CardTrouble::Down:
        case CardTrouble::Unreachable:
            fail(503, {{"UndeterminedFault",
                        {"card " + card.link.id() + " at " + where + " does not answer"}},
                       unavailable});
            break;
    }
    response.headers.set("Retry-After", retry);
}

bool Exchange::allowed(unsigned needed) {
    if (caller && (caller->privileges & needed) == needed) return true;
    fail(403, {{"InsufficientPrivilege", {}}});
    return false;
}

const Json* PatchBody::take(const char* key) {
    used_.emplace_back(key);
    const auto found = body_.find(key);
    return found == body_.end() ? nullptr : &*found;
}

void PatchBody::wrongType(const char* key, const Json& value) {
    problems_.push_back({"PropertyValueTypeError", {argumentText(value), key}});
}

std::optional<std::string> PatchBody::string(const char* key) {
    const Json* value = take(key);
    if (value == nullptr) return std::nullopt;
    if (!value->is_string()) {
        wrongType(key, *value);
        return std::nullopt;
    }
    return value->get<std::string>();
}

std::optional<int64_t> PatchBody::integer(const char* key) {
    const Json* value = take(key);
    if (value == nullptr) return std::nullopt;
    if (!value->is_number_integer()) {
        wrongType(key, *value);
        return std::nullopt;
    }
    return value->get<int64_t>();
}

std::optional<bool> PatchBody::boolean(const char* key) {
    const Json* value = take(key);
    if (value == nullptr) return std::nullopt;
    if (!value->is_boolean()) {
        wrongType(key, *value);
        return std::nullopt;
    }
    return value->get<bool>();
}

const Json* PatchBody::object(const char* key) {
    const Json* value = take(key);
    if (value != nullptr && !value->is_object()) {
        wrongType(key, *value);
        return nullptr;
    }
    return value;
}

const Json* PatchBody::array(const char* key) {
    const Json* value = take(key);
    if (value != nullptr && !value->is_array()) {
        wrongType(key, *value);
        return nullptr;
    }
    return value;
}

void PatchBody::readOnly(std::initializer_list<const char*> keys) {
    for (const char* key : keys) {
        used_.emplace_back(key);
        if (body_.contains(key)) problems_.push_back({"PropertyNotWritable", {key}});
    }
}

std::vector<Message> PatchBody::finish() {
    for (const auto& [key, value] : body_.items()) {
        if (!key.empty() && key[0] == '@') continue;
        bool known = false;
        for (const std::string& used : used_) known = known || used == key;
        if (!known) problems_.push_back({"PropertyUnknown", {key}});
    }
    return problems_;
}

Json link(const std::string& uri) {
    return {{"@odata.id", uri}};
}

Json collection(const std::string& type, const std::string& uri, const std::string& name,
                const std::vector<std::string>& members) {
    Json list = Json::array();
    for (const std::string& member : members) list.push_back(link(member));
    return {{"@odata.id", uri},
            {"@odata.type", odataType(type)},
            {"Name", name},
            {"Members@odata.count", members.size()},
            {"Members", std::move(list)}};
}

}  // namespace vorl::redfish
