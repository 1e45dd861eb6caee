#pragma once
#include <chrono>
#include <cstdio>
#include <string>

#include "commands.h"
#include "engine/user_feedback.h"

namespace zsync {

// Shows the steps of a long operation and its transfers on the terminal: one line rewritten in
// place when the output is a terminal (the step, and the bytes, rate and time of the list
// arriving), plain lines otherwise (a log, a pipe): each step, and each list once it is in.
// Quiet shows nothing; verbose shows the short exchanges as well as the lists.
class TerminalProgress : public engine::IProgressSink {
public:
    explicit TerminalProgress(std::FILE* out, Verbosity verbosity = {});
    void Show() override {}
    void SetTitle(const std::string& text) override;
    void SetStep(const std::string& text) override;
    void Repaint() override { std::fflush(out_); }
    void Close() override;
    void SetTransfer(const engine::TransferProgress& transfer) override;

    // "12.3 MB", "512 bytes"; "4.1 MB/s".
    static std::string Bytes(double bytes);

private:
    std::FILE* out_;
    Verbosity verbosity_;
    bool terminal_;
    bool lineOpen_ = false;
    std::string step_;
    std::chrono::steady_clock::time_point lastPaint_{};
};

}  // namespace zsync
