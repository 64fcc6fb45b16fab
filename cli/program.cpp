#include "cli/program.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "cli/access_lock.h"
#include "cli/dispatch.h"
#include "cli/password_source.h"
#include "cli/prompts.h"
#include "cli/run_output.h"
#include "cli/script.h"
#include "cli/usage.h"
#include "platform/std_streams.h"
#include "protocol/card_connector.h"
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
constexpr const char* kInvalidMessage = "Some arguments are invalid.";

// The options that may come before the mode word.
struct Options {
    bool json = false;
    bool yes = false;
    const char* passwordFile = nullptr;
};

// The command line as typed, the options before the mode word taken out: arg(1) is the mode word.
class Arguments {
public:
    Arguments(int argc, char** argv, Options& options) {
        words_.push_back(argc > 0 ? argv[0] : const_cast<char*>("vorlcli"));
        int i = 1;
        for (; i < argc; ++i) {
            const std::string word = argv[i];
            if (word == "--json") {
                options.json = true;
            } else if (word == "--yes") {
                options.yes = true;
            } else if (word == "--password-file" && i + 1 < argc) {
                options.passwordFile = argv[++i];
            } else {
                break;
            }
        }
        for (; i < argc; ++i) words_.push_back(argv[i]);
    }
    int count() const { return static_cast<int>(words_.size()) - 1; }
    const char* program() const { return words_[0]; }
    const char* arg(int n) const { return n <= count() ? words_[n] : nullptr; }
    std::string text(int n) const { return n <= count() ? words_[n] : ""; }
    Words wordsFrom(int n) const {
        Words words;
        for (int i = n; i <= count(); ++i) words.emplace_back(words_[i]);
        return words;
    }

private:
    std::vector<char*> words_;
};

// One run: its arguments, its options and where its outcome goes.
struct Run {
    const Arguments& args;
    const Options& options;
    RunOutput& output;
    int leading = 1;  // the argument that leads the command words
};

bool isKeyword(const Arguments& args, int n, const char* keyword) {
    return n <= args.count() && isSubCommand(args.text(n), keyword);
}

int stop(Run& run, Stage stage, int status, const std::string& message) {
    run.output.stopped(stage, run.args.wordsFrom(run.leading), status, message, 0);
    return status;
}

int shortUsage(Run& run, int status) {
    printUsage(run.args.program(), false);
    return stop(run, Stage::Words, status, kInvalidMessage);
}

int invalidArguments(Run& run, const std::string& message = kInvalidMessage) {
    if (askYesNo(kInvalidArguments) == 'Y') printUsage(run.args.program(), false);
    return stop(run, Stage::Words, kUsageStatus, message);
}

void printReminder() {
    std::printf(
        "\n___________________________________________________________________________________\n");
    std::printf("Remember to run %s with -flash -saveconfig to make changes permanent\n",
                "vorlcli");
    std::printf(
        "___________________________________________________________________________________\n");
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

int connectFailed(Run& run) {
    return stop(run, Stage::Connect, kStatusConnectError, "Error during connect");
}

// The command words from arg(run.leading) on (that word leads them, as in a script line), or
// -script and a file name right after it. `scriptLeading` leads every script line.
int runCommands(Run& run, CardSession& session, const std::string& scriptLeading) {
    const Arguments& args = run.args;
    if (isKeyword(args, run.leading + 1, "script")) {
        const char* fileName = args.arg(run.leading + 2);
        const ScriptOutcome outcome = runScript(session, fileName, scriptLeading, run.output);
        if (outcome.invalidLine) return kUsageStatus;
        if (outcome.result < 0) {
            return invalidArguments(
                run, "canot open '" + std::string(fileName ? fileName : "") + "':No such  file");
        }
        printReminder();
        return exitStatus(outcome.result);
    }
    const Words words = args.wordsFrom(run.leading);
    int result = dispatchCommand(session, words, run.output.report());
    if (result < 0) return invalidArguments(run);
    if (accessLockHeld(session, run.output.report())) result = kStatusConnectError;
    printReminder();
    run.output.commandDone(words, exitStatus(result), 0);
    return exitStatus(result);
}

// Network mode: -nw IP user-name (command words | -script file).
int runNetwork(Run& run) {
    const Arguments& args = run.args;
    run.leading = 3;
    if (args.count() < 2 || args.text(2)[0] == '-') return shortUsage(run, kUsageStatus);
    // Texts that cannot fit the session's and the login's fields are refused before anything
    // is contacted.
    if (args.text(2).size() > kMaxFieldText || args.text(3).size() > kMaxFieldText) {
        return shortUsage(run, kUsageStatus);
    }
    // A password from the environment or a file is checked before the card is contacted.
    PasswordSource source = passwordSource(run.options.passwordFile, kMaxFieldText);
    if (source.failed()) return stop(run, Stage::Login, source.status, source.error);

    CardSession session(1, args.arg(2), CardSession::kCardPort);
    if (!connect(session)) return connectFailed(run);
    if (args.count() < 4) return shortUsage(run, kIncompleteStatus);

    std::string password = source.password;
    if (!source.given) {
        password = readPassword();
        std::printf("\n");
    }
    if (password.size() > kMaxFieldText) return shortUsage(run, kUsageStatus);
    const int login = session.login(args.text(3), password);
    if (login != 0) {
        std::printf("Invalid Username/Password!\n");
        return stop(run, Stage::Login, exitStatus(login), "Invalid Username/Password!");
    }
    std::printf("Login Successful !\n");

    // A password change reaches the card again through it when the connection drops.
    const std::string address = args.text(2);
    CardConnector connector(
        [address] {
            return std::make_unique<CardSession>(1, address.c_str(), CardSession::kCardPort);
        },
        CardLogin{args.text(3), password});
    session.setConnector(&connector);
    return runCommands(run, session, args.text(2));
}

// Host-interface mode: -cd (command words | -script file).
int runHostInterface(Run& run) {
    CardSession session(0, "", CardSession::kCardPort);
    if (!connect(session)) return connectFailed(run);
    if (run.args.count() < 2) return shortUsage(run, kIncompleteStatus);
    CardConnector connector(
        [] { return std::make_unique<CardSession>(0, "", CardSession::kCardPort); }, CardLogin{});
    session.setConnector(&connector);

    return runCommands(run, session, run.args.text(1));
}

int runMode(Run& run) {
    const Arguments& args = run.args;
    if (args.count() < 1) return shortUsage(run, kUsageStatus);
    const std::string mode = args.text(1);
    if (mode.size() >= 2 && mode[1] == 'h') {
        printUsage(args.program(), true);
        return stop(run, Stage::Words, kUsageStatus, kInvalidMessage);
    }
    if (isKeyword(args, 1, "nw")) return runNetwork(run);
    if (isKeyword(args, 1, "cd")) return runHostInterface(run);
    return invalidArguments(run);
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

int runProgram(int argc, char** argv) {
    Options options;
    const Arguments args(argc, argv, options);
    answerYesToAll(options.yes);
    if (!options.json) {
        TextOutput output;
        Run run{args, options, output};
        return runMode(run);
    }
    // Under --json the documents alone go to standard output; every text goes to standard error.
    std::unique_ptr<std::FILE, FileCloser> document(platform::divertStandardOutput());
    if (!document) {
        std::fprintf(stderr, "vorlcli: standard output cannot be set apart for --json\n");
        return kStatusGeneralError;
    }
    Target target;
    target.network = isKeyword(args, 1, "nw");
    if (target.network) {
        target.host = args.text(2);
        target.user = args.text(3);
    }
    JsonOutput output(document.get(), target);
    Run run{args, options, output};
    const int status = runMode(run);
    std::fflush(stdout);
    return status;
}

}  // namespace vorl::cli
