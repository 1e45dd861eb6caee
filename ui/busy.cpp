#include "ui/busy.h"

#include <QEventLoop>
#include <memory>

#include "ui/sync_status.h"

namespace ui {
namespace {
int depth = 0;
}

bool IsBusy() { return depth > 0; }

void RunBeside(const std::function<void()>& work) {
    ++depth;
    // The loop runs what the window's thread must do meanwhile (painting, timers, the windows
    // the work asks for) and ends when the worker has: its finished signal is queued here, so
    // it cannot be missed even when the work ends before the loop starts.
    QEventLoop loop;
    std::unique_ptr<QThread> worker(QThread::create(work));
    QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    worker->start();
    loop.exec();
    worker->wait();
    --depth;
}

ProgressBeside::ProgressBeside(CSyncStatus& window) : window_(&window) {}

void ProgressBeside::Post(std::function<void(CSyncStatus&)> change) {
    CSyncStatus* window = window_;
    QMetaObject::invokeMethod(
        window, [window, change = std::move(change)] { change(*window); }, Qt::QueuedConnection);
}

void ProgressBeside::Show() {
    Post([](CSyncStatus& window) { window.Show(); });
}
void ProgressBeside::SetTitle(const std::string& text) {
    Post([text](CSyncStatus& window) { window.SetTitle(text); });
}
void ProgressBeside::SetStep(const std::string& text) {
    Post([text](CSyncStatus& window) { window.SetStep(text); });
}
void ProgressBeside::Repaint() {
    Post([](CSyncStatus& window) { window.Repaint(); });
}
void ProgressBeside::Close() {
    Post([](CSyncStatus& window) { window.Close(); });
}

int MessagesBeside::Show(const std::string& text, const std::string& caption, engine::MessageButtons buttons) {
    return OnWindowThread([&] { return window_.Show(text, caption, buttons); });
}

void InformationBeside::ShowInformation(const std::string& caption, const std::string& button,
                                        const std::string& text) {
    OnWindowThread([&] { window_.ShowInformation(caption, button, text); });
}

}  // namespace ui
