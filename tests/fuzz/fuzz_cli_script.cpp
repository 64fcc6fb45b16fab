// vorlcli's script files: lines of any length and bytes, CR LF or not, run line by line against
// a card whose answers come from the input. Run it in a scratch directory.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "cli/script.h"
#include "platform/debug_output.h"
#include "platform/sleep.h"
#include "protocol/card_session.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::freopen("/dev/null", "w", stdout);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorl;
    static const std::string path =
        (std::filesystem::temp_directory_path() / "vorl_fuzz_script.scr").string();
    FuzzedDataProvider input(data, size);
    const std::string script = input.ConsumeRandomLengthString(4096);
    if (script.find_first_of("/\\") != std::string::npos) return 0;
    {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (file == nullptr) return 0;
        std::fwrite(script.data(), 1, script.size(), file);
        std::fclose(file);
    }
    platform::SleepRecorder noPauses;
    platform::DebugRecorder quiet;
    CardSession session(std::make_unique<fuzz::AnsweringTransport>(input));
    cli::runScript(session, path.c_str(), "-nw");
    return 0;
}
