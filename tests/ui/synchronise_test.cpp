#include <QMessageBox>
#include <QPushButton>
#include <QtTest>
#include <cstring>
#include <filesystem>

#include "device/device_link.h"
#include "device_reports.h"
#include "platform/settings.h"
#include "service/camera_file/writer.h"
#include "tests/devicekit/running_agent.h"
#include "tests/ui/modal_answers.h"
#include "tests/ui/peers.h"
#include "tests/ui/session_on.h"
#include "ui/busy.h"
#include "ui/info_pages.h"
#include "ui/sync_status.h"
#include "ui/synchronise_page.h"
#include "ui/transparent_static.h"

namespace {

using testsupport::FileExists;
using testsupport::ReadWholeFile;
using testsupport::WriteWholeFile;


// A working folder, a registered user, the emulated device of model 2 and the page.
struct Bench {
    uitest::LoopbackService service;
    testsupport::RunningAgent agent{true};
    testsupport::TempDir work;
    std::unique_ptr<engine::Session> session = uitest::SessionOn(work.path());
    std::string pois = agent.file(testsupport::kPoisFolder);

    explicit Bench(bool registered = true) {
        setenv("ZARNIK_SETTINGS", work.file("settings.reg").c_str(), 1);
        setenv("ZARNIK_DEVICE", agent.address().c_str(), 1);
        service.AddUser();
        for (int i = 0; i < 5; ++i) service.AddOfficial(50000000 + i * 100000, 4000000);
        platform::Registration who;
        platform::MakeRegistration(uitest::kName.c_str(), uitest::kSerial.c_str(), uitest::kEmail.c_str(), who);
        if (registered) platform::SaveRegistration(who, "1033", 2);
        session->device_link().LoadProfile(2);
        session->device_link().SetDeviceAddress(agent.address());
        session->UseServiceAddress(service.baseUrl());
    }
    std::unique_ptr<CSynchronise> Page() {
        session->TakeSettingsSnapshot();  // what the test stored
        auto page = std::make_unique<CSynchronise>(nullptr, *session);
        QCoreApplication::processEvents();  // the first refresh, once the page is up
        return page;
    }
};

QString Box(CTransparentStatic* box) { return box->text(); }

}  // namespace

class SynchroniseTest : public QObject {
    Q_OBJECT
private slots:
    // A device copy reported from the work beside the window: the bar under the step line
    // follows it on the window's thread and goes when the copy ends.
    void ProgressWindowShowsTheCopyAsABar() {
        CSyncStatus window;
        window.Show();
        ui::ProgressBeside beside(window);
        const struct {
            std::uint64_t bytes, expected;
            bool finished;
            int percent;  // on the bar afterwards; -1 none
        } reports[] = {{0, 0, false, -1}, {0, 2000, false, 0}, {999, 2000, false, 49}, {2000, 2000, false, 100},
                       {2000, 2000, true, -1}};
        for (const auto& r : reports) {
            engine::TransferProgress transfer;
            transfer.bytes = r.bytes;
            transfer.expected = r.expected;
            transfer.finished = r.finished;
            ui::RunBeside([&] { beside.SetTransfer(transfer); });
            QCoreApplication::processEvents();
            QCOMPARE(window.transferPercent(), r.percent);
        }
    }

    void RefreshShowsWhatDeviceAndServiceHold() {
        {  // a fresh user: the service demands everything, the device has no camera file yet
            Bench bench;
            WriteWholeFile(bench.pois + "/poiupdates.upd", testsupport::DeviceReports(1));
            auto page = bench.Page();
            QCOMPARE(Box(page->deviceBox()), QStringLiteral("A full synchronisation will be done !"));
            QVERIFY(Box(page->pcBox()).isEmpty());
            QVERIFY(page->synchroniseButton()->isEnabled());

            bench.service.Stop();  // the service's error in the PC box, the button off
            page->RefreshDeviceAndServerInfo(false);
            // No camera file yet is no failure: 0 cameras, and the reports waiting.
            QVERIFY(Box(page->deviceBox()).contains(QStringLiteral("#Zarniks on device : 0")));
            QVERIFY(Box(page->deviceBox()).contains(QStringLiteral("#Changes on device : 2")));
            QVERIFY(!Box(page->pcBox()).isEmpty());
            QVERIFY(!page->synchroniseButton()->isEnabled());
            QVERIFY(page->refreshButton()->isEnabled());
        }
        {  // no device: nothing asked of the service
            Bench bench;
            bench.agent.agent().Stop();
            auto page = bench.Page();
            QCOMPARE(Box(page->deviceBox()), QStringLiteral("Device not connected !"));
            QVERIFY(Box(page->pcBox()).isEmpty());
            QVERIFY(!page->synchroniseButton()->isEnabled());
        }
        {  // no registration: the PC box and the button stay as they were
            Bench bench(false);
            auto page = bench.Page();
            QVERIFY(Box(page->pcBox()).isEmpty());
        }
    }

    void SynchronisationSendsReportsAndCopiesTheCameraFile() {
        Bench bench;
        const std::string reports = testsupport::DeviceReports(2);
        WriteWholeFile(bench.pois + "/poiupdates.upd", reports);
        // Reports kept by the headless tool in the working folder are sent as well, not lost.
        WriteWholeFile(bench.work.file("poiupdates.upd"), testsupport::DeviceReports(3));
        auto page = bench.Page();
        QCOMPARE(ReadWholeFile(bench.work.file("poiupdates.upd")), testsupport::DeviceReports(3));
        {
            uitest::ModalAnswers answers;
            page->SynchroniseWithServer();
            QCOMPARE(answers.seen.size(), 1);
            QVERIFY2(answers.seen.front().startsWith("info:Synchronization:"), qPrintable(answers.seen.front()));
            QVERIFY2(answers.seen.front().contains("4 Personal"), qPrintable(answers.seen.front()));
        }
        QCOMPARE(ReadWholeFile(bench.pois + "/poiupdates.upd"), std::string());
        QCOMPARE(service::CountCameraFileRecords(bench.pois + "/zarniks.mtc"), 9);
        for (const char* stray : {"poiupdates.upd", "zarniks.mtc", "device.upd"})
            QVERIFY2(!FileExists(bench.work.file(stray)), stray);
        QVERIFY(Box(page->deviceBox()).contains(QStringLiteral("#Zarniks on device : 9")));
        QVERIFY(Box(page->pcBox()).contains(QStringLiteral("#Changes found on server : 0")));
        QVERIFY(bench.agent.device().navigator_running);

        // The camera file cannot be written: the summary says so, the reports are with the service.
        WriteWholeFile(bench.pois + "/poiupdates.upd", testsupport::DeviceReports(4));
        QVERIFY(bench.agent.faults().Arm(devagent::Step::kUpload, devagent::FaultKind::kFail, 3, 10));
        {
            uitest::ModalAnswers answers;
            page->SynchroniseWithServer();
            QCOMPARE(answers.seen.size(), 1);
            QVERIFY2(answers.seen.front().contains("failed to upload data to device"), qPrintable(answers.seen.front()));
        }
        bench.agent.faults().Clear();
        QCOMPARE(ReadWholeFile(bench.pois + "/poiupdates.upd"), std::string());

        // A device that has no reports file at all is synchronised as one with an empty file.
        std::filesystem::remove(bench.pois + "/poiupdates.upd");
        {
            uitest::ModalAnswers answers;
            page->SynchroniseWithServer();
            QCOMPARE(answers.seen.size(), 1);
            QVERIFY2(answers.seen.front().startsWith("info:Synchronization:"), qPrintable(answers.seen.front()));
        }
    }

    void RefusedLogonKeepsTheDevicesReports() {
        Bench bench;
        platform::Registration stranger;
        platform::MakeRegistration("Nobody", "0000", "no@example.org", stranger);
        platform::SaveRegistration(stranger, "1033", 2);
        const std::string reports = testsupport::DeviceReports(5);
        WriteWholeFile(bench.pois + "/poiupdates.upd", reports);
        auto page = bench.Page();
        uitest::ModalAnswers answers;
        page->SynchroniseWithServer();
        QCOMPARE(answers.seen.size(), 1);
        QVERIFY2(answers.seen.front().startsWith("box::"), qPrintable(answers.seen.front()));
        QCOMPARE(ReadWholeFile(bench.pois + "/poiupdates.upd"), reports);
        QVERIFY(bench.agent.device().navigator_running);
    }
};

QTEST_MAIN(SynchroniseTest)
#include "synchronise_test.moc"
