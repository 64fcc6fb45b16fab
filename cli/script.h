#pragma once
// Script mode of vorlcli: one command per line of a text file, all on one login.
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "cli/group_handlers.h"
#include "cli/run_output.h"

namespace vorl::cli {

// Words a script line may hold (the word table has one more entry, for the leading word).
constexpr size_t kMaxScriptWords = 24;
// The longest script line, its line end not counted. A longer one is refused whole: run in pieces
// it would be two commands, neither of them the one written.
constexpr size_t kScriptPieceChars = 254;

// Splits `line` at runs of the delimiters (space, comma, semicolon, "!" and newline) and
// appends its words to `words`. Returns how many words the line held.
size_t splitScriptLine(std::string_view line, Words& words);

// Reads a script file line by line. A CR LF line end reads as LF (as text mode gives it on
// Windows); a line of exactly kScriptPieceChars characters comes without its line end.
class ScriptReader {
public:
    explicit ScriptReader(std::FILE* file) : file_(file) {}
    // The next line, with its newline when it has one. A line longer than kScriptPieceChars
    // comes as its first kScriptPieceChars characters with tooLong() true (the rest of it is
    // skipped). False at the end of the file or on a read error.
    bool next(std::string& line);
    bool tooLong() const { return tooLong_; }
    bool failed() const;

private:
    // After a piece that filled the buffer: true when the line ends there (its line end is
    // read), false when more characters follow (they are skipped up to the line's end).
    bool lineEndsHere();

    std::FILE* file_;
    bool tooLong_ = false;
};

struct ScriptOutcome {
    int result = 0;            // the last line's result, 0 for none; -1 when the file failed
    bool invalidLine = false;  // a line was refused: the program ends at once with status 8
};

// The exit status of a run stopped by an invalid script line.
constexpr int kScriptLineStatus = 8;

// Runs the script `fileName` (nullptr: none was given). Every line's word 0 is `leadingWord`.
// The first empty line ends the script with result 0. Each line's outcome also goes to `output`.
ScriptOutcome runScript(CardSession& session, const char* fileName, const std::string& leadingWord,
                        RunOutput& output);
ScriptOutcome runScript(CardSession& session, const char* fileName, const std::string& leadingWord);

}  // namespace vorl::cli
