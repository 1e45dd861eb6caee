#pragma once
#include <QObject>
#include <functional>
#include <string>
#include <type_traits>

#include "engine/user_feedback.h"

class CSyncStatus;

namespace ui {

// Long work (start-up exchanges, refresh, synchronisation, test connection, back-up and restore)
// runs beside the window: on a worker thread, while the window's thread keeps its event loop,
// so every window repaints at once however long a device copy blocks. RunBeside returns when
// the work has ended. Meanwhile the window is as modal as ever: its click handlers and its
// Exit do nothing while IsBusy(), and its close never did anything. The work reaches the user
// only through the sinks below, each of which hands the call to the window's thread.
void RunBeside(const std::function<void()>& work);
bool IsBusy();

// Runs `call` on the window's thread: at once when already there, else it waits until the
// window's thread has run it (a message box, a question). Only from RunBeside's work.
void RunOnWindowThread(const std::function<void()>& call);

// The same, giving the call's result.
template <class Call>
auto OnWindowThread(Call call) -> decltype(call()) {
    if constexpr (std::is_void_v<decltype(call())>) {
        RunOnWindowThread(call);
    } else {
        decltype(call()) result{};
        RunOnWindowThread([&] { result = call(); });
        return result;
    }
}

// The progress window, told from the worker: each change is queued to the window's thread in
// order and never waited for, so the work does not slow for painting. Changes still queued when
// the progress window goes are dropped with it. Transfer reports are passed on only when the
// whole percent changes or the transfer ends, so a fast transfer does not flood the window.
class ProgressBeside : public QObject, public engine::IProgressSink {
    Q_OBJECT
public:
    explicit ProgressBeside(CSyncStatus& window);
    void Show() override { emit showAsked(); }
    void SetTitle(const std::string& text) override { emit titleAsked(text); }
    void SetStep(const std::string& text) override { emit stepAsked(text); }
    void Repaint() override { emit repaintAsked(); }
    void Close() override { emit closeAsked(); }
    void SetTransfer(const engine::TransferProgress& transfer) override;

signals:
    void showAsked();
    void titleAsked(const std::string& text);
    void stepAsked(const std::string& text);
    void repaintAsked();
    void closeAsked();
    void transferAsked(int percent, bool finished);

private:
    int lastPercent_ = -1;
};

// Messages and questions from the worker: shown by `window` on the window's thread, the worker
// waiting for the answer.
class MessagesBeside : public engine::IMessageSink {
public:
    explicit MessagesBeside(engine::IMessageSink& window) : window_(window) {}
    int Show(const std::string& text, const std::string& caption, engine::MessageButtons buttons) override;

private:
    engine::IMessageSink& window_;
};

// Information dialogs from the worker, in the same way.
class InformationBeside : public engine::IInformationSink {
public:
    explicit InformationBeside(engine::IInformationSink& window) : window_(window) {}
    void ShowInformation(const std::string& caption, const std::string& button, const std::string& text) override;

private:
    engine::IInformationSink& window_;
};

// RunOnWindowThread's carrier: lives on the window's thread, and runs there each call the work
// hands it while the work waits.
class WindowThreadCalls : public QObject {
    Q_OBJECT
public:
    explicit WindowThreadCalls(QObject* owner);
    void Run(const std::function<void()>& call) { call(); }

signals:
    void asked(const std::function<void()>& call);
};

}  // namespace ui
