#pragma once
#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
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

// Runs `call` on the window's thread and gives its result: at once when already there, else
// it waits until the window's thread has run it (a message box, a question).
template <class Call>
auto OnWindowThread(Call call) -> decltype(call()) {
    QObject* window = QCoreApplication::instance();
    if (window == nullptr || QThread::currentThread() == window->thread()) return call();
    if constexpr (std::is_void_v<decltype(call())>) {
        QMetaObject::invokeMethod(window, std::move(call), Qt::BlockingQueuedConnection);
    } else {
        decltype(call()) result{};
        QMetaObject::invokeMethod(window, std::move(call), Qt::BlockingQueuedConnection, &result);
        return result;
    }
}

// The progress window, told from the worker: each change is queued to the window's thread in
// order and never waited for, so the work does not slow for painting. The progress window must
// outlive the work (RunBeside returns only after it). Transfer reports are not passed on: the
// window shows the steps only.
class ProgressBeside : public engine::IProgressSink {
public:
    explicit ProgressBeside(CSyncStatus& window);
    void Show() override;
    void SetTitle(const std::string& text) override;
    void SetStep(const std::string& text) override;
    void Repaint() override;
    void Close() override;

private:
    void Post(std::function<void(CSyncStatus&)> change);
    CSyncStatus* window_;
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

}  // namespace ui
