#include "redfish/messages.h"

namespace vorl::redfish {
namespace {

struct RegistryEntry {
    const char* key;
    const char* text;  // %1, %2, ... stand for the arguments
    const char* severity;
    int arguments;
    const char* resolution;
};

// The Base registry's messages this service gives (Base.1.22.1.json, DMTF, BSD licence).
constexpr RegistryEntry kBase[] = {
    {"Success", "The request completed successfully.", "OK", 0, "None."},
    {"Created", "The resource was created successfully.", "OK", 0, "None."},
    {"GeneralError",
     "A general error has occurred.  See Resolution for information on how to resolve the error, "
     "or @Message.ExtendedInfo if Resolution is not provided.",
     "Critical", 0, "None."},
    {"InternalError",
     "The request failed due to an internal service error.  The service is still operational.",
     "Critical", 0,
     "Resubmit the request.  If the problem persists, consider resetting the service."},
    {"PropertyUnknown", "The property %1 is not in the list of valid properties for the resource.",
     "Warning", 1,
     "Remove the unknown property from the request body and resubmit the request if the operation "
     "failed."},
    {"PropertyValueTypeError",
     "The value '%1' for the property %2 is not a type that the property can accept.", "Warning", 2,
     "Correct the value for the property in the request body and resubmit the request if the "
     "operation failed."},
    {"PropertyValueFormatError",
     "The value '%1' for the property %2 is not a format that the property can accept.", "Warning",
     2,
     "Correct the value for the property in the request body and resubmit the request if the "
     "operation failed."},
    {"PropertyValueNotInList",
     "The value '%1' for the property %2 is not in the list of acceptable values.", "Warning", 2,
     "Choose a value from the enumeration list that the implementation can support and resubmit "
     "the request if the operation failed."},
    {"PropertyValueOutOfRange",
     "The value '%1' for the property %2 is not in the supported range of acceptable values.",
     "Warning", 2,
     "Correct the value for the property in the request body and resubmit the request if the "
     "operation failed."},
    {"PropertyNotWritable",
     "The property %1 is a read-only property and cannot be assigned a value.", "Warning", 1,
     "Remove the property from the request body and resubmit the request if the operation failed."},
    {"PropertyMissing",
     "The property %1 is a required property and must be included in the request.", "Warning", 1,
     "Ensure that the property is in the request body and has a valid value and resubmit the "
     "request if the operation failed."},
    {"PropertyValueIncorrect",
     "The property '%1' with the requested value of '%2' could not be written because the value is "
     "not acceptable for the property.",
     "Warning", 2, "None."},
    {"PropertyValueConflict",
     "The property '%1' could not be written because its value would conflict with the value of "
     "the '%2' property.",
     "Warning", 2, "None."},
    {"MalformedJSON",
     "The request body submitted was malformed JSON and could not be parsed by the receiving "
     "service.",
     "Critical", 0, "Ensure that the request body is valid JSON and resubmit the request."},
    {"EmptyJSON",
     "The request body submitted contained an empty JSON object and the service is unable to "
     "process it.",
     "Warning", 0, "Add properties in the JSON object and resubmit the request."},
    {"ActionNotSupported", "The action %1 is not supported by the resource.", "Critical", 1,
     "Check the Actions property in the resource for the supported actions."},
    {"ActionParameterMissing",
     "The action %1 requires the parameter %2 to be present in the request body.", "Critical", 2,
     "Supply the action with the required parameter in the request body when the request is "
     "resubmitted."},
    {"ActionParameterUnknown", "The action %1 was submitted with the invalid parameter %2.",
     "Warning", 2,
     "Correct the invalid action parameter and resubmit the request if the operation failed."},
    {"ActionParameterValueNotInList",
     "The value '%1' for the parameter %2 in the action %3 is not in the list of acceptable "
     "values.",
     "Warning", 3,
     "Choose a value from the enumeration list that the implementation can support and resubmit "
     "the request if the operation failed."},
    {"ActionParameterValueTypeError",
     "The value '%1' for the parameter %2 in the action %3 is not a type that the parameter can "
     "accept.",
     "Warning", 3,
     "Correct the value for the parameter in the request body and resubmit the request if the "
     "operation failed."},
    {"EventSubscriptionLimitExceeded",
     "The event subscription failed due to the number of simultaneous subscriptions exceeding the "
     "limit of the implementation.",
     "Critical", 0,
     "Reduce the number of other subscriptions before trying to establish the event subscription "
     "or increase the limit of simultaneous subscriptions, if supported."},
    {"ResourceExhaustion",
     "The resource '%1' was unable to satisfy the request due to unavailability of resources.",
     "Critical", 1, "Ensure that the resources are available and resubmit the request."},
    {"ResourceNotFound", "The requested resource of type %1 named '%2' was not found.", "Critical",
     2, "Provide a valid resource identifier and resubmit the request."},
    {"ResourceAlreadyExists",
     "The requested resource of type %1 with the property %2 with the value '%3' already exists.",
     "Critical", 3, "Do not repeat the create operation as the resource was already created."},
    {"ResourceCannotBeDeleted",
     "The delete request failed because the resource requested cannot be deleted.", "Critical", 0,
     "Do not attempt to delete a non-deletable resource."},
    {"ResourceInUse",
     "The change to the requested resource failed because the resource is in use or in transition.",
     "Warning", 0, "Remove the condition and resubmit the request if the operation failed."},
    {"ResourceMissingAtURI", "The resource at the URI '%1' was not found.", "Critical", 1,
     "Place a valid resource at the URI or correct the URI and resubmit the request."},
    {"OperationNotAllowed", "The HTTP method is not allowed on this resource.", "Critical", 0,
     "None."},
    {"QueryParameterUnsupported", "Query parameter '%1' is not supported.", "Warning", 1,
     "Correct or remove the query parameter and resubmit the request."},
    {"QueryParameterValueFormatError",
     "The value '%1' for the parameter %2 is not a format that the parameter can accept.",
     "Warning", 2,
     "Correct the value for the query parameter in the request and resubmit the request if the "
     "operation failed."},
    {"NoValidSession", "There is no valid session established with the implementation.", "Critical",
     0, "Establish a session before attempting any operations."},
    {"InsufficientPrivilege",
     "There are insufficient privileges for the account or credentials associated with the current "
     "session to perform the requested operation.",
     "Critical", 0,
     "Either abandon the operation or change the associated access rights and resubmit the request "
     "if the operation failed."},
    {"AccessUnauthorized", "Unauthorized.", "Critical", 0,
     "Resubmit the request with valid credentials."},
    {"PreconditionFailed",
     "The ETag supplied did not match the ETag required to change this resource.", "Critical", 0,
     "Try the operation again using the appropriate ETag."},
    {"HeaderInvalid", "Header '%1' is invalid.", "Critical", 1,
     "Resubmit the request with a valid request header."},
    {"ServiceTemporarilyUnavailable",
     "The service is temporarily unavailable.  Retry in %1 seconds.", "Critical", 1,
     "Wait for the indicated retry duration and retry the operation."},
    {"AccessDenied",
     "While attempting to establish a connection to '%1', the service denied access.", "Critical",
     1,
     "Attempt to ensure that the URI is correct and that the service has the appropriate "
     "credentials."},
    {"UndeterminedFault", "An undetermined fault condition was reported by '%1'.", "Critical", 1,
     "None."},
    {"OperationTimeout",
     "A timeout internal to the service occurred as part of the request.  Partial results may have "
     "been returned.",
     "Warning", 0,
     "Resubmit the request.  If the problem persists, consider resetting the service or provider."},
    {"SessionLimitExceeded",
     "The session establishment failed due to the number of simultaneous sessions exceeding the "
     "limit of the implementation.",
     "Critical", 0,
     "Reduce the number of other sessions before trying to establish the session or increase the "
     "limit of simultaneous sessions, if supported."},
    {"CreateLimitReachedForResource",
     "The create operation failed because the resource has reached the limit of possible "
     "resources.",
     "Critical", 0,
     "Either delete resources and resubmit the request if the operation failed or do not resubmit "
     "the request."},
    {"StringValueTooLong", "The string '%1' exceeds the length limit %2.", "Warning", 2,
     "Resubmit the request with an appropriate string length."},
    {"StringValueTooShort", "The string '%1' was under the minimum required length %2.", "Warning",
     2, "Resubmit the request with an appropriate string length."},
    {"PayloadTooLarge", "The supplied payload exceeds the maximum size supported by the service.",
     "Critical", 0, "Check that the supplied payload is correct and supported by this service."},
    {"UnrecognizedRequestBody",
     "The service detected a malformed request body that it was unable to interpret.", "Warning", 0,
     "Correct the request body and resubmit the request if it failed."},
    {"PasswordIncorrectLength",
     "The password provided for this account does not meet the password length requirements of the "
     "service.",
     "Critical", 0,
     "Resubmit the request with a password that meets the password length requirements as "
     "specified by the `MinPasswordLength` and `MaxPasswordLength` properties in the "
     "`AccountService` resource."},
    {"PasswordComplexityNotMet",
     "The password provided for this account does not meet the password complexity requirements of "
     "the service.",
     "Critical", 0,
     "Resubmit the request with a password that meets the password complexity requirements as "
     "specified by the `PasswordGuidanceMessage` property in the `AccountService` resource."},
    {"RestrictedRole", "The operation was not successful because the role '%1' is restricted.",
     "Warning", 1,
     "No resolution is required.  For standard roles, consider using the role specified in the "
     "AlternateRoleId property in the Role resource."},
};

const RegistryEntry& lookUp(const std::string& key) {
    for (const RegistryEntry& entry : kBase)
        if (key == entry.key) return entry;
    // A key outside the table is a fault of this service: say so in a registry message.
    return lookUp("InternalError");
}

std::string fillIn(const char* text, const std::vector<std::string>& args) {
    std::string out;
    for (const char* at = text; *at != '\0'; ++at) {
        if (at[0] == '%' && at[1] >= '1' && at[1] <= '9') {
            const size_t index = static_cast<size_t>(at[1] - '1');
            if (index < args.size()) out += args[index];
            ++at;
        } else {
            out += *at;
        }
    }
    return out;
}

}  // namespace

Json messageJson(const Message& message) {
    const RegistryEntry& entry = lookUp(message.key);
    std::vector<std::string> args = message.args;
    args.resize(static_cast<size_t>(entry.arguments));
    Json json = {{"@odata.type", "#Message.v1_3_0.Message"},
                 {"MessageId", std::string(kBaseRegistry) + "." + entry.key},
                 {"Message", fillIn(entry.text, args)},
                 {"MessageArgs", args},
                 {"MessageSeverity", entry.severity},
                 {"Resolution", entry.resolution}};
    return json;
}

std::string jsonText(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string argumentText(const Json& value) {
    if (value.is_string()) return value.get<std::string>();
    if (value.is_object()) return "an object";
    if (value.is_array()) return "an array";
    return jsonText(value);
}

Json errorJson(const std::vector<Message>& messages) {
    Json extended = Json::array();
    for (const Message& message : messages) extended.push_back(messageJson(message));
    const Json& first = extended.at(0);
    return {{"error",
             {{"code", first["MessageId"]},
              {"message", first["Message"]},
              {"@Message.ExtendedInfo", std::move(extended)}}}};
}

}  // namespace vorl::redfish
