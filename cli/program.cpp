#include "cli/program.h"

#include <cstdio>
#include <memory>
#include <string>

#include "cli/dispatch.h"
#include "cli/prompts.h"
#include "cli/script.h"
#include "cli/usage.h"
#include "protocol/card_session.h"
#include "wire/status_codes.h"

namespace vorl::cli {
namespace {

constexpr int kUsageStatus = 8;
constexpr int kIncompleteStatus = 1;
// The login record's 32-byte fields need room for the terminating NUL; so does the session's
// address text.
constexpr size_t kMaxFieldText = 31;

constexpr const char* kInvalidArguments =
    "\nSome arguments are invalid.Do you want usage help (y/n)?";

enum class Mode { Network, HostInterface };

// The command line as typed: arg(1) is the first word after the program name.
class Arguments {
public:
    Arguments(int argc, char** argv) : argc_(argc), argv_(argv) {}
    int count() const { return argc_ - 1; }
    const char* program() const { return argc_ > 0 ? argv_[0] : "vorlcli"; }
    const char* arg(int n) const { return n <= count() ? argv_[n] : nullptr; }
    std::string text(int n) const { return n <= count() ? argv_[n] : ""; }
    Words wordsFrom(int n) const {
        Words words;
        for (int i = n; i <= count(); ++i) words.emplace_back(argv_[i]);
        return words;
    }

private:
    int argc_;
    char** argv_;
};

bool isKeyword(const Arguments& args, int n, const char* keyword) {
    return n <= args.count() && isSubCommand(args.text(n), keyword);
}

int shortUsage(const Arguments& args, int status) {
    printUsage(args.program(), false);
    return status;
}

int invalidArguments(const Arguments& args) {
    if (askYesNo(kInvalidArguments) == 'Y') printUsage(args.program(), false);
    return kUsageStatus;
}

// A status the shell sees modulo 256 must never read as success.
int exitStatus(int status) {
    return status > 255 ? 255 : status;
}

// The end of a run that reached a command or a script.
int finish(const Arguments& args, int result) {
    if (result < 0) return invalidArguments(args);
    std::printf(
        "\n___________________________________________________________________________________\n");
    std::printf("Remember to run %s with -flash -saveconfig to make changes permanent\n",
                "vorlcli");
    std::printf(
        "___________________________________________________________________________________\n");
    return exitStatus(result);
}

// "Connecting.." and then the outcome; false when the card could not be reached.
bool connect(CardSession& session) {
    std::printf("Connecting..");
    std::fflush(stdout);
    if (session.connect() != kStatusSuccess) {
        std::printf("Error during connect \n");
        return false;
    }
    std::printf("Connected\n");
    return true;
}

// The command words from arg(`leading`) on (that word leads them, as in a script line), or
// -script and a file name right after it. `scriptLeading` leads every script line.
int runCommands(const Arguments& args, CardSession& session, int leading,
                const std::string& scriptLeading) {
    if (isKeyword(args, leading + 1, "script")) {
        const ScriptOutcome outcome = runScript(session, args.arg(leading + 2), scriptLeading);
        return outcome.invalidLine ? kUsageStatus : finish(args, outcome.result);
    }
    return finish(args, dispatchCommand(session, args.wordsFrom(leading)));
}

// Network mode: -nw IP user-name (command words | -script file).
int runNetwork(const Arguments& args) {
    if (args.count() < 2 || args.text(2)[0] == '-') return shortUsage(args, kUsageStatus);
    // Texts that cannot fit the session's and the login's fields are refused before anything
    // is contacted.
    if (args.text(2).size() > kMaxFieldText || args.text(3).size() > kMaxFieldText) {
        return shortUsage(args, kUsageStatus);
    }
    CardSession session(1, args.arg(2), CardSession::kCardPort);
    if (!connect(session)) return kStatusConnectError;
    if (args.count() < 4) return shortUsage(args, kIncompleteStatus);

    const std::string password = readPassword();
    std::printf("\n");
    if (password.size() > kMaxFieldText) return shortUsage(args, kUsageStatus);
    const int login = session.login(args.text(3), password);
    if (login != 0) {
        std::printf("Invalid Username/Password!\n");
        return exitStatus(login);
    }
    std::printf("Login Successful !\n");

    return runCommands(args, session, 3, args.text(2));
}

// Host-interface mode: -cd (command words | -script file).
int runHostInterface(const Arguments& args) {
    CardSession session(0, "", CardSession::kCardPort);
    if (!connect(session)) return kStatusConnectError;
    if (args.count() < 2) return shortUsage(args, kIncompleteStatus);

    return runCommands(args, session, 1, args.text(1));
}

}  // namespace

int runProgram(int argc, char** argv) {
    const Arguments args(argc, argv);
    if (args.count() < 1) return shortUsage(args, kUsageStatus);
    const std::string mode = args.text(1);
    if (mode.size() >= 2 && mode[1] == 'h') {
        printUsage(args.program(), true);
        return kUsageStatus;
    }
    if (isKeyword(args, 1, "nw")) return runNetwork(args);
    if (isKeyword(args, 1, "cd")) return runHostInterface(args);
    return invalidArguments(args);
}

}  // namespace vorl::cli
