// vorlsim's state files: a state directory whose files hold the input, loaded by a new card.
#include <fuzzer/FuzzedDataProvider.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "cardsim/sim_card.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorl;
    static const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / "vorl_fuzz_state";
    static const char* const kFiles[] = {"users.dat",      "network.conf",  "general.conf",
                                         "event_log.conf", "advanced.conf", "files.bin"};
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    std::filesystem::create_directories(dir, ignored);
    FuzzedDataProvider input(data, size);
    while (input.remaining_bytes() > 0) {
        const char* name = input.PickValueInArray(kFiles);
        const std::string content = input.ConsumeRandomLengthString(1 << 16);
        std::ofstream(dir / name, std::ios::binary | std::ios::app) << content;
    }
    // One card for the whole run (building its default image is slow): a restart loads every
    // group's state from the directory again.
    static sim::SimOptions options;
    static sim::SimCard card(dir, options);
    card.restart(false);
    return 0;
}
