#pragma once
// Console input of vorlcli: the password prompt, the yes/no question and the pauses of the usage
// pages. All of them read standard input through a Console, so tests can feed their own.
#include <string>
#include <string_view>

namespace vorl::cli {

class Console {
public:
    virtual ~Console() = default;

    // The next character typed, without echo on a terminal; -1 at the end of input.
    int readNoEcho() { return afterLineEnd(rawReadNoEcho(), false); }
    // The next character of standard input as it comes; -1 at the end of input.
    int readChar() { return afterLineEnd(rawReadChar(), true); }
    // Gives `c` back to standard input: the next readChar returns it.
    virtual void unreadChar(int c) = 0;
    // Writes to standard output and flushes it, so prompts and echoes show at once.
    virtual void write(std::string_view text) = 0;

    // A password line ended with CR: if the very next character is LF, it belongs to the same
    // line end and is skipped. Deciding lazily means a terminal (which sends CR alone) and a
    // pipe that waits for our next prompt are never blocked by a look-ahead.
    void lineEndedWithCr() { afterCr_ = true; }

protected:
    virtual int rawReadNoEcho() = 0;
    virtual int rawReadChar() = 0;

private:
    int afterLineEnd(int c, bool buffered) {
        if (!afterCr_) return c;
        afterCr_ = false;
        if (c != '\n') return c;
        return buffered ? rawReadChar() : rawReadNoEcho();
    }
    bool afterCr_ = false;
};

// The process's console: standard input and standard output.
Console& standardConsole();

// Largest password the prompt keeps (the rest is echoed but dropped).
constexpr size_t kMaxTypedPassword = 255;

// Prints "Please Enter Password : " and reads a password without echo, printing "*" per
// character. CR, LF (a CR LF pair counts once) or the end of input end it; backspace removes
// the last character. Keeps at most kMaxTypedPassword characters.
std::string readPassword(Console& console);
std::string readPassword();
// The same with another prompt (a new account password, say).
std::string readPassword(Console& console, std::string_view prompt);
std::string readPassword(std::string_view prompt);

// Prints `question`, reads one word (empty lines are skipped), prints "\n" and returns the
// word's first character in upper case. The end of input answers 'N': a closed input never
// confirms anything.
char askYesNo(Console& console, const char* question);
char askYesNo(const char* question);

// With `yes`, askYesNo still prints its question and "\n" but answers 'Y' without reading
// (--yes, for unattended runs).
void answerYesToAll(bool yes);

}  // namespace vorl::cli
