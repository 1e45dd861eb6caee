// The Personal page against a real device agent on loopback: what the user is told, what the
// device and the working folder hold afterwards, and that the device is free again.
#include <sys/stat.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "device/device_link.h"
#include "devicekit/klxpclnt/klxp_client.h"
#include "devicekit/rapi/rapi.h"
#include "tests/common/temp_dir.h"
#include "tests/ui/session_on.h"
#include "tools/devagent/agent.h"
#include "ui/personal_page.h"
#include "ui/transparent_static.h"

namespace {

using testsupport::FileExists;
using testsupport::ReadWholeFile;
using testsupport::TempDir;
using testsupport::WriteWholeFile;

const QString kBackedUp = "Backup completed succesfully !";
const QString kBackupFailed = "Backup failed !";
const QString kNothing = "No personal updates available on device to backup !";
const QString kRestored = "Personal updates have been restored.";
const QString kRestoreFailed = "Restore failed !";
const QString kDeleted = "Delete completed succesfully !";
const QString kDeleteFailed = "Delete failed !";
const QString kNotConnected = "Failed to connect to device !";
// The confirmation, as the answerer records a question with Yes and No.
const QString kConfirm = "? Are you sure you want to delete all personal updates on your device !";

// Personal-update records, one for each letter, every byte of a record that letter.
std::string Records(const std::string& letters) {
    std::string bytes;
    for (const char c : letters) bytes.append(80, c);
    return bytes;
}

// File contents as Qt Test prints them when they differ.
QByteArray Read(const std::string& path) { return QByteArray::fromStdString(ReadWholeFile(path)); }
QByteArray Bytes(const std::string& bytes) { return QByteArray::fromStdString(bytes); }

// Answers every message box that comes up, in turn, with the button of that text (OK when the
// answers run out), and records each box: its text, "? " before a Yes/No question with the
// question icon, and "[caption] " before it when the caption is not empty.
class BoxAnswerer {
public:
    explicit BoxAnswerer(QStringList answers) : answers_(std::move(answers)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { Answer(); });
        timer_.start(5);
    }
    const QStringList& seen() const { return seen_; }

private:
    void Answer() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) return;
        QString entry = box->text();
        const bool question = box->icon() == QMessageBox::Question && box->buttons().size() == 2;
        if (question) entry.prepend("? ");
        if (!box->windowTitle().isEmpty()) entry.prepend("[" + box->windowTitle() + "] ");
        seen_ << entry;
        const QString answer = answers_.isEmpty() ? QStringLiteral("OK") : answers_.takeFirst();
        for (QAbstractButton* button : box->buttons()) {
            if (button->text() == answer) {
                button->click();
                return;
            }
        }
        box->done(0);  // no such button: recorded, and the test fails on what it saw
        seen_ << "no button " + answer;
    }

    QStringList answers_;
    QStringList seen_;
    QTimer timer_;
};

// A device agent serving a device of the given transport, the link to it and the page on a
// working folder of its own.
struct Rig {
    explicit Rig(const char* code = "M2") {
        devagent::AgentOptions options;
        options.root = device.path();
        options.listen = "127.0.0.1:0";
        options.navigator_running = false;
        options.log_commands = false;
        agent = std::make_unique<devagent::Agent>(options);
        std::string error;
        started = agent->Start(error);
        std::filesystem::create_directories(device.file("Storage Card/VyoMap/VyoTC/pois"));
        session = uitest::SessionOn(pc.path());
        CDeviceLink& link = session->device_link();
        link.SetDeviceAddress(agent->address());
        CeRapiSetDeviceAddress(agent->address().c_str());
        link.SetPause([](int) {});
        if (code != nullptr) link.SetProfile(device::ProfileForCode(code, "ST"));
    }

    std::unique_ptr<CPersonal> OpenPage() {
        auto page = std::make_unique<CPersonal>(nullptr, *session);
        QCoreApplication::processEvents();  // the page's deferred work
        return page;
    }

    // The device's personal-updates file, whatever transport's folder it lives in.
    std::string DeviceFile() const {
        const bool card = session->device_link().transport == device::TransportKind::kRapi;
        return device.file(card ? "Storage Card/VyoMap/VyoTC/pois/poiupdates.upd"
                                : "My Flash Disk/VyoMap/VyoMap/VyoTC/pois/poiupdates.upd");
    }
    std::string Backup() const { return pc.file("store/poiupdates.upd"); }
    // Nothing of the operations' working files is left.
    QStringList Leftovers() const {
        QStringList names;
        for (const auto& folder : {pc.path(), pc.file("store")}) {
            if (!std::filesystem::is_directory(folder)) continue;
            for (const auto& entry : std::filesystem::directory_iterator(folder)) {
                const std::string name = entry.path().filename().string();
                if (name != "store" && name != "poiupdates.upd") names << QString::fromStdString(name);
            }
        }
        return names;
    }
    // The agent serves one client at a time: a new one is welcome only when the page let go.
    bool DeviceFree() const {
        klxp::CKlxpClient other;
        other.SetAddress(agent->address().c_str());
        return other.Connect() && other.Disconnect();
    }

    TempDir device;
    TempDir pc;
    std::unique_ptr<devagent::Agent> agent;
    bool started = false;
    std::unique_ptr<engine::Session> session;
};

QStringList Click(QPushButton* button, QStringList answers = {}) {
    BoxAnswerer answerer(std::move(answers));
    button->click();
    return answerer.seen();
}

QString Buttons(const CPersonal& page) {
    return QString(page.backupButton()->isEnabled() ? "backup" : "-") + "/" +
           (page.restoreButton()->isEnabled() ? "restore" : "-");
}

}  // namespace

class PersonalTest : public QObject {
    Q_OBJECT
private slots:
    void BackUpThenRestoreKeepsTheReportsMadeMeanwhile() {
        for (const char* code : {"M2", "RA"}) {
            Rig rig(code);
            QVERIFY(rig.started);
            std::filesystem::create_directories(rig.pc.file("store"));
            WriteWholeFile(rig.Backup(), "");  // a 0-byte back-up counts as none
            WriteWholeFile(rig.DeviceFile(), Records("AB") + "tail");
            auto page = rig.OpenPage();
            QCOMPARE(page->titleLabel()->text(), QStringLiteral("Device"));
            QCOMPARE(page->restoreButton()->text(), QStringLiteral("Restore personal\nupdates to device"));
            QVERIFY(!FileExists(rig.Backup()));
            QCOMPARE(Buttons(*page), QStringLiteral("backup/-"));

            QCOMPARE(Click(page->backupButton()), QStringList{kBackedUp});
            QCOMPARE(Read(rig.Backup()), Bytes(Records("AB") + "tail"));
            QCOMPARE(Read(rig.DeviceFile()), Bytes(std::string()));
            QCOMPARE(Buttons(*page), QStringLiteral("-/restore"));
            QVERIFY(rig.DeviceFree());

            // New reports on the device, one of them again the back-up's, and half a record.
            WriteWholeFile(rig.DeviceFile(), Records("CB") + "half");
            QCOMPARE(Click(page->restoreButton()), QStringList{kRestored});
            QCOMPARE(Read(rig.DeviceFile()), Bytes(Records("ABC")));
            QVERIFY(!FileExists(rig.Backup()));
            QCOMPARE(Buttons(*page), QStringLiteral("backup/-"));
            QVERIFY(rig.DeviceFree());

            // Onto an empty device file the back-up goes as it was.
            QCOMPARE(Click(page->backupButton()), QStringList{kBackedUp});
            QCOMPARE(Click(page->restoreButton()), QStringList{kRestored});
            QCOMPARE(Read(rig.DeviceFile()), Bytes(Records("ABC")));
            QCOMPARE(rig.Leftovers(), QStringList());
            QVERIFY(rig.DeviceFree());
        }
    }

    void StoreFolderIsCreatedForTheUserAlone() {
        Rig rig;
        QVERIFY(rig.started);
        WriteWholeFile(rig.DeviceFile(), Records("A"));
        auto page = rig.OpenPage();
        QCOMPARE(Click(page->backupButton()), QStringList{kBackedUp});
        struct stat st {};
        QCOMPARE(::stat(rig.pc.file("store").c_str(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0700U);
    }

    void FailuresLoseNoReport() {
        using devagent::FaultKind;
        using devagent::Step;
        enum Op { kBackup, kRestore };
        struct Fault {
            Step step;
            FaultKind kind;
            std::uint64_t atByte;
        };
        struct Case {
            const char* what;
            Op op;
            std::optional<std::string> device;  // none: a reset device, without the file
            std::optional<std::string> backup;
            std::optional<Fault> fault;
            QString told;
            std::optional<std::string> backupAfter;
            std::optional<std::string> deviceAfter;  // none: as it was
        };
        const Case cases[] = {
            {"copy cut midway", kBackup, Records(std::string(100, 'A')), std::nullopt,
             Fault{Step::kDownload, FaultKind::kFailMidway, 4000}, kBackupFailed, std::nullopt, std::nullopt},
            {"copy refused", kBackup, Records("A"), std::nullopt, Fault{Step::kDownload, FaultKind::kFail, 0},
             kBackupFailed, std::nullopt, std::nullopt},
            {"a back-up is already held", kBackup, Records("A"), Records("B"), std::nullopt, kBackupFailed, Records("B"),
             std::nullopt},
            {"nothing on the device", kBackup, "", std::nullopt, std::nullopt, kNothing, std::nullopt, std::nullopt},
            {"a reset device", kBackup, std::nullopt, std::nullopt, std::nullopt, kNothing, std::nullopt, std::nullopt},
            {"device file unreadable", kRestore, Records("A"), Records("B"),
             Fault{Step::kDownload, FaultKind::kFail, 0}, kRestoreFailed, Records("B"), std::nullopt},
            {"upload refused", kRestore, Records("A"), Records("B"), Fault{Step::kUpload, FaultKind::kFail, 0},
             kRestoreFailed, Records("B"), std::nullopt},
            {"upload cut midway", kRestore, Records("A"), Records(std::string(100, 'B')),
             Fault{Step::kUpload, FaultKind::kFailMidway, 4000}, kRestoreFailed, Records(std::string(100, 'B')),
             std::nullopt},
            // Exactly when a restore is needed.
            {"restore onto a reset device", kRestore, std::nullopt, Records("B"), std::nullopt, kRestored, std::nullopt,
             Records("B")},
        };
        for (const Case& c : cases) {
            qInfo() << c.what;
            Rig rig;
            QVERIFY(rig.started);
            if (c.device) WriteWholeFile(rig.DeviceFile(), *c.device);
            if (c.backup) {
                std::filesystem::create_directories(rig.pc.file("store"));
                WriteWholeFile(rig.Backup(), *c.backup);
            }
            auto page = rig.OpenPage();
            if (c.fault) QVERIFY(rig.agent->device().faults.Arm(c.fault->step, c.fault->kind, 1, 1, c.fault->atByte));
            // Called directly: a held back-up disables the back-up button, but nothing may rely on it.
            BoxAnswerer answerer({});
            c.op == kBackup ? page->BackUpPersonalUpdates() : page->RestorePersonalUpdates();
            QCOMPARE(answerer.seen(), QStringList{c.told});
            const std::optional<std::string> deviceAfter = c.deviceAfter ? c.deviceAfter : c.device;
            QCOMPARE(FileExists(rig.DeviceFile()), deviceAfter.has_value());
            QCOMPARE(Read(rig.DeviceFile()), Bytes(deviceAfter.value_or("")));
            QCOMPARE(FileExists(rig.Backup()), c.backupAfter.has_value());
            if (c.backupAfter) QCOMPARE(Read(rig.Backup()), Bytes(*c.backupAfter));
            QCOMPARE(Buttons(*page), c.backupAfter ? QStringLiteral("-/restore") : QStringLiteral("backup/-"));
            QCOMPARE(rig.Leftovers(), QStringList());
            QVERIFY(rig.DeviceFree());
        }
    }

    void DeleteAsksFirstAndEndsTheConnectionEitherWay() {
        struct Case {
            QString answer;
            bool refuseUpload;
            QStringList told;
            std::optional<std::string> deviceAfter;  // none: no file left
        };
        const Case cases[] = {
            {"Yes", false, {kConfirm, kDeleted}, ""},
            {"No", false, {kConfirm}, Records("AB")},
            // The empty file never arrives: the user must not believe the reports are gone.
            {"Yes", true, {kConfirm, kDeleteFailed}, std::nullopt},
        };
        for (const Case& c : cases) {
            Rig rig;
            QVERIFY(rig.started);
            WriteWholeFile(rig.DeviceFile(), Records("AB"));
            std::filesystem::create_directories(rig.pc.file("store"));
            WriteWholeFile(rig.Backup(), Records("C"));
            auto page = rig.OpenPage();
            if (c.refuseUpload) rig.agent->device().faults.Arm(devagent::Step::kUpload, devagent::FaultKind::kFail);
            QCOMPARE(Click(page->deleteButton(), {c.answer}), c.told);
            QCOMPARE(FileExists(rig.DeviceFile()), c.deviceAfter.has_value());
            if (c.deviceAfter) QCOMPARE(Read(rig.DeviceFile()), Bytes(*c.deviceAfter));
            QCOMPARE(Read(rig.Backup()), Bytes(Records("C")));
            QCOMPARE(Buttons(*page), QStringLiteral("-/restore"));
            QCOMPARE(rig.Leftovers(), QStringList());
            QVERIFY(rig.DeviceFree());
        }
    }

    void WithoutAProfileNothingIsConnected() {
        Rig rig(nullptr);
        QVERIFY(rig.started);
        WriteWholeFile(rig.DeviceFile(), Records("A"));
        std::filesystem::create_directories(rig.pc.file("store"));
        WriteWholeFile(rig.Backup(), Records("B"));
        auto page = rig.OpenPage();
        page->backupButton()->setEnabled(true);  // so that every button can be clicked
        for (QPushButton* button : {page->deleteButton(), page->backupButton(), page->restoreButton()}) {
            QCOMPARE(Click(button), QStringList{kNotConnected});
        }
        QCOMPARE(Read(rig.Backup()), Bytes(Records("B")));
        QCOMPARE(Read(rig.DeviceFile()), Bytes(Records("A")));
        QCOMPARE(Buttons(*page), QStringLiteral("-/restore"));
        QCOMPARE(rig.agent->sessions_served(), 0);
    }
};

QTEST_MAIN(PersonalTest)
#include "personal_test.moc"
