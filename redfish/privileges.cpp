#include "redfish/privileges.h"

namespace vorl::redfish {

unsigned rolePrivileges(Role role) {
    switch (role) {
        case Role::Administrator:
            return kLogin | kConfigureManager | kConfigureUsers | kConfigureSelf |
                   kConfigureComponents;
        case Role::Operator:
            return kLogin | kConfigureSelf | kConfigureComponents;
        case Role::ReadOnly:
            return kLogin | kConfigureSelf;
    }
    return 0;
}

const char* roleName(Role role) {
    switch (role) {
        case Role::Administrator:
            return "Administrator";
        case Role::Operator:
            return "Operator";
        case Role::ReadOnly:
            return "ReadOnly";
    }
    return "ReadOnly";
}

std::optional<Role> parseRole(std::string_view name) {
    for (Role role : {Role::Administrator, Role::Operator, Role::ReadOnly})
        if (name == roleName(role)) return role;
    return std::nullopt;
}

std::vector<std::string> privilegeNames(unsigned privileges) {
    static constexpr const char* kNames[] = {"Login", "ConfigureManager", "ConfigureUsers",
                                             "ConfigureSelf", "ConfigureComponents"};
    std::vector<std::string> names;
    for (unsigned i = 0; i < std::size(kNames); ++i)
        if (privileges & (1u << i)) names.emplace_back(kNames[i]);
    return names;
}

}  // namespace vorl::redfish
