// How long the window's thread is kept from its event loop during a full synchronisation from
// the Synchronise page: 300,000 cameras (--cameras N) from the reference service on loopback,
// the emulated device in this process, the window under the offscreen platform. A 10 ms timer
// on the window's thread records the longest gap between its ticks; target under 50 ms.
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/poidb/bench_support.h"
#include "engine/session.h"
#include "platform/settings.h"
#include "temp_dir.h"
#include "tools/devagent/agent.h"
#include "ui/info_pages.h"
#include "ui/synchronise_page.h"
#include "ui/transparent_static.h"

namespace {

using poidbbench::Clock;

// The longest wait between two ticks of a 10 ms timer on the window's thread.
class StallMeter {
public:
    StallMeter() {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const auto now = Clock::now();
            const double gap = std::chrono::duration<double, std::milli>(now - last_).count();
            if (gap > longest_) {
                longest_ = gap;
                longestEndedAt_ = std::chrono::duration<double, std::milli>(now - started_).count();
            }
            last_ = now;
            ++ticks_;
        });
    }
    void Start() {
        last_ = started_ = Clock::now();
        longest_ = 0;
        ticks_ = 0;
        timer_.start(10);
    }
    void Stop() { timer_.stop(); }
    double longestMs() const { return longest_; }
    double longestEndedAtMs() const { return longestEndedAt_; }
    long ticks() const { return ticks_; }

private:
    QTimer timer_;
    Clock::time_point last_;
    Clock::time_point started_;
    double longest_ = 0;
    double longestEndedAt_ = 0;
    long ticks_ = 0;
};

// Answers the synchronisation's summary and any message, as a user would read and close them.
void AnswerWindows() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible()) return;
    if (auto* info = dynamic_cast<CVyoInfo*>(modal)) {
        std::printf("information: %s\n", info->textLabel()->text().simplified().toUtf8().constData());
        info->button()->click();
    } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        std::printf("message: %s\n", box->text().toUtf8().constData());
        box->buttons().front()->click();
    }
}

}  // namespace

// The offscreen platform says at every window that it cannot raise or mask it.
void QuietPlatform(QtMsgType type, const QMessageLogContext& /*where*/, const QString& text) {
    if (!text.startsWith(QLatin1String("This plugin does not support")))
        std::fprintf(stderr, "%s%s\n", type == QtWarningMsg ? "warning: " : "", text.toLocal8Bit().constData());
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(QuietPlatform);
    const long cameras = poidbbench::LongOption(argc, argv, "--cameras", 300000);
    testsupport::TempDir dir;
    setenv("ZARNIK_RESOURCES", ZARNIK_SOURCE_DIR "/resources", 1);
    setenv("ZARNIK_SETTINGS", dir.file("settings.reg").c_str(), 1);
    QApplication application(argc, argv);

    if (!poidbbench::MakeSample(dir.file("poi.db"), cameras)) return 1;
    poidbbench::ServiceProcess service(dir.file("poi.db"));
    if (!service.running()) return 1;
    std::string baseUrl = service.base();
    baseUrl.resize(baseUrl.size() - std::string("POIDataBase/").size());

    devagent::AgentOptions options;
    options.root = dir.file("device");
    options.listen = "127.0.0.1:0";
    options.log_commands = false;
    std::filesystem::create_directories(options.root);
    devagent::Agent agent(options);
    std::string error;
    if (!agent.Start(error)) {
        std::fprintf(stderr, "device emulator: %s\n", error.c_str());
        return 1;
    }
    setenv("ZARNIK_DEVICE", agent.address().c_str(), 1);  // read by the link when its profile loads

    constexpr std::uint32_t kWiLinkModel = 2;
    platform::Registration who;
    platform::MakeRegistration("Sample User 1", "SAMPLE-0001", "user1@example.org", who);
    platform::SaveRegistration(who, "1033", kWiLinkModel);
    setenv("ZARNIK_HOME", dir.file("work").c_str(), 1);
    engine::Session session;
    if (!session.OpenWorkingFolder(engine::Session::FolderUse::kCreate).ok() || !session.LoadSettings().ok()) return 1;
    if (!session.LoadDeviceProfile().ok()) return 1;
    session.UseServiceAddress(baseUrl);

    QTimer answers;
    QObject::connect(&answers, &QTimer::timeout, &AnswerWindows);
    answers.start(20);
    StallMeter meter;
    CSynchronise page(nullptr, session);
    page.show();
    meter.Start();
    QCoreApplication::processEvents();  // the page's first paint and first refresh
    meter.Stop();
    std::printf("first paint and refresh: longest stall of the window's thread %.1f ms (%ld ticks)\n", meter.longestMs(),
                meter.ticks());

    meter.Start();
    const auto start = Clock::now();
    page.SynchroniseWithServer();
    const double seconds = poidbbench::SecondsSince(start);
    meter.Stop();
    std::printf("device after it: %s\n", page.deviceBox()->text().simplified().toUtf8().constData());
    std::printf("full synchronisation of %ld cameras from the Synchronise page: %.2f s, longest stall of the "
                "window's thread %.1f ms, ending %.0f ms in (%ld ticks of 10 ms; target under 50 ms)\n",
                cameras, seconds, meter.longestMs(), meter.longestEndedAtMs(), meter.ticks());
    agent.Stop();
    return 0;
}
