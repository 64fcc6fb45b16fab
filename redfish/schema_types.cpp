#include "redfish/schema_types.h"

namespace vorl::redfish {
namespace {

constexpr const char* kSchemaBase = "http://redfish.dmtf.org/schemas/v1/";

}  // namespace

const std::vector<SchemaType>& servedSchemas() {
    static const std::vector<SchemaType> kTypes = {
        {"ServiceRoot", "v1_20_0"},
        {"SessionService", "v1_2_0"},
        {"Session", "v1_8_0"},
        {"SessionCollection", nullptr},
        {"AccountService", "v1_18_1"},
        {"ManagerAccount", "v1_14_1"},
        {"ManagerAccountCollection", nullptr},
        {"Role", "v1_3_3"},
        {"RoleCollection", nullptr},
        {"Manager", "v1_24_0"},
        {"ManagerCollection", nullptr},
        {"ManagerNetworkProtocol", "v1_12_0"},
        {"EthernetInterface", "v1_12_4"},
        {"EthernetInterfaceCollection", nullptr},
        {"LogService", "v1_9_0"},
        {"LogServiceCollection", nullptr},
        {"LogEntry", "v1_21_0"},
        {"LogEntryCollection", nullptr},
        {"ComputerSystem", "v1_27_0"},
        {"ComputerSystemCollection", nullptr},
        {"Chassis", "v1_28_0"},
        {"ChassisCollection", nullptr},
        {"Sensor", "v1_12_0"},
        {"SensorCollection", nullptr},
        {"Thermal", "v1_7_3"},
        {"Power", "v1_7_3"},
        {"UpdateService", "v1_17_0"},
        {"EventService", "v1_12_0"},
        {"EventDestination", "v1_16_0"},
        {"EventDestinationCollection", nullptr},
        {"Event", "v1_13_0"},
        {"SoftwareInventory", "v1_13_0"},
        {"SoftwareInventoryCollection", nullptr},
        {"TaskService", "v1_3_0"},
        {"Task", "v1_7_4"},
        {"TaskCollection", nullptr},
        {"Message", "v1_3_0"},
        {"Resource", "v1_23_0"},
    };
    return kTypes;
}

std::string odataType(std::string_view name) {
    for (const SchemaType& type : servedSchemas()) {
        if (name != type.name) continue;
        const std::string plain(type.name);
        return type.version ? "#" + plain + "." + type.version + "." + plain
                            : "#" + plain + "." + plain;
    }
    return {};
}

std::string schemaUriOf(std::string_view type) {
    // "#Name.vX_Y_Z.Name" or "#Name.Name": the file is everything between '#' and the last dot.
    if (type.size() < 4 || type[0] != '#') return {};
    const size_t last = type.rfind('.');
    if (last == std::string_view::npos || last <= 1) return {};
    return std::string(kSchemaBase) + std::string(type.substr(1, last - 1)) + ".json";
}

std::string metadataDocument() {
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<edmx:Edmx xmlns:edmx=\"http://docs.oasis-open.org/odata/ns/edmx\" Version=\"4.0\">\n";
    for (const SchemaType& type : servedSchemas()) {
        const std::string name(type.name);
        xml += "  <edmx:Reference Uri=\"" + std::string(kSchemaBase) + name + "_v1.xml\">\n";
        xml += "    <edmx:Include Namespace=\"" + name + "\"/>\n";
        if (type.version)
            xml += "    <edmx:Include Namespace=\"" + name + "." + type.version + "\"/>\n";
        xml += "  </edmx:Reference>\n";
    }
    xml +=
        "  <edmx:Reference Uri=\"http://redfish.dmtf.org/schemas/v1/RedfishExtensions_v1.xml\">\n"
        "    <edmx:Include Namespace=\"RedfishExtensions.v1_0_0\" Alias=\"Redfish\"/>\n"
        "  </edmx:Reference>\n"
        "  <edmx:DataServices>\n"
        "    <Schema xmlns=\"http://docs.oasis-open.org/odata/ns/edm\" Namespace=\"Service\">\n"
        "      <EntityContainer Name=\"Service\" "
        "Extends=\"ServiceRoot.v1_20_0.ServiceContainer\"/>\n"
        "    </Schema>\n"
        "  </edmx:DataServices>\n"
        "</edmx:Edmx>\n";
    return xml;
}

}  // namespace vorl::redfish
