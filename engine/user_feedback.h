#pragma once
#include <string>

namespace engine {

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
