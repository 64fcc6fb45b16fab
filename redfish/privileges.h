#pragma once
// The service's roles and the Redfish privileges each carries: what an account may do.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorl::redfish {

enum Privilege : unsigned {
    kLogin = 1u << 0,
    kConfigureManager = 1u << 1,
    kConfigureUsers = 1u << 2,
    kConfigureSelf = 1u << 3,
    kConfigureComponents = 1u << 4,
};

enum class Role { Administrator, Operator, ReadOnly };

// The standard roles' privileges: Administrator all, Operator Login, ConfigureSelf and
// ConfigureComponents, ReadOnly Login and ConfigureSelf.
unsigned rolePrivileges(Role role);
const char* roleName(Role role);
std::optional<Role> parseRole(std::string_view name);
// The privilege names of a set, in the order above ("Login", "ConfigureManager", ...).
std::vector<std::string> privilegeNames(unsigned privileges);

}  // namespace vorl::redfish
