#pragma once
// The DMTF schemas the service serves, each at the one version its answers follow: the
// @odata.type of every answer, the schema a Link header points to and the references of
// $metadata all come from this table, so they cannot disagree.
#include <string>
#include <string_view>
#include <vector>

namespace vorl::redfish {

struct SchemaType {
    const char* name;     // "Manager", "ManagerCollection"
    const char* version;  // "v1_24_0"; nullptr for the unversioned collections
};

// Every schema of the table, in $metadata order.
const std::vector<SchemaType>& servedSchemas();

// "#Manager.v1_24_0.Manager" or "#ManagerCollection.ManagerCollection". `name` must be in
// the table.
std::string odataType(std::string_view name);

// The schema file of an @odata.type: "#Manager.v1_24_0.Manager" gives
// "http://redfish.dmtf.org/schemas/v1/Manager.v1_24_0.json"; empty for anything else.
std::string schemaUriOf(std::string_view odataType);

// The CSDL document of $metadata: a reference to every served schema and the service's entity
// container.
std::string metadataDocument();

}  // namespace vorl::redfish
