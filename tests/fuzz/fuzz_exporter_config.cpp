// vorl_exporter's configuration reader: its own checks on top of the YAML parser (modules,
// durations, collectors, address ranges), which must refuse with a reason and never crash.
#include <string>

#include "exporter/exporter_config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorl::exporter;
    const std::string text(reinterpret_cast<const char*>(data), size);
    ExporterConfig config;
    std::string error;
    // Relative password files resolve in a folder that does not exist: nothing is read.
    if (parseConfig(text, "fuzz.yml", "/nonexistent-vorl-fuzz", config, error)) {
        if (config.allowedTargets.empty()) __builtin_trap();  // never "no restriction"
        config.allows(vorl::CardAddress{0x7F000001, 6577});
        for (const auto& [name, module] : config.modules)
            if (module.user.empty() || module.user.size() > 31 || module.password.size() > 31)
                __builtin_trap();
    } else if (error.rfind("fuzz.yml:", 0) != 0) {
        __builtin_trap();  // every refusal names the file and line
    }
    return 0;
}
