// The settings dialogs against a real settings store file and the reference service on loopback.
#include <unistd.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "device/device_link.h"
#include "platform/registry_store.h"
#include "platform/settings.h"
#include "platform/string_table.h"
#include "tests/common/loopback.h"
#include "tests/common/temp_dir.h"
#include "tests/ui/session_on.h"
#include "tools/poidb-server/schema.h"
#include "tools/poidb-server/server.h"
#include "tools/poidb-server/sqlite_db.h"
#include "tools/poidb-server/store.h"
#include "ui/settings_pages.h"
#include "ui/texts.h"

namespace {

using testsupport::TempDir;

const std::string kName = "Jan de Vries";
const std::string kSerial = "1234-5678";
const std::string kEmail = "jan@example.org";

// Every message box shown while it lives, answered with its first button.
class BoxRecorder : public QObject {
public:
    struct Box {
        QString text, caption;
    };
    BoxRecorder() {
        connect(&timer_, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr || !box->isVisible()) return;
            boxes.push_back({box->text(), box->windowTitle()});
            box->buttons().front()->click();
        });
        timer_.start(5);
    }
    QStringList texts() const {
        QStringList all;
        for (const Box& box : boxes) all << box.text;
        return all;
    }
    std::vector<Box> boxes;

private:
    QTimer timer_;
};

// The reference service on this process's own loopback address, with one registered user.
class Service {
public:
    Service() {
        const int fd = testsupport::ListenOnFreeLoopback(80, address_);
        if (fd >= 0) close(fd);
        poidb::ServerOptions options;
        options.address = address_;
        options.db_path = dir_.file("poi.db");
        options.threads = 2;
        options.log_requests = false;
        std::string error;
        ok_ = fd >= 0 && server_.Open(options, error);
        if (!ok_) return;
        thread_ = std::thread([this] { server_.Run(); });
        poidb::Database db;
        ok_ = poidb::OpenStore(db, options.db_path, false, error) &&
              poidb::Store(db).AddUser(kName, kSerial, kEmail).has_value();
    }
    ~Service() {
        server_.Stop();
        if (thread_.joinable()) thread_.join();
    }
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    bool ok() const { return ok_; }
    std::string url() const { return "http://" + address_ + "/"; }

private:
    TempDir dir_;
    std::string address_;
    poidb::PoiServer server_;
    std::thread thread_;
    bool ok_ = false;
};

std::string StorePath() { return platform::SettingsStorePath(); }
QString StoreBytes() {
    return QString::fromStdString(testsupport::FileExists(StorePath()) ? testsupport::ReadWholeFile(StorePath())
                                                                       : "<no store>");
}
QString Q(const char* text) { return QString::fromUtf8(text); }

void StoreRegistration(const std::string& name, const std::string& serial, const std::string& email,
                       const char* language = "1033", std::uint32_t device = 0) {
    platform::Registration who;
    QVERIFY(platform::MakeRegistration(name.c_str(), serial.c_str(), email.c_str(), who));
    QVERIFY(platform::SaveRegistration(who, language, device));
}

void SetFields(QLineEdit* name, QLineEdit* serial, QLineEdit* email, const std::string& n, const std::string& s,
               const std::string& e) {
    name->setText(QString::fromStdString(n));
    serial->setText(QString::fromStdString(s));
    email->setText(QString::fromStdString(e));
}

// ZARNIK_RESOURCES for the life of the object.
class Resources {
public:
    explicit Resources(const std::string& folder) : previous_(qgetenv("ZARNIK_RESOURCES")) {
        qputenv("ZARNIK_RESOURCES", QByteArray::fromStdString(folder));
    }
    ~Resources() { qputenv("ZARNIK_RESOURCES", previous_); }
    Resources(const Resources&) = delete;
    Resources& operator=(const Resources&) = delete;

private:
    QByteArray previous_;
};

// Types text key by key, as a keyboard with those characters would.
void Type(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
    }
}

QString Repeat(const char* text, int times) { return QString::fromUtf8(text).repeated(times); }

// Each box as expected, where "%cause" in an expected text stands for a line of the transport's
// account (and the words after it must be in it).
void ExpectBoxes(const BoxRecorder& boxes, const QStringList& expected, const char* what) {
    QVERIFY2(static_cast<qsizetype>(boxes.boxes.size()) == expected.size(), what);
    for (qsizetype i = 0; i < expected.size(); ++i) {
        const QString& text = boxes.boxes[static_cast<std::size_t>(i)].text;
        const qsizetype cause = expected[i].indexOf("%cause");
        if (cause < 0) {
            QCOMPARE(text, expected[i]);
            continue;
        }
        QCOMPARE(text.left(cause), expected[i].left(cause));
        QVERIFY2(text.size() > cause + 10, qPrintable(text));
        QVERIFY2(text.mid(cause).contains(expected[i].mid(cause + 7)), qPrintable(text));
    }
}

}  // namespace

class SettingsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        ui::SetSettingsListPause(0);
        // The English texts are read once, from the real packs, before any test moves them.
        QCOMPARE(QString::fromStdString(ui::Text(181)), QStringLiteral("Registration information incomplete !"));
        qputenv("ZARNIK_SETTINGS", QByteArray::fromStdString(settingsDir_.file("settings.reg")));
        QVERIFY(service_.ok());
    }

    void init() {
        std::remove(StorePath().c_str());
        std::filesystem::remove_all(work_.path());
        std::filesystem::create_directories(work_.path());
        testsupport::WriteWholeFile(work_.file("devices.ini"), "A:M1:ST\n\nB:MA\nC:XY");
        session_ = uitest::SessionOn(work_.path());
        session_->UseServiceAddress(service_.url());
    }

    void LanguageListHoldsTheLanguagesWithAPackAndSelectsTheStoredOne() {
        struct Case {
            QStringList packs;
            const char* stored;
            QStringList names;
            QList<int> data;
            int selected;
        };
        const Case cases[] = {
            {{"1033.txt", "1031.txt"}, "1031", {"English", "Deutsch"}, {0, 5}, 1},
            {{"1033.txt", "1031.txt"}, "1036", {"English", "Deutsch"}, {0, 5}, 0},
            {{}, "1031", {"English"}, {0}, 0},
        };
        for (const Case& c : cases) {
            TempDir resources;
            std::filesystem::create_directories(resources.file("lang"));
            for (const QString& pack : c.packs) testsupport::WriteWholeFile(resources.file("lang/" + pack.toStdString()), "");
            const Resources use(resources.path());
            StoreRegistration(kName, kSerial, kEmail, c.stored);
            CSettings page(nullptr, *session_);
            QTRY_VERIFY(page.listsFilled());
            QStringList names;
            QList<int> data;
            for (int i = 0; i < page.languageList()->count(); ++i) {
                names << page.languageList()->itemText(i);
                data << page.languageList()->itemData(i).toInt();
            }
            QCOMPARE(names, c.names);
            QCOMPARE(data, c.data);
            QCOMPARE(page.languageList()->currentIndex(), c.selected);
        }
    }

    void OnlyTypingInAFieldDeletesTheLocalCache() {
        struct Case {
            const char* what;
            std::function<void(CSettings&)> act;
            bool deleted;
        };
        const Case cases[] = {
            {"filling at opening", [](CSettings&) {}, false},
            {"set by the program", [](CSettings& p) { p.serialEdit()->setText("9999"); }, false},
            {"a typed character", [](CSettings& p) { QTest::keyClick(p.serialEdit(), Qt::Key_X); }, true},
            {"a typed deletion", [](CSettings& p) { QTest::keyClick(p.emailEdit(), Qt::Key_Backspace); }, true},
        };
        StoreRegistration(kName, kSerial, kEmail);
        for (const Case& c : cases) {
            testsupport::WriteWholeFile(work_.file("local.cache"), std::string(80, 'c'));
            CSettings page(nullptr, *session_);
            QTRY_VERIFY(page.listsFilled());
            QCOMPARE(page.serialEdit()->text(), QString::fromStdString(kSerial));
            page.emailEdit()->end(false);
            c.act(page);
            QVERIFY2(testsupport::FileExists(work_.file("local.cache")) != c.deleted, c.what);
        }
    }

    void OnlyTheUsersSelectionAsksForARestart() {
        struct Case {
            bool languageList;
            bool byUser;
        };
        const Case cases[] = {{true, false}, {true, true}, {false, false}, {false, true}};
        StoreRegistration(kName, kSerial, kEmail);
        for (const Case& c : cases) {
            CSettings page(nullptr, *session_);
            QTRY_VERIFY(page.listsFilled());
            QComboBox* list = c.languageList ? page.languageList() : page.deviceList();
            QVERIFY(list->count() >= 2);
            BoxRecorder boxes;
            if (c.byUser)
                QTest::keyClick(list, Qt::Key_Down);
            else
                list->setCurrentIndex(1);
            QCOMPARE(list->currentIndex(), 1);
            if (!c.byUser) {
                QVERIFY(boxes.boxes.empty());
                continue;
            }
            QCOMPARE(boxes.texts(), QStringList{"Application needs to be restarted for changes to take effect!"});
            QCOMPARE(boxes.boxes.front().caption, QString());
        }
    }

    void LeavingThePageStoresEverythingOrNothing() {
        TempDir noData;  // a resource folder without packs or devices.ini
        struct Case {
            const char* what;
            std::string email;
            bool devicesIni;
            QStringList boxes;
            const char* language;  // stored afterwards; nullptr: nothing stored
            std::uint32_t device;
            device::TransportKind transport;
        };
        const Case cases[] = {
            {"empty e-mail", "", true, {"Registration information incomplete !"}, nullptr, 0, device::TransportKind::kNone},
            {"model C, German", kEmail, true, {}, "1031", 2, device::TransportKind::kRapi},
            {"no devices.ini", kEmail, false,
             {"Device config file seems missing, please correct by re-installing application"}, "1033", 0,
             device::TransportKind::kNone},
        };
        for (const Case& c : cases) {
            init();
            if (!c.devicesIni) std::remove(work_.file("devices.ini").c_str());
            std::unique_ptr<Resources> use;
            if (!c.devicesIni) use = std::make_unique<Resources>(noData.path());
            CSettings page(nullptr, *session_);
            QTRY_VERIFY(page.listsFilled());
            SetFields(page.nameEdit(), page.serialEdit(), page.emailEdit(), kName, kSerial, c.email);
            if (c.devicesIni) {
                page.languageList()->setCurrentIndex(page.languageList()->findText("Deutsch"));
                page.deviceList()->setCurrentIndex(2);
            }
            BoxRecorder boxes;
            page.SaveFields();
            QVERIFY2(boxes.texts() == c.boxes, c.what);
            if (!boxes.boxes.empty() && c.language == nullptr) QCOMPARE(boxes.boxes.front().caption, QStringLiteral("Error"));
            QCOMPARE(session_->device_link().transport, c.transport);
            if (c.language == nullptr) {
                QCOMPARE(StoreBytes(), QStringLiteral("<no store>"));
                QVERIFY(!session_->settings().deviceSet);
                QCOMPARE(session_->registration().email[0], '\0');
                continue;
            }
            const platform::StoredSettings stored = platform::ReadStoredSettings();
            QCOMPARE(Q(stored.registration.email), Q(kEmail.c_str()));
            QCOMPARE(Q(stored.registration.registrar), Q(kName.c_str()));
            QCOMPARE(Q(stored.language), Q(c.language));
            QVERIFY(stored.deviceSet);
            QCOMPARE(stored.device, c.device);
            QCOMPARE(session_->settings().device, c.device);
            QCOMPARE(Q(session_->registration().email), Q(kEmail.c_str()));
            QCOMPARE(Q(session_->language().c_str()), QStringLiteral("1033"));  // a new language takes effect at the next start
        }
    }

    void AStoreThatRefusesTheSaveIsToldInTheInterfaceLanguageWithItsCause() {
        struct Case {
            const char* locale;
            QString sentence, causeWord;
        };
        const Case cases[] = {
            {"1033", "The settings could not be saved.", "Cause: "},
            {"1031", "Die Einstellungen konnten nicht gespeichert werden.", "Ursache: "},
        };
        for (const Case& c : cases) {
            init();
            testsupport::WriteWholeFile(StorePath(), "[Software\\Korva\\vyoSync]\nnot a value\n");
            const QString before = StoreBytes();
            const QString cause = QString::fromStdString(platform::SettingsStoreProblem());
            QVERIFY(!cause.isEmpty());
            platform::StringTable texts;
            texts.Load(platform::LanguagePackFolder(), c.locale);
            ui::SetTexts(&texts);
            CSettings page(nullptr, *session_);
            QTRY_VERIFY(page.listsFilled());
            SetFields(page.nameEdit(), page.serialEdit(), page.emailEdit(), kName, kSerial, kEmail);
            BoxRecorder boxes;
            page.SaveFields();
            ui::SetTexts(nullptr);
            QCOMPARE(boxes.texts(), QStringList{c.sentence + "\n" + c.causeWord + cause});
            QCOMPARE(boxes.boxes.front().caption, QString::fromStdString(texts.Text(153)));
            QCOMPARE(StoreBytes(), before);
            QCOMPARE(session_->registration().email[0], '\0');
        }
    }

    // The boxes' texts are compared line by line: "%cause" stands for a second line that tells
    // what went wrong underneath, "%unused" for the loopback address nobody serves.
    void FirstRunDialogStoresOnlyWhatTheServiceAccepts() {
        struct Case {
            const char* what;
            std::string serial, email;
            bool serviceUp;  // at the address the session uses
            const char* address;  // typed; "%service" and "%unused" are replaced
            bool pressOk;
            QStringList boxes;
            int result;
        };
        const std::string unused = testsupport::UnusedLoopbackAddress();
        const Case cases[] = {
            {"Exit", kSerial, kEmail, true, "", false, {}, 2},
            {"empty e-mail", kSerial, "", true, "", true, {"Registration information incomplete !"}, 2},
            {"unknown user", "0000-0000", kEmail, true, "", true, {"User not found in database !"}, 2},
            {"service down", kSerial, kEmail, false, "", true, {"Failed to send request !\n%cause"}, 2},
            {"known user", kSerial, kEmail, true, "", true, {}, 1},
            {"at the address typed", kSerial, kEmail, false, "%service", true, {}, 1},
            {"a folder the store refuses", kSerial, kEmail, true, "ftp://x/", true,
             {"The settings could not be saved.\nCause: the service address ftp://x/: the address must begin with "
              "http:// (the service speaks plain HTTP)"}, 2},
            {"nobody at the address typed", kSerial, kEmail, true, "http://%unused/POIDataBase/", true,
             {"Failed to send request !\n%cause the server-address file could not be fetched"}, 2},
        };
        for (const Case& c : cases) {
            init();
            if (!c.serviceUp) session_->UseServiceAddress("http://" + unused + "/");
            QString address = Q(c.address);
            address.replace("%service", QString::fromStdString(service_.url() + "POIDataBase/"))
                .replace("%unused", QString::fromStdString(unused));
            ISettings dialog(*session_);
            BoxRecorder boxes;
            bool stayedOpen = false;
            QStringList kept;
            QTimer::singleShot(0, &dialog, [&] {
                QTRY_VERIFY(dialog.listsFilled());
                SetFields(dialog.nameEdit(), dialog.serialEdit(), dialog.emailEdit(), kName, c.serial, c.email);
                dialog.addressEdit()->setText(address);
                dialog.deviceList()->setCurrentIndex(1);
                if (c.pressOk) dialog.okButton()->click();
                // Posted now, this runs only when the dialog is still running after OK: an
                // ended dialog leaves its loop first.
                QMetaObject::invokeMethod(
                    &dialog,
                    [&] {
                        stayedOpen = true;
                        kept = {dialog.nameEdit()->text(), dialog.serialEdit()->text(), dialog.emailEdit()->text(),
                                dialog.addressEdit()->text()};
                        dialog.exitButton()->click();
                    },
                    Qt::QueuedConnection);
            });
            QCOMPARE(dialog.Run(), c.result);
            ExpectBoxes(boxes, c.boxes, c.what);
            for (const auto& box : boxes.boxes) {
                const bool error = c.email.empty() || box.text.startsWith("The settings");
                QCOMPARE(box.caption, error ? QStringLiteral("Error") : QString());
            }
            QCOMPARE(stayedOpen, c.result == 2);
            if (c.result == 2) {
                if (c.pressOk) QCOMPARE(kept, (QStringList{Q(kName.c_str()), Q(c.serial.c_str()), Q(c.email.c_str()), address}));
                QCOMPARE(StoreBytes(), QStringLiteral("<no store>"));
                QCOMPARE(session_->registration().registrar[0], '\0');
                continue;
            }
            const platform::StoredSettings stored = platform::ReadStoredSettings();
            QCOMPARE(Q(stored.registration.serial), Q(kSerial.c_str()));
            QCOMPARE(Q(stored.url), address);
            QCOMPARE(stored.device, 1U);
            QCOMPARE(Q(session_->registration().serial), Q(kSerial.c_str()));
            QCOMPARE(session_->settings().device, 1U);
            // The run goes on at the address that answered.
            if (!address.isEmpty()) QCOMPARE(QString::fromStdString(session_->service_address()), QString::fromStdString(service_.url()));
        }
    }

    void TestConnectionSavesThenSaysWhatTheServiceAnswered() {
        struct Case {
            std::string serial, email;
            bool serviceUp;
            const char* address;
            QStringList boxes;
            const char* storedUrl;
        };
        const Case cases[] = {
            {kSerial, kEmail, true, "", {"Connection test completed succcesfull !"}, ""},
            {"0000-0000", kEmail, true, "", {"User not found in database !"}, ""},
            {kSerial, kEmail, false, "", {"Failed to send request !\n%cause"}, ""},
            // Nothing stored, so nothing is tested: the old, stored values would pass.
            {kSerial, "", true, "", {"Registration information incomplete !"}, ""},
            {kSerial, kEmail, true, " http:x", {"The settings could not be saved.\nCause: the service address http:x: "
                                                "the address must begin with http:// (the service speaks plain HTTP)"}, ""},
            {kSerial, kEmail, true, "http://127.0.0.1:8080/", {"The settings could not be saved.\nCause: the service "
                                                               "address http://127.0.0.1:8080/: the service is always "
                                                               "reached on port 80; an address naming port 8080 would "
                                                               "not be used as written"}, ""},
        };
        for (const Case& c : cases) {
            init();
            StoreRegistration(kName, kSerial, kEmail);
            if (!c.serviceUp)
                session_->UseServiceAddress("http://" + testsupport::UnusedLoopbackAddress() + "/");
            CSettings page(nullptr, *session_);
            QTRY_VERIFY(page.listsFilled());
            SetFields(page.nameEdit(), page.serialEdit(), page.emailEdit(), kName, c.serial, c.email);
            page.addressEdit()->setText(Q(c.address));
            BoxRecorder boxes;
            page.testButton()->click();
            ExpectBoxes(boxes, c.boxes, c.address);
            QCOMPARE(page.addressEdit()->text(), Q(c.address));
            QCOMPARE(Q(platform::ReadStoredSettings().url), Q(c.storedUrl));
            if (!c.email.empty() && c.boxes.front().startsWith("The settings")) {
                QCOMPARE(Q(platform::ReadStoredSettings().registration.serial), Q(kSerial.c_str()));
            } else if (!c.email.empty()) {
                QCOMPARE(Q(platform::ReadStoredSettings().registration.serial), Q(c.serial.c_str()));
            }
        }
    }

    // The page's address is stored as typed, used from then on, and cleared when emptied; each
    // row starts where the one before left the store.
    void TheAddressLeftOnThePageIsStoredAndUsedAtOnce() {
        struct Case {
            const char* typed;  // "%service": the reference service's folder
            const char* stored;
            bool atService;     // the session then asks the reference service
        };
        const Case cases[] = {
            {"%service", "%service", true},
            {"%service", "%service", true},
            {"", "", false},  // cleared: the built-in folder, where nobody answers here
        };
        StoreRegistration(kName, kSerial, kEmail);
        session_->UseServiceAddress("http://" + testsupport::UnusedLoopbackAddress() + "/");
        const QString folder = QString::fromStdString(service_.url() + "POIDataBase/");
        for (const Case& c : cases) {
            CSettings page(nullptr, *session_);
            QTRY_VERIFY(page.listsFilled());
            page.addressEdit()->setText(Q(c.typed).replace("%service", folder));
            BoxRecorder boxes;
            page.SaveFields();
            QVERIFY(boxes.boxes.empty());
            QCOMPARE(Q(platform::ReadStoredSettings().url), Q(c.stored).replace("%service", folder));
            QCOMPARE(session_->service_address() == service_.url(), c.atService);
        }
    }

    void FieldsKeepAtMost255BytesOfWholeCharacters() {
        struct Case {
            QString start;
            int cursor;        // -1: at the end
            QString typed;     // typed key by key
            QString inserted;  // pasted at once
            QString expected;
        };
        const QString e127 = Repeat("é", 127);  // 254 bytes
        const Case cases[] = {
            {"", -1, "", "a" + e127, "a" + e127},                               // 255 bytes: whole
            {"", -1, "", Repeat("é", 128), e127},                                // 256: the last character goes whole
            {"", -1, "", "aaaa" + Repeat("😀", 63), "aaaa" + Repeat("😀", 62)},  // 256 with 4-byte characters
            {e127, -1, Q("é"), "", e127},                                     // typing past the end does nothing
            {e127, -1, "a", "", e127 + "a"},                                     // the 255th byte still goes in
            {e127, 0, "", "ab", "a" + e127},                                     // pasted in front: the rest stays
        };
        for (const Case& c : cases) {
            init();
            CSettings page(nullptr, *session_);
            QTRY_VERIFY(page.listsFilled());
            SetFields(page.nameEdit(), page.serialEdit(), page.emailEdit(), "", kSerial, kEmail);
            page.nameEdit()->setText(c.start);
            page.nameEdit()->setCursorPosition(c.cursor >= 0 ? c.cursor : static_cast<int>(c.start.size()));
            Type(page.nameEdit(), c.typed);
            if (!c.inserted.isEmpty()) page.nameEdit()->insert(c.inserted);
            QCOMPARE(page.nameEdit()->text(), c.expected);
            QVERIFY(page.nameEdit()->text().toUtf8().size() <= 255);
            BoxRecorder boxes;
            page.SaveFields();
            QVERIFY(boxes.boxes.empty());
            QCOMPARE(QString::fromUtf8(platform::ReadStoredSettings().registration.registrar), c.expected);
        }
    }

    void EnterInAFieldRunsNothing() {
        StoreRegistration(kName, kSerial, kEmail);
        const QString before = StoreBytes();
        QWidget window;
        auto* page = new CSettings(&window, *session_);
        window.show();
        QTRY_VERIFY(page->listsFilled());
        BoxRecorder boxes;
        for (QLineEdit* edit : {page->nameEdit(), page->serialEdit(), page->emailEdit()}) {
            edit->setFocus();
            QTest::keyClick(edit, Qt::Key_Return);
            QTest::keyClick(edit, Qt::Key_Enter);
        }
        QCoreApplication::processEvents();
        QVERIFY(boxes.boxes.empty());
        QCOMPARE(StoreBytes(), before);
    }

private:
    TempDir settingsDir_;
    TempDir work_;
    Service service_;
    std::unique_ptr<engine::Session> session_;
};

QTEST_MAIN(SettingsTest)
#include "settings_test.moc"
