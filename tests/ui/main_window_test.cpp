#include <QLineEdit>
#include <QtTest>
#include <filesystem>

#include "platform/settings.h"
#include "temp_dir.h"
#include "tests/ui/modal_answers.h"
#include "tests/ui/session_on.h"
#include "ui/main_window.h"
#include "ui/settings_pages.h"
#include "ui/transparent_static.h"

namespace {

struct Window {
    testsupport::TempDir work;
    testsupport::TempDir opened;
    std::unique_ptr<engine::Session> session;
    std::unique_ptr<CTabDialog> window;

    explicit Window(const char* language = "1033") {
        setenv("ZARNIK_SETTINGS", work.file("settings.reg").c_str(), 1);
        const std::string opener = opened.file("opener");
        testsupport::WriteWholeFile(opener, "#!/bin/sh\necho \"$1\" >> " + opened.file("log") + "\n");
        std::filesystem::permissions(opener, std::filesystem::perms::owner_all);
        setenv("ZARNIK_OPENER", opener.c_str(), 1);
        session = uitest::SessionOn(work.path());
        session->ChooseLanguage(language);
        ui::SetSettingsListPause(0);
        window = std::make_unique<CTabDialog>(*session);
        window->show();
        QCoreApplication::processEvents();
    }
    QString Colours() const {
        QString colours;
        for (int i = 0; i < CTabDialog::kPageCount; ++i)
            colours += window->pageLabel(i)->textColour() == Qt::black ? 'B' : 'w';
        return colours;
    }
    QString Shown() const {
        QString shown;
        for (int i = 0; i < CTabDialog::kPageCount; ++i) shown += window->page(i)->isVisible() ? '1' : '0';
        return shown;
    }
    // What the opener was asked to open; it runs on its own, so this waits for it a while.
    std::string Opened() {
        for (int waited = 0; waited < 10000 && !testsupport::FileExists(opened.file("log")); waited += 50)
            QTest::qWait(50);
        QTest::qWait(100);
        return testsupport::FileExists(opened.file("log")) ? testsupport::ReadWholeFile(opened.file("log")) : "";
    }
};

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void LabelsSwitchPagesAndKeysCloseNothing() {
        Window w;
        QCOMPARE(w.Shown(), QStringLiteral("10000"));
        QCOMPARE(w.Colours(), QStringLiteral("Bwwww"));
        QCOMPARE(w.window->pageLabel(CTabDialog::kPersonalPage)->text(), QStringLiteral("Device"));
        QTest::mouseClick(w.window->pageLabel(CTabDialog::kSettingsPage), Qt::LeftButton);
        QCOMPARE(w.Shown(), QStringLiteral("00010"));
        QCOMPARE(w.Colours(), QStringLiteral("wwwBw"));
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
            QTest::keyClick(w.window.get(), key);
            QTest::keyClick(w.window->settingsPage()->emailEdit(), key);
        }
        w.window->close();
        QVERIFY(w.window->isVisible());

        // Leaving the Settings page saves it, and so does Exit, once: an incomplete page says so
        // each time it is saved.
        w.window->settingsPage()->emailEdit()->clear();
        uitest::ModalAnswers answers;
        QTest::mouseClick(w.window->pageLabel(CTabDialog::kSettingsPage), Qt::LeftButton);
        QTRY_COMPARE(answers.seen.size(), 1);
        QTest::mouseClick(w.window->exitLabel(), Qt::LeftButton);
        QTest::qWait(100);
        QCOMPARE(answers.seen, (QStringList{2, "box:Error:Registration information incomplete !"}));
    }

    // Exit keeps what the Settings page holds whichever page shows, and says so when it cannot.
    void ExitSavesTheSettingsPageFromAnyPage() {
        struct Case {
            int shown;
            const char* email;
            QStringList boxes;
        };
        const Case cases[] = {
            {CTabDialog::kSynchronisePage, "new@example.org", {}},
            {CTabDialog::kSettingsPage, "new@example.org", {}},
            {CTabDialog::kAboutPage, "", {"box:Error:Registration information incomplete !"}},
        };
        for (const Case& c : cases) {
            Window w;
            CSettings* settings = w.window->settingsPage();
            QTRY_VERIFY(settings->listsFilled());
            settings->nameEdit()->setText(QStringLiteral("Jan"));
            settings->serialEdit()->setText(QStringLiteral("1234"));
            settings->emailEdit()->setText(QString::fromLatin1(c.email));
            w.window->SelectPage(c.shown);
            uitest::ModalAnswers answers;
            w.window->Exit();
            QCOMPARE(answers.seen, c.boxes);
            QCOMPARE(QString::fromLatin1(platform::ReadStoredSettings().registration.email), QString::fromLatin1(c.email));
        }
    }

    void HelpOpensThePageOfTheLanguage() {
        struct Case {
            const char* language;
            const char* page;
        };
        for (const Case& c : {Case{"1031", "/help/german.html"}, Case{"1029", "/help/english.html"},
                              Case{"9999", "/help/english.html"}}) {
            Window w(c.language);
            QTest::mouseClick(w.window->helpHotspot(), Qt::LeftButton);
            const std::string opened = w.Opened();
            QVERIFY2(opened.size() > std::strlen(c.page) && opened.find(c.page) == opened.size() - std::strlen(c.page) - 1,
                     opened.c_str());
        }
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
