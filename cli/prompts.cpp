#include "cli/prompts.h"

#include <cstdio>

#include "platform/console.h"

namespace vorl::cli {
namespace {

constexpr int kBackspace = 8;
constexpr int kDelete = 127;  // what a POSIX terminal's backspace key sends
constexpr size_t kMaxAnswerWord = 27;

class StandardConsole : public Console {
public:
    void unreadChar(int c) override {
        if (c >= 0) std::ungetc(c, stdin);
    }
    void write(std::string_view text) override {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    }

protected:
    int rawReadNoEcho() override { return platform::readCharNoEcho(); }
    int rawReadChar() override { return std::getchar(); }
};

bool isBlank(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool yesToAll = false;

char upper(int c) {
    return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
}

}  // namespace

Console& standardConsole() {
    static StandardConsole console;
    return console;
}

std::string readPassword(Console& console) {
    return readPassword(console, "Please Enter Password : ");
}

std::string readPassword(Console& console, std::string_view prompt) {
    console.write(prompt);
    std::string password;
    for (;;) {
        const int c = console.readNoEcho();
        if (c < 0 || c == '\n') break;
        if (c == '\r') {
            console.lineEndedWithCr();
            break;
        }
        if (c == kBackspace || c == kDelete) {
            console.write("\b \b");
            if (!password.empty()) password.pop_back();
            continue;
        }
        console.write("*");
        if (password.size() < kMaxTypedPassword) password.push_back(static_cast<char>(c));
    }
    return password;
}

std::string readPassword() {
    return readPassword("Please Enter Password : ");
}

std::string readPassword(std::string_view prompt) {
    platform::EchoOffScope echoOff;  // also between keys, not only while one is read
    return readPassword(standardConsole(), prompt);
}

void answerYesToAll(bool yes) {
    yesToAll = yes;
}

char askYesNo(Console& console, const char* question) {
    console.write(question);
    if (yesToAll) {
        console.write("\n");
        return 'Y';
    }
    int c = console.readChar();
    while (c >= 0 && isBlank(c)) c = console.readChar();
    char answer = 'N';
    if (c >= 0) {
        answer = upper(c);
        // The rest of the word is read like the first characters of it; what lies beyond
        // the word's first 27 characters, or the blank after it, stays for later reads.
        size_t taken = 1;
        while (taken < kMaxAnswerWord) {
            c = console.readChar();
            if (c < 0) break;
            if (isBlank(c)) {
                console.unreadChar(c);
                break;
            }
            ++taken;
        }
    }
    console.write("\n");
    return answer;
}

char askYesNo(const char* question) {
    return askYesNo(standardConsole(), question);
}

}  // namespace vorl::cli
