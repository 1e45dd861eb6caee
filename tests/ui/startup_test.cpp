#include <QLabel>
#include <QtTest>
#include <ctime>
#include <filesystem>

#include "device/device_link.h"
#include "platform/folder_lock.h"
#include "platform/registry.h"
#include "platform/registry_store.h"
#include "platform/settings.h"
#include "tests/devicekit/running_agent.h"
#include "tests/ui/modal_answers.h"
#include "tests/ui/peers.h"
#include "tests/ui/session_on.h"
#include "ui/busy.h"
#include "ui/main_window.h"
#include "ui/settings_pages.h"
#include "ui/startup.h"
#include "ui/transparent_static.h"

namespace {

using testsupport::FileExists;
using testsupport::ReadWholeFile;

int Today() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    return (utc.tm_year + 1900) * 10000 + (utc.tm_mon + 1) * 100 + utc.tm_mday;
}

// The device the link reaches: each link's protocol client reads ZARNIK_DEVICE when its
// profile loads.
void UseDevice(const std::string& address) { setenv("ZARNIK_DEVICE", address.c_str(), 1); }

// A registered user whose settings point at the service's address file.
struct Start {
    uitest::LoopbackService service;
    testsupport::TempDir work;
    testsupport::TempDir opened;  // what the opener was asked to open
    std::string resources = std::getenv("ZARNIK_RESOURCES");

    explicit Start(const char* language = "1033", bool registered = true) {
        setenv("ZARNIK_SETTINGS", work.file("settings.reg").c_str(), 1);
        UseDevice("127.0.0.1:1");
        const std::string opener = opened.file("opener");
        testsupport::WriteWholeFile(opener, "#!/bin/sh\necho \"$1\" >> " + opened.file("log") + "\n");
        std::filesystem::permissions(opener, std::filesystem::perms::owner_all);
        setenv("ZARNIK_OPENER", opener.c_str(), 1);
        service.AddUser();
        if (!registered) return;
        platform::Registration who;
        platform::MakeRegistration(uitest::kName.c_str(), uitest::kSerial.c_str(), uitest::kEmail.c_str(), who);
        platform::SaveRegistration(who, language, 2);
        platform::CRegistry key;
        key.Open(platform::LocalMachineRoot(), platform::kSettingsKey, true);
        key.SetString("Url", (service.baseUrl() + "POIDataBase/").c_str());
    }
    ~Start() { setenv("ZARNIK_RESOURCES", resources.c_str(), 1); }

    QStringList Run(std::function<void()> onInfo = {}) {
        uitest::ModalAnswers answers(std::move(onInfo), [this](QWidget* window, QStringList& seen) {
            if (auto* settings = dynamic_cast<ISettings*>(window)) {
                // It runs before a language is loaded: always the template's English.
                bool english = false;
                for (const QLabel* label : settings->findChildren<QLabel*>())
                    english = english || label->text() == QStringLiteral("Select language gui:");
                seen << (english ? "settings" : "settings in another language");
                settings->done(2);
            } else if (auto* main = dynamic_cast<CTabDialog*>(window)) {
                // As a user's click on Exit: taken only once the window's work is over (the
                // first refresh keeps the window busy, and visible, until it ends).
                if (ui::IsBusy() || (onMain && !onMain(*main, seen))) return;
                seen << "main:" + main->pageLabel(0)->text();
                main->Exit();
            }
        });
        const auto session = uitest::SessionOn(folder());
        result = ui::RunApplication(*session);
        return answers.seen;
    }
    std::string Opened() const { return FileExists(opened.file("log")) ? ReadWholeFile(opened.file("log")) : ""; }
    std::string folder() const { return workSub.empty() ? work.path() : work.file(workSub); }
    int result = -1;
    std::string workSub;  // a working folder beneath work instead of work itself
    // Runs at each answer while the main window is up, until it gives true; then Exit.
    std::function<bool(CTabDialog&, QStringList&)> onMain;
};

const QString kMain = QStringLiteral("main:Synchronize");

}  // namespace

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void OneCopyPerFolderAndAFirstRunThatCanBeLeft() {
        {
            Start start;
            platform::FolderLock other;
            std::string error;
            QVERIFY(other.Acquire(start.work.path(), error));
            QCOMPARE(start.Run(), QStringList());
            QCOMPARE(start.result, 0);
        }
        // A second start while the window runs, minimised: it asks and ends with 0, and the
        // running copy's window comes back to the front; also with a socket file left by a
        // killed run, and in a folder too deep for a socket address.
        for (const std::string& sub : {std::string(), std::string(120, 'd')}) {
            Start start;
            start.workSub = sub;
            std::filesystem::create_directories(start.folder());
            testsupport::WriteWholeFile(start.folder() + "/zarnik.sock", "left by a killed run");
            int answers = 0;
            start.onMain = [&](CTabDialog& main, QStringList& seen) {
                if (answers++ == 0) {
                    main.showMinimized();
                    seen << "second:" + QString::number(ui::RunApplication(*uitest::SessionOn(start.folder())));
                    return false;
                }
                if (main.isMinimized() && answers < 250) return false;
                seen << (main.isMinimized() ? "still minimised" : "raised");
                return true;
            };
            QCOMPARE(start.Run(), (QStringList{"second:0", "raised", kMain}));
            QCOMPARE(start.result, 0);
        }
        {
            Start start("1031", false);
            QCOMPARE(start.Run(), QStringList{"settings"});
            QCOMPARE(start.result, 0);
            QVERIFY(!FileExists(start.work.file("settings.reg")));
        }
    }

    void AlertsServiceDownUpdateOfferAndMissingDevices() {
        {  // two alerts: one dialog each, each identifier stored while its dialog shows
            Start start("9999");
            const auto first = start.service.Admin().AddAlert("Road works", "", Today() - 1, Today() + 1);
            const auto second = start.service.Admin().AddAlert("New cameras", "", Today() - 1, Today() + 1);
            QStringList stored;
            const QStringList seen = start.Run([&] { stored << QString::number(platform::ReadStoredSettings().alertId); });
            QCOMPARE(seen, (QStringList{"info:Alert:Road works", "info:Alert:New cameras", kMain}));
            QCOMPARE(stored, (QStringList{QString::number(*first), QString::number(*second)}));
        }
        {  // the service is down: the advice, then the main window all the same
            Start start;
            start.service.Stop();
            const QStringList seen = start.Run();
            QCOMPARE(seen.size(), 2);
            QVERIFY(seen[0].startsWith("info:Alert:"));
            QCOMPARE(seen[1], kMain);
        }
        {  // a slow device: the first refresh outlasts many of the answerer's rounds
            Start start;
            testsupport::RunningAgent agent(true);
            agent.device().slow_kib_per_second = 16;
            testsupport::WriteWholeFile(agent.file(std::string(testsupport::kPoisFolder) + "/zarniks.mtc"),
                                        std::string(8 * 1024, 'z'));
            UseDevice(agent.address());
            QCOMPARE(start.Run(), QStringList{kMain});
        }
        struct Offer {
            const char* url;
            const char* opened;
        };
        for (const Offer& offer : {Offer{"http://127.0.0.1/zarnik-2.10.tar.gz", "http://127.0.0.1/zarnik-2.10.tar.gz\n"},
                                   Offer{"file:///etc/passwd", ""}}) {
            Start start;
            start.service.Admin().SetVersion({300, offer.url, "Version 2.10 is out"});
            QCOMPARE(start.Run(), QStringList{"info:Update available:Version 2.10 is out"});
            // The opener runs on its own: wait for what it should write, or a while for nothing.
            if (*offer.opened != '\0') QTRY_COMPARE_WITH_TIMEOUT(start.Opened(), std::string(offer.opened), 10000);
            QTest::qWait(300);
            QCOMPARE(start.Opened(), std::string(offer.opened));
        }
        {  // no devices.ini anywhere: the fixed message, and no main window
            Start start;
            testsupport::TempDir empty;
            setenv("ZARNIK_RESOURCES", empty.path().c_str(), 1);
            QCOMPARE(start.Run(), QStringList{
                "box:Error:Device config file seems missing, please correct by re-installing application"});
            QCOMPARE(start.result, 1);
        }
    }
};

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
