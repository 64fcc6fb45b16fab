// UpdateService with FirmwareInventory (each card's six firmware modules and their versions as
// the card's flash sections report them) and the updates: a multipart push or SimpleUpdate
// starts one task per card named in Targets.
#include <algorithm>
#include <atomic>
#include <cctype>

#include "redfish/card_readings.h"
#include "redfish/exchange.h"
#include "redfish/firmware_update.h"
#include "redfish/image_download.h"
#include "redfish/multipart.h"
#include "redfish/resource_routes.h"
#include "redfish/schema_types.h"
#include "redfish/service_state.h"
#include "redfish/task_messages.h"
#include "redfish/task_service.h"
#include "wire/status_codes.h"

namespace vorl::redfish {
namespace {

constexpr const char* kUpdateService = "/redfish/v1/UpdateService";
constexpr const char* kInventory = "/redfish/v1/UpdateService/FirmwareInventory";
constexpr const char* kPushUri = "/redfish/v1/UpdateService/update-multipart";
constexpr const char* kSimpleUpdate =
    "/redfish/v1/UpdateService/Actions/UpdateService.SimpleUpdate";
// An upload carries the image and a little more: its parameters and the multipart framing.
constexpr size_t kMaxUpload = kImageBytes + 65536;
// The modules an image holds and a flash writes (the boot block is not one of them).
constexpr const char* kModules[] = {"OS", "DIAG", "WEB", "FPGA", "CONFIG", "SDK"};

std::string memberUri(const std::string& card, const std::string& module) {
    return std::string(kInventory) + "/" + card + "." + module;
}

void getUpdateService(Exchange& ex) {
    ex.ok({{"@odata.id", kUpdateService},
           {"@odata.type", odataType("UpdateService")},
           {"Id", "UpdateService"},
           {"Name", "Update Service"},
           {"ServiceEnabled", true},
           {"Status", {{"State", "Enabled"}, {"Health", "OK"}}},
           {"FirmwareInventory", link(kInventory)},
           {"MultipartHttpPushUri", kPushUri},
           {"MaxImageSizeBytes", kImageBytes},
           {"Actions",
            {{"#UpdateService.SimpleUpdate",
              {{"target", kSimpleUpdate},
               {"TransferProtocol@Redfish.AllowableValues",
                ex.parts.updateFileDir.empty() ? Json{"HTTP", "HTTPS"}
                                               : Json{"HTTP", "HTTPS", "FILE"}}}}}}});
}

void getInventory(Exchange& ex) {
    std::vector<std::string> members;
    for (const auto& card : ex.parts.cards.cards())
        for (const char* module : kModules) members.push_back(memberUri(card->link.id(), module));
    ex.ok(collection("SoftwareInventoryCollection", kInventory, "Firmware Inventory", members));
}

void getMember(Exchange& ex) {
    const std::string& id = ex.param(0);
    const size_t dot = id.find('.');
    const std::string cardId = id.substr(0, dot);
    const std::string module = dot == std::string::npos ? "" : id.substr(dot + 1);
    bool known = false;
    for (const char* name : kModules) known = known || module == name;
    Card* card = known ? ex.parts.cards.find(cardId) : nullptr;
    if (card == nullptr) return ex.notFound("SoftwareInventory", id);
    const auto reading = readFirmware(ex, *card);
    if (!reading) return;
    for (const auto& [name, version] : reading->sectionVersions) {
        if (name != module) continue;
        return ex.ok({{"@odata.id", memberUri(cardId, module)},
                      {"@odata.type", odataType("SoftwareInventory")},
                      {"Id", id},
                      {"Name", module + " module of VORL card " + cardId},
                      {"SoftwareId", module},
                      {"Version", version},
                      {"Updateable", true},
                      {"Status", {{"State", "Enabled"}, {"Health", "OK"}}},
                      {"RelatedItem", {link(std::string(kManagers) + "/" + cardId)}}});
    }
    // The card would not tell its sections' versions.
    ex.cardFailed(*card, CardResult{CardTrouble::None,
                                    reading->results.empty() ? 30 : reading->results[0].status, 0});
}

// An error whose first message is `message` and whose text says `reason`; `extra` (a message of
// another registry) follows in @Message.ExtendedInfo.
void refuse(Exchange& ex, int status, const Message& message, const std::string& reason,
            const Json& extra = nullptr) {
    ex.fail(status, {message});
    Json body = Json::parse(ex.response.body);
    body["error"]["message"] = reason;
    if (!extra.is_null()) body["error"]["@Message.ExtendedInfo"].push_back(extra);
    ex.response.body = jsonText(body);
}

void refuseBusy(Exchange& ex, const std::string& card) {
    refuse(ex, 409, {"ResourceInUse", {}},
           "Card " + card + " is being updated already: nothing was started.",
           registryMessage(kUpdateRegistry, "UpdateInProgress", {}));
}

// What an update asks beside its image: the cards and how they are flashed.
struct UpdateRequest {
    std::vector<Card*> cards;
    UpdatePlan plan;
};

// The card of a Targets entry: a Manager's URI or one of its FirmwareInventory members.
Card* targetCard(Exchange& ex, const std::string& uri) {
    for (const std::string& prefix :
         {std::string(kManagers) + "/", std::string(kInventory) + "/"}) {
        if (uri.rfind(prefix, 0) != 0) continue;
        const std::string id = uri.substr(prefix.size());
        return ex.parts.cards.find(id.substr(0, id.find('.')));
    }
    return nullptr;
}

// Reads Targets, @Redfish.OperationApplyTime and Oem.Vorl (FlashMode, KeepConfiguration) from
// `body`, with `others` the action's own properties; false after answering 400.
bool readUpdateRequest(Exchange& ex, const Json& body, std::initializer_list<const char*> others,
                       UpdateRequest& out) {
    PatchBody read(body);
    for (const char* key : others) read.consumed(key);
    const Json* targets = read.array("Targets");
    if (!read.has("Targets")) read.problem({"PropertyMissing", {"Targets"}});
    if (targets != nullptr) {
        for (const Json& target : *targets) {
            Card* card = target.is_string() ? targetCard(ex, target.get<std::string>()) : nullptr;
            if (card == nullptr)
                read.problem({"PropertyValueNotInList", {argumentText(target), "Targets"}});
            else if (std::find(out.cards.begin(), out.cards.end(), card) == out.cards.end())
                out.cards.push_back(card);
        }
        if (targets->empty()) read.problem({"PropertyMissing", {"Targets"}});
    }
    if (body.contains("@Redfish.OperationApplyTime")) {
        const Json& time = body["@Redfish.OperationApplyTime"];
        if (time != "Immediate")
            read.problem(
                {"PropertyValueNotInList", {argumentText(time), "@Redfish.OperationApplyTime"}});
    }
    if (const Json* oem = read.object("Oem"); oem != nullptr) {
        for (const auto& [vendor, value] : oem->items()) {
            if (vendor != "Vorl" || !value.is_object()) {
                read.problem({"PropertyUnknown", {"Oem/" + vendor}});
                continue;
            }
            PatchBody vorl(value);
            if (const auto mode = vorl.string("FlashMode")) {
                if (*mode == "Complete")
                    out.plan.mode = FlashMode::Complete;
                else if (*mode != "Modules")
                    vorl.problem({"PropertyValueNotInList", {*mode, "FlashMode"}});
            }
            if (const auto keep = vorl.boolean("KeepConfiguration"))
                out.plan.keepConfiguration = *keep;
            for (Message& problem : vorl.finish()) read.problem(std::move(problem));
        }
    }
    const std::vector<Message> problems = read.finish();
    if (!problems.empty()) ex.fail(400, problems);
    return problems.empty();
}

// Checks the image and starts one task per card: 202 with the first task's Location, or the
// refusal (a bad image, a card already being updated). Nothing is started unless all can be.
void startUpdates(Exchange& ex, const std::shared_ptr<ImageFile>& image,
                  const UpdateRequest& request, const char* parameter, const char* action) {
    if (const std::string fault = imageFault(image->path()); !fault.empty())
        return refuse(
            ex, 400, {"ActionParameterValueNotInList", {image->name(), parameter, action}},
            "The image is refused: " + fault + ".",
            registryMessage(kUpdateRegistry, "VerificationFailed", {image->name(), "the service"}));
    for (Card* card : request.cards)
        if (ex.parts.tasks->cardBusy(card->link.id())) return refuseBusy(ex, card->link.id());
    // Module mode writes nothing to a card whose sections the image does not fit: found out now.
    for (Card* card : request.cards) {
        if (request.plan.mode != FlashMode::Modules) break;
        std::string fault;
        const CardResult result = card->link.run(
            ex.cardDeadline(), CardLink::Kind::Read,
            [&](CardSession& session) { return checkImageFits(session, image->path(), fault); });
        if (result.trouble == CardTrouble::None && result.status == kStatusInvalidArgument)
            return refuse(
                ex, 400, {"ActionParameterValueNotInList", {image->name(), parameter, action}},
                "The image is refused for card " + card->link.id() + ": " + fault + ".",
                registryMessage(kUpdateRegistry, "VerificationFailed",
                                {image->name(), std::string(kManagers) + "/" + card->link.id()}));
        if (!result.ok()) return ex.cardFailed(*card, result);
    }
    std::vector<TaskService::NewTask> tasks;
    for (Card* card : request.cards)
        tasks.push_back({card->link.id(), "Firmware update of card " + card->link.id(),
                         updateJob(ex.parts, *card, image, request.plan)});
    std::string busy;
    const auto ids = ex.parts.tasks->start(std::move(tasks), busy);
    if (!ids) return refuseBusy(ex, busy);
    Json answer = *ex.parts.tasks->task(ids->front());
    Json links = Json::array();
    for (const std::string& id : *ids) links.push_back(link(TaskService::uriOf(id)));
    answer["Oem"]["Vorl"]["Tasks"] = std::move(links);
    ex.ok(answer);
    ex.response.status = 202;
    ex.response.headers.set("Location", TaskService::monitorOf(ids->front()));
}

void pushMultipart(Exchange& ex) {
    std::vector<MultipartPart> parts;
    std::string error;
    if (!parseMultipart(ex.request.headers.get("Content-Type", ""), ex.request.body, parts, error))
        return refuse(ex, 400, {"UnrecognizedRequestBody", {}},
                      "The upload is refused: " + error + ".");
    const MultipartPart* parameters = nullptr;
    const MultipartPart* file = nullptr;
    for (const MultipartPart& part : parts) {
        if (part.name == "UpdateParameters") parameters = &part;
        if (part.name == "UpdateFile") file = &part;
    }
    if (parameters == nullptr) return ex.fail(400, {{"PropertyMissing", {"UpdateParameters"}}});
    if (file == nullptr) return ex.fail(400, {{"PropertyMissing", {"UpdateFile"}}});
    Json body = Json::parse(parameters->body, nullptr, false);
    if (body.is_discarded() || !body.is_object()) return ex.fail(400, {{"MalformedJSON", {}}});
    UpdateRequest request;
    if (!readUpdateRequest(ex, body, {}, request)) return;
    auto image = ImageFile::create(ex.parts.state.directory(),
                                   file->filename.empty() ? "UpdateFile" : file->filename);
    if (!image || !image->append(file->body) || !image->finish())
        return ex.fail(500, {{"InternalError", {}}});
    startUpdates(ex, image, request, "UpdateFile", "MultipartHttpPushUri");
}

// One of the kMaxDownloads downloads that may run at once, while it lives.
constexpr int kMaxDownloads = 2;
class DownloadTurn {
public:
    DownloadTurn() : taken_(++running_ <= kMaxDownloads) {}
    ~DownloadTurn() { --running_; }
    DownloadTurn(const DownloadTurn&) = delete;
    DownloadTurn& operator=(const DownloadTurn&) = delete;
    bool taken() const { return taken_; }

private:
    static inline std::atomic<int> running_{0};
    const bool taken_;
};

void simpleUpdate(Exchange& ex) {
    Json body;
    if (!ex.readObject(body)) return;
    UpdateRequest request;
    if (!readUpdateRequest(ex, body, {"ImageURI", "TransferProtocol", "Username", "Password"},
                           request))
        return;
    const auto uri = body.find("ImageURI");
    if (uri == body.end())
        return ex.fail(400,
                       {{"ActionParameterMissing", {"UpdateService.SimpleUpdate", "ImageURI"}}});
    if (!uri->is_string())
        return ex.fail(400, {{"ActionParameterValueTypeError",
                              {argumentText(*uri), "ImageURI", "UpdateService.SimpleUpdate"}}});
    std::string location = uri->get<std::string>();
    // A bare host/path with TransferProtocol names its scheme apart.
    if (const auto protocol = body.find("TransferProtocol");
        protocol != body.end() && protocol->is_string() &&
        location.find("://") == std::string::npos) {
        std::string scheme = protocol->get<std::string>();
        for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        location = scheme + "://" + location;
    }
    // A download holds one of the request workers: only a few at once, the rest told to retry.
    DownloadTurn turn;
    if (!turn.taken()) {
        refuse(ex, 503, {"ServiceTemporarilyUnavailable", {"5"}},
               "Other images are being downloaded: retry in a few seconds.");
        return ex.response.headers.set("Retry-After", "5");
    }
    const std::string name = location.substr(location.rfind('/') + 1);
    auto image = ImageFile::create(ex.parts.state.directory(), name.empty() ? location : name);
    if (!image) return ex.fail(500, {{"InternalError", {}}});
    DownloadLimits limits{ex.parts.downloadTimeout, kImageBytes, ex.parts.updateFileDir, {}, {}};
    for (auto [key, field] :
         {std::pair{"Username", &limits.user}, {"Password", &limits.password}}) {
        const auto value = body.find(key);
        if (value == body.end()) continue;
        if (!value->is_string())
            return ex.fail(400, {{"ActionParameterValueTypeError",
                                  {argumentText(*value), key, "UpdateService.SimpleUpdate"}}});
        *field = value->get<std::string>();
    }
    // User information in the address is refused, and never shown back.
    const size_t at = location.find('@');
    const std::string shown = at == std::string::npos ? location : "***" + location.substr(at);
    if (const std::string fault = fetchImage(location, limits, *image); !fault.empty())
        return refuse(
            ex, 400,
            {"ActionParameterValueNotInList", {shown, "ImageURI", "UpdateService.SimpleUpdate"}},
            "The image could not be fetched: " + fault + ".",
            registryMessage(kUpdateRegistry, "TransferFailed", {shown, "the service"}));
    if (!image->finish()) return ex.fail(500, {{"InternalError", {}}});
    startUpdates(ex, image, request, "ImageURI", "UpdateService.SimpleUpdate");
}

}  // namespace

void addUpdateServiceRoutes(Router& router) {
    router.add(kUpdateService, "GET", kLogin, getUpdateService);
    router.add(kInventory, "GET", kLogin, getInventory);
    router.add(std::string(kInventory) + "/{}", "GET", kLogin, getMember);
    router.add(kPushUri, "POST", kConfigureComponents, pushMultipart, kMaxUpload);
    router.add(kSimpleUpdate, "POST", kConfigureComponents, simpleUpdate);
}

}  // namespace vorl::redfish
