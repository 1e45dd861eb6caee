#pragma once
#include <cstdio>
#include <string>

#include "engine/user_feedback.h"

namespace zsync {

// Shows the steps of a long operation on the terminal: one line rewritten in place when the
// output is a terminal, plain lines otherwise (a log, a pipe).
class TerminalProgress : public engine::IProgressSink {
public:
    explicit TerminalProgress(std::FILE* out);
    void Show() override {}
    void SetTitle(const std::string& text) override;
    void SetStep(const std::string& text) override;
    void Repaint() override { std::fflush(out_); }
    void Close() override;

private:
    std::FILE* out_;
    bool terminal_;
    bool lineOpen_ = false;
};

}  // namespace zsync
