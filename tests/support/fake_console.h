#pragma once
// A Console fed from a string, recording what the program writes.
#include <string>

#include "cli/prompts.h"

namespace vorl::test {

class FakeConsole : public cli::Console {
public:
    explicit FakeConsole(std::string input = "") : input_(std::move(input)) {}

    void unreadChar(int c) override {
        if (c >= 0 && pos_ > 0) --pos_;
    }
    void write(std::string_view text) override { output.append(text); }

    std::string rest() const { return input_.substr(pos_); }
    int reads = 0;  // raw reads, counting those at the end of input
    std::string output;

protected:
    int rawReadNoEcho() override { return next(); }
    int rawReadChar() override { return next(); }

private:
    int next() {
        ++reads;
        if (pos_ >= input_.size()) return -1;
        return static_cast<unsigned char>(input_[pos_++]);
    }
    std::string input_;
    size_t pos_ = 0;
};

}  // namespace vorl::test
