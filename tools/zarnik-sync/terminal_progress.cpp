#include "terminal_progress.h"

#include <unistd.h>

namespace zsync {

TerminalProgress::TerminalProgress(std::FILE* out) : out_(out), terminal_(isatty(fileno(out)) == 1) {}

void TerminalProgress::SetTitle(const std::string& text) { std::fprintf(out_, "%s\n", text.c_str()); }

void TerminalProgress::SetStep(const std::string& text) {
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

}  // namespace zsync
