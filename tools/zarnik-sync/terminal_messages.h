#pragma once
#include <cstdio>

#include "engine/user_feedback.h"

namespace zsync {

// Messages on the terminal: the caption and text on standard error; a Yes/No question is
// answered from standard input when it is a terminal, and is No otherwise (nobody to ask).
class TerminalMessages : public engine::IMessageSink {
public:
    TerminalMessages(std::FILE* out, std::FILE* in) : out_(out), in_(in) {}
    int Show(const std::string& text, const std::string& caption, engine::MessageButtons buttons) override;

private:
    std::FILE* out_;
    std::FILE* in_;
};

// The information dialog as lines on out: the caption, then the text.
class TerminalInformation : public engine::IInformationSink {
public:
    explicit TerminalInformation(std::FILE* out) : out_(out) {}
    void ShowInformation(const std::string& caption, const std::string& button, const std::string& text) override;

private:
    std::FILE* out_;
};

}  // namespace zsync
