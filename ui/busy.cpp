#include "ui/busy.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <algorithm>
#include <memory>

#ifdef __linux__
#include <sys/resource.h>
#include <unistd.h>
#endif

#include "ui/sync_status.h"

namespace ui {
namespace {

int depth = 0;

// The work's threads (and those they start, which inherit it) yield the cores to the window's
// thread whenever it wakes: a synchronisation keeps both cores busy, and at equal weight the
// window would wait its turn for tens of milliseconds. Only the order changes, not the speed of
// the work while the window is idle.
void YieldToWindow() {
#ifdef __linux__
    constexpr int kBelowWindow = 5;
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kBelowWindow);  // best effort
#endif
}

// Made by the first RunBeside, on the window's thread, before any work can ask for it.
WindowThreadCalls& Calls() {
    static auto* const calls = new WindowThreadCalls(QCoreApplication::instance());
    return *calls;
}

}  // namespace

WindowThreadCalls::WindowThreadCalls(QObject* owner) : QObject(owner) {
    connect(this, &WindowThreadCalls::asked, this, &WindowThreadCalls::Run, Qt::BlockingQueuedConnection);
}

bool IsBusy() { return depth > 0; }

void RunBeside(const std::function<void()>& work) {
    Calls();
    ++depth;
    // The loop runs what the window's thread must do meanwhile (painting, timers, the windows
    // the work asks for) and ends when the worker has: its finished signal is queued here, so
    // it cannot be missed even when the work ends before the loop starts.
    QEventLoop loop;
    std::unique_ptr<QThread> worker(QThread::create([&work] {
        YieldToWindow();
        work();
    }));
    QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    worker->start();
    loop.exec();
    worker->wait();
    --depth;
}

ProgressBeside::ProgressBeside(CSyncStatus& window) {
    // Queued even when the work calls from the window's thread: the order stays one order.
    connect(this, &ProgressBeside::showAsked, &window, &CSyncStatus::Show, Qt::QueuedConnection);
    connect(this, &ProgressBeside::titleAsked, &window, &CSyncStatus::SetTitle, Qt::QueuedConnection);
    connect(this, &ProgressBeside::stepAsked, &window, &CSyncStatus::SetStep, Qt::QueuedConnection);
    connect(this, &ProgressBeside::repaintAsked, &window, &CSyncStatus::Repaint, Qt::QueuedConnection);
    connect(this, &ProgressBeside::closeAsked, &window, &CSyncStatus::Close, Qt::QueuedConnection);
    connect(this, &ProgressBeside::transferAsked, &window, &CSyncStatus::ShowTransfer, Qt::QueuedConnection);
}

void ProgressBeside::SetTransfer(const engine::TransferProgress& transfer) {
    if (transfer.expected == 0 && !transfer.finished) return;  // nothing to measure against
    const int percent =
        transfer.expected == 0 ? 100 : static_cast<int>(std::min<std::uint64_t>(100, transfer.bytes * 100 / transfer.expected));
    if (percent == lastPercent_ && !transfer.finished) return;
    lastPercent_ = transfer.finished ? -1 : percent;
    emit transferAsked(percent, transfer.finished);
}

void RunOnWindowThread(const std::function<void()>& call) {
    if (QThread::currentThread() == QCoreApplication::instance()->thread()) {
        call();
        return;
    }
    emit Calls().asked(call);
}

int MessagesBeside::Show(const std::string& text, const std::string& caption, engine::MessageButtons buttons) {
    return OnWindowThread([&] { return window_.Show(text, caption, buttons); });
}

void InformationBeside::ShowInformation(const std::string& caption, const std::string& button,
                                        const std::string& text) {
    OnWindowThread([&] { window_.ShowInformation(caption, button, text); });
}

}  // namespace ui
