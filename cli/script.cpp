#include "cli/script.h"

#include <cstdio>
#include <cstring>

#include "cli/access_lock.h"
#include "cli/dispatch.h"

namespace vorl::cli {
namespace {

constexpr const char* kDelimiters = " ,;!\n";
constexpr const char* kBanner = "****************************************************\n";

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// A script that ran no line still gives its document, so that a runner reading one document per
// line can tell an empty script from a lost output.
ScriptOutcome ranNothing(const char* fileName, const std::string& leadingWord, RunOutput& output) {
    output.report().result(0, {{"file", fileName}, {"lines_run", 0}}, Change::Reads, nullptr);
    output.commandDone({leadingWord, "-script", fileName}, 0, 0);
    return {0, false};
}

}  // namespace

size_t splitScriptLine(std::string_view line, Words& words) {
    size_t count = 0;
    size_t pos = line.find_first_not_of(kDelimiters);
    while (pos != std::string_view::npos) {
        const size_t end = line.find_first_of(kDelimiters, pos);
        words.emplace_back(line.substr(pos, end == std::string_view::npos ? end : end - pos));
        ++count;
        pos = end == std::string_view::npos ? end : line.find_first_not_of(kDelimiters, end);
    }
    return count;
}

bool ScriptReader::next(std::string& line) {
    char piece[kScriptPieceChars + 1];
    tooLong_ = false;
    if (!std::fgets(piece, sizeof piece, file_)) return false;
    std::string text(piece, std::strlen(piece));
    if (text.size() >= 2 && text[text.size() - 2] == '\r' && text.back() == '\n') {
        text.erase(text.size() - 2, 1);
    } else if (text.size() == kScriptPieceChars && text.back() != '\n') {
        tooLong_ = !lineEndsHere();
        // A CR whose LF did not fit the piece is the line end, as above.
        if (!tooLong_ && text.back() == '\r') text.pop_back();
    }
    line = std::move(text);
    return true;
}

bool ScriptReader::lineEndsHere() {
    int c = std::fgetc(file_);
    if (c == '\r') {
        const int next = std::fgetc(file_);
        if (next == '\n' || next == EOF) return true;
        c = next;
    }
    if (c == '\n' || c == EOF) return true;
    while (c != '\n' && c != EOF) c = std::fgetc(file_);
    return false;
}

bool ScriptReader::failed() const {
    return std::ferror(file_) != 0;
}

ScriptOutcome runScript(CardSession& session, const char* fileName, const std::string& leadingWord,
                        RunOutput& output) {
    std::unique_ptr<std::FILE, FileCloser> file(fileName ? std::fopen(fileName, "r") : nullptr);
    if (!file) {
        std::printf("canot open '%s':No such  file\n", fileName ? fileName : "");
        return {-1, false};
    }
    ScriptReader reader(file.get());
    ScriptOutcome outcome;
    std::string line;
    int lineNumber = 0;
    while (reader.next(line)) {
        ++lineNumber;
        if (line[0] == '\n') {
            if (lineNumber == 1) return ranNothing(fileName, leadingWord, output);
            return {0, false};
        }
        Words words{leadingWord};
        const size_t count = splitScriptLine(line, words);
        if (reader.tooLong()) {
            const std::string error = "Error processing Command Script line : " + line +
                                      "...\nA script line holds at most 254 characters.";
            std::printf("%s\n", error.c_str());
            output.stopped(Stage::Words, words, kScriptLineStatus, error, lineNumber);
            return {-1, true};
        }
        std::printf("%sProcessing script line : %s\n%s", kBanner, line.c_str(), kBanner);
        const bool fits = count > 0 && count <= kMaxScriptWords;
        const int result = fits ? dispatchCommand(session, words, output.report()) : -1;
        if (result < 0) {
            const std::string error = "Error processing Command Script line : " + line;
            std::printf("%s\n", error.c_str());
            output.stopped(Stage::Words, words, kScriptLineStatus, error, lineNumber);
            return {result, true};
        }
        // No further line waits a minute more for a mutex another program keeps.
        if (accessLockHeld(session, output.report())) {
            output.commandDone(words, kStatusConnectError, lineNumber);
            std::printf("%s\n\n", kBanner);
            return {kStatusConnectError, false};
        }
        output.commandDone(words, exitStatus(result), lineNumber);
        std::printf("%s\n\n", kBanner);
        outcome.result = result;
    }
    if (reader.failed()) {
        // A file that cannot be read (a directory, say) must not pass for an empty script.
        std::printf("canot open '%s':No such  file\n", fileName);
        return {-1, false};
    }
    if (lineNumber == 0) return ranNothing(fileName, leadingWord, output);
    return outcome;
}

ScriptOutcome runScript(CardSession& session, const char* fileName,
                        const std::string& leadingWord) {
    TextOutput output;
    return runScript(session, fileName, leadingWord, output);
}

}  // namespace vorl::cli
