#include "terminal_progress.h"

#include <unistd.h>

#include <algorithm>

namespace zsync {

TerminalProgress::TerminalProgress(std::FILE* out, Verbosity verbosity)
    : out_(out), verbosity_(verbosity), terminal_(isatty(fileno(out)) == 1) {}

void TerminalProgress::SetTitle(const std::string& text) {
    if (!verbosity_.quiet) std::fprintf(out_, "%s\n", text.c_str());
}

void TerminalProgress::SetStep(const std::string& text) {
    step_ = text;
    if (verbosity_.quiet) return;
    if (terminal_) {
        std::fprintf(out_, "\r\033[K  %s", text.c_str());
        lineOpen_ = true;
    } else {
        std::fprintf(out_, "  %s\n", text.c_str());
    }
}

void TerminalProgress::Close() {
    if (lineOpen_) std::fprintf(out_, "\n");
    lineOpen_ = false;
    std::fflush(out_);
}

std::string TerminalProgress::Bytes(double bytes) {
    char text[32];
    if (bytes < 1000) {
        std::snprintf(text, sizeof text, "%.0f bytes", bytes);
    } else if (bytes < 1e6) {
        std::snprintf(text, sizeof text, "%.1f kB", bytes / 1e3);
    } else if (bytes < 1e9) {
        std::snprintf(text, sizeof text, "%.1f MB", bytes / 1e6);
    } else {
        std::snprintf(text, sizeof text, "%.2f GB", bytes / 1e9);
    }
    return text;
}

void TerminalProgress::SetTransfer(const engine::TransferProgress& transfer) {
    if (verbosity_.quiet || (!transfer.list && !verbosity_.verbose)) return;
    const auto now = std::chrono::steady_clock::now();
    // A terminal line is repainted a few times a second at most; the transfer reports far more.
    if (!transfer.finished && (!terminal_ || now - lastPaint_ < std::chrono::milliseconds(200))) return;
    lastPaint_ = now;
    const double seconds = transfer.seconds > 0 ? transfer.seconds : 0;
    const double rate = seconds > 0.05 ? static_cast<double>(transfer.bytes) / seconds : 0;
    std::string line = transfer.what + ": " + Bytes(static_cast<double>(transfer.bytes));
    if (transfer.expected > 0 && !transfer.finished) {
        line += " of " + Bytes(static_cast<double>(transfer.expected)) + " (" +
                std::to_string(std::min<std::uint64_t>(100, transfer.bytes * 100 / transfer.expected)) + "%)";
    }
    char tail[64];
    if (rate > 0) {
        std::snprintf(tail, sizeof tail, " at %s/s, %.1f s", Bytes(rate).c_str(), seconds);
    } else {
        std::snprintf(tail, sizeof tail, ", %.1f s", seconds);
    }
    line += tail;
    if (terminal_) {
        std::fprintf(out_, "\r\033[K  %s  %s", step_.c_str(), line.c_str());
        lineOpen_ = true;
        if (transfer.finished) {
            std::fprintf(out_, "\n");
            lineOpen_ = false;
        }
    } else {
        std::fprintf(out_, "    %s\n", line.c_str());
    }
    std::fflush(out_);
}

}  // namespace zsync
