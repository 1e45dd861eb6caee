#pragma once
#include <cstdint>
#include <string>

namespace engine {

// How far one transfer of the service's data has come (a camera list, the changes).
struct TransferProgress {
    std::string what;            // the list or request, for the user: "official list"
    std::uint64_t bytes = 0;     // received so far
    std::uint64_t expected = 0;  // announced by the service; 0 when unknown
    double seconds = 0;          // since the request was sent
    bool finished = false;       // the last report of this transfer
    bool list = false;           // a camera list or the changes, not a short exchange
};

// What a long operation shows while it runs: a title line and a step line. The operation runs
// on the caller's thread, so every change must be painted at once (Repaint) to be seen.
class IProgressSink {
public:
    virtual ~IProgressSink() = default;
    virtual void Show() = 0;
    virtual void SetTitle(const std::string& text) = 0;
    virtual void SetStep(const std::string& text) = 0;
    virtual void Repaint() = 0;
    virtual void Close() = 0;
    // Called often while a transfer runs, and once more when it ends; a window that shows only
    // the steps need not override it.
    virtual void SetTransfer(const TransferProgress& /*transfer*/) {}
};

// The buttons of a message and the answers, with the values of the Windows message box.
enum class MessageButtons { kOk, kYesNo };
inline constexpr int kAnswerOk = 1;
inline constexpr int kAnswerYes = 6;
inline constexpr int kAnswerNo = 7;

// Tells the user something and, for Yes/No, asks; gives the button chosen.
class IMessageSink {
public:
    virtual ~IMessageSink() = default;
    virtual int Show(const std::string& text, const std::string& caption, MessageButtons buttons) = 0;
};

// A progress sink that shows nothing, for callers without a screen.
class SilentProgress : public IProgressSink {
public:
    void Show() override {}
    void SetTitle(const std::string&) override {}
    void SetStep(const std::string&) override {}
    void Repaint() override {}
    void Close() override {}
};

// The information dialog: a caption, one button and a text; returns once the user has read it.
class IInformationSink {
public:
    virtual ~IInformationSink() = default;
    virtual void ShowInformation(const std::string& caption, const std::string& button, const std::string& text) = 0;
};

}  // namespace engine
