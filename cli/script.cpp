#include "cli/script.h"

#include <cstdio>
#include <cstring>

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
    for (;;) {
        if (!std::fgets(piece, sizeof piece, file_)) return false;
        std::string text(piece, std::strlen(piece));
        const bool continuesLine = midLine_;
        midLine_ = text.empty() || text.back() != '\n';
        if (text.size() >= 2 && text[text.size() - 2] == '\r' && text.back() == '\n') {
            text.erase(text.size() - 2, 1);
        }
        if (continuesLine && text == "\n") continue;
        line = std::move(text);
        return true;
    }
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
        std::printf("%sProcessing script line : %s\n%s", kBanner, line.c_str(), kBanner);
        const bool fits = count > 0 && count <= kMaxScriptWords;
        const int result = fits ? dispatchCommand(session, words, output.report()) : -1;
        if (result < 0) {
            const std::string error = "Error processing Command Script line : " + line;
            std::printf("%s\n", error.c_str());
            output.stopped(Stage::Words, words, kScriptLineStatus, error, lineNumber);
            return {result, true};
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
