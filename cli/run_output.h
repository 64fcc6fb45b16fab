#pragma once
// What a run of vorlcli hands back besides its texts: nothing more in text mode; under --json one
// document per command on the original standard output (JSON Lines in script mode).
#include <cstdio>
#include <string>

#include "cli/group_handlers.h"
#include "cli/report.h"

namespace vorl::cli {

// Where a run stopped before its command did anything.
enum class Stage { Connect, Login, Words };

struct Target {
    bool network = false;
    std::string host;  // network mode: the card's address
    std::string user;  // network mode: the login name
};

class RunOutput {
public:
    virtual ~RunOutput() = default;
    // The report the next command fills.
    virtual Report& report() = 0;
    // A command ran: its words (word 0 the leading word), its exit status, and its script line
    // (0 for a single command).
    virtual void commandDone(const Words& words, int status, int line) = 0;
    // The run stopped at `stage` with exit status `status`; `message` says why.
    virtual void stopped(Stage stage, const Words& words, int status, const std::string& message,
                         int line) = 0;
};

class TextOutput : public RunOutput {
public:
    Report& report() override { return report_; }
    void commandDone(const Words&, int, int) override {}
    void stopped(Stage, const Words&, int, const std::string&, int) override {}

private:
    TextReport report_;
};

class JsonOutput : public RunOutput {
public:
    // Documents go to `document`, which the caller keeps open while this lives.
    JsonOutput(std::FILE* document, Target target) : document_(document), target_(target) {}
    Report& report() override { return report_; }
    void commandDone(const Words& words, int status, int line) override;
    void stopped(Stage stage, const Words& words, int status, const std::string& message,
                 int line) override;

private:
    Json envelope(const Words& words, int status, int line) const;
    void write(Json document);

    std::FILE* document_;
    Target target_;
    JsonReport report_;
};

// The exit status of a command's status: one the shell sees modulo 256 must never read as success.
inline int exitStatus(int status) {
    return status > 255 ? 255 : status;
}

// The schema name of a command's document: "vorl.<group>.<command>/1" from its words, in lower
// case ("vorl.run/1" when the words name no group).
std::string schemaName(const Words& words);

}  // namespace vorl::cli
