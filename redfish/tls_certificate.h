#pragma once
// The service speaks TLS by default. When the web configuration names no certificate, a
// self-signed one is made at first start under the state directory (the key readable by the
// service alone) and kept for later starts, as management controllers do.
#include <string>

namespace vorl::redfish {

// The certificate and key files under `stateDir`, made when missing. False with the reason in
// `error`.
bool ensureSelfSignedCertificate(const std::string& stateDir, std::string& certFile,
                                 std::string& keyFile, std::string& error);

}  // namespace vorl::redfish
