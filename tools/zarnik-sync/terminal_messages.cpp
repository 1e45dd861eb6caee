#include "terminal_messages.h"

#include <unistd.h>

#include <cctype>

namespace zsync {

int TerminalMessages::Show(const std::string& text, const std::string& caption, engine::MessageButtons buttons) {
    if (!caption.empty()) std::fprintf(out_, "%s: ", caption.c_str());
    std::fprintf(out_, "%s\n", text.c_str());
    if (buttons == engine::MessageButtons::kOk) return engine::kAnswerOk;
    if (isatty(fileno(in_)) != 1) return engine::kAnswerNo;
    std::fprintf(out_, "[y/N] ");
    std::fflush(out_);
    int c = std::fgetc(in_);
    const bool yes = c == 'y' || c == 'Y';
    while (c != EOF && c != '\n') c = std::fgetc(in_);
    return yes ? engine::kAnswerYes : engine::kAnswerNo;
}

void TerminalInformation::ShowInformation(const std::string& caption, const std::string& /*button*/,
                                          const std::string& text) {
    std::fprintf(out_, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(out_);
}

}  // namespace zsync
