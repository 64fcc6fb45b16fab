// vorlcli's command words through dispatchCommand, against a card whose answers come from the
// input too. Run it in a scratch directory: words name local files the commands may create.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <string>

#include "cli/dispatch.h"
#include "cli/script.h"
#include "platform/debug_output.h"
#include "platform/sleep.h"
#include "protocol/card_session.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The commands print their results; nobody reads them here.
    std::freopen("/dev/null", "w", stdout);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorl;
    FuzzedDataProvider input(data, size);
    const std::string line = input.ConsumeRandomLengthString(256);
    // Local paths stay inside the scratch directory.
    if (line.find_first_of("/\\") != std::string::npos) return 0;
    cli::Words words{"-nw"};
    cli::splitScriptLine(line, words);
    if (words.size() < 2 || words.size() - 1 > cli::kMaxScriptWords) return 0;
    platform::SleepRecorder noPauses;
    platform::DebugRecorder quiet;
    CardSession session(std::make_unique<fuzz::AnsweringTransport>(input));
    cli::dispatchCommand(session, words);
    return 0;
}
