#include <QMessageBox>
#include <QPushButton>
#include <QtTest>
#include <cstring>
#include <functional>

#include "platform/string_table.h"
#include "service/camera_record.h"
#include "tests/common/temp_dir.h"
#include "tests/ui/session_on.h"
#include "ui/info_pages.h"
#include "ui/message_box.h"
#include "ui/texts.h"
#include "ui/transparent_static.h"

namespace {

using testsupport::TempDir;

// Runs what a modal window shows as soon as it is up, then lets the window go on.
void WhenModal(std::function<void(QWidget*)> act) {
    QTimer::singleShot(0, [act = std::move(act)] {
        QWidget* modal = nullptr;
        for (int i = 0; i < 200 && modal == nullptr; ++i) {
            modal = QApplication::activeModalWidget();
            if (modal == nullptr) QTest::qWait(5);
        }
        QVERIFY(modal != nullptr);
        act(modal);
    });
}

QStringList ButtonTexts(QWidget* box) {
    QStringList texts;
    for (const QPushButton* button : box->findChildren<QPushButton*>()) texts << button->text();
    texts.sort();
    return texts;
}

QPushButton* ButtonNamed(QWidget* box, const QString& text) {
    for (QPushButton* button : box->findChildren<QPushButton*>())
        if (button->text() == text) return button;
    return nullptr;
}

void WriteInfoCache(const std::string& path, int messages) {
    std::string bytes;
    for (int i = 0; i < messages; ++i) {
        service::InfoRecord record{};
        record.identifier = i + 1;
        const std::string text = "message " + std::to_string(i + 1);
        std::memcpy(record.text, text.data(), text.size());
        bytes.append(reinterpret_cast<const char*>(&record), sizeof record);
    }
    testsupport::WriteWholeFile(path, bytes);
}

}  // namespace

class MessagesTest : public QObject {
    Q_OBJECT
private slots:
    void MessageBoxSpeaksTheLanguageAndAnswersOneSixOrSeven() {
        TempDir packs;
        testsupport::WriteWholeFile(packs.file("1031.txt"), "128\tOK\n184\tJa\n185\tNein\n");
        platform::StringTable german;
        german.Load(packs.path(), "1031");

        struct Case {
            const platform::StringTable* language;
            unsigned style;
            QString press;  // a button's text, or "Escape"
            QStringList buttons;
            QMessageBox::Icon icon;
            int expected;
        };
        const Case cases[] = {
            {nullptr, kMbOk, "OK", {"OK"}, QMessageBox::NoIcon, kIdOk},
            {nullptr, kMbOk, "Escape", {"OK"}, QMessageBox::NoIcon, kIdOk},
            {nullptr, kMbYesNo | kMbIconQuestion, "Yes", {"No", "Yes"}, QMessageBox::Question, kIdYes},
            {nullptr, kMbYesNo | kMbIconQuestion, "Escape", {"No", "Yes"}, QMessageBox::Question, kIdNo},
            {&german, kMbYesNo | kMbIconQuestion, "Nein", {"Ja", "Nein"}, QMessageBox::Question, kIdNo},
            {&german, kMbYesNo | kMbIconQuestion, "Ja", {"Ja", "Nein"}, QMessageBox::Question, kIdYes},
        };
        for (const Case& c : cases) {
            ui::SetTexts(c.language);
            WhenModal([&](QWidget* modal) {
                auto* box = qobject_cast<QMessageBox*>(modal);
                QVERIFY(box != nullptr);
                QCOMPARE(ButtonTexts(box), c.buttons);
                QCOMPARE(box->icon(), c.icon);
                QCOMPARE(box->windowTitle(), QString());
                QCOMPARE(box->text(), QStringLiteral("<b>x</b>"));
                QCOMPARE(box->textFormat(), Qt::PlainText);
                if (c.press == "Escape")
                    QTest::keyClick(box, Qt::Key_Escape);
                else
                    ButtonNamed(box, c.press)->click();
            });
            QCOMPARE(TranslatedMessageBox(nullptr, "<b>x</b>", "", c.style), c.expected);
        }
        ui::SetTexts(nullptr);
        // Nothing of a box outlives it.
        for (QWidget* window : QApplication::topLevelWidgets()) QVERIFY(qobject_cast<QMessageBox*>(window) == nullptr);
    }

    void InformationDialogShowsTheCallersTextsPlainly() {
        CVyoInfo info;
        WhenModal([&](QWidget* modal) {
            QCOMPARE(modal, static_cast<QWidget*>(&info));
            QCOMPARE(info.titleLabel()->text(), QStringLiteral("Alert"));
            QCOMPARE(info.button()->text(), QStringLiteral("Fine"));
            QCOMPARE(info.textLabel()->textFormat(), Qt::PlainText);
            QCOMPARE(info.textLabel()->text(), QStringLiteral("<img src=\"http://127.0.0.1/x.png\"> <b>x</b>"));
            // Rounded corners: the picture's pure red is cut away, the middle shows.
            if (!info.background().isNull()) {
                QVERIFY(!info.mask().contains(QPoint(0, 0)));
                QVERIFY(info.mask().contains(info.rect().center()));
            }
            info.button()->click();
        });
        QCOMPARE(info.ShowInfo("Alert", "Fine", "<img src=\"http://127.0.0.1/x.png\"> <b>x</b>"), 1);
        QVERIFY(!info.isVisible());
    }

    void InformationalPagePagesThroughTheCache() {
        struct Case {
            int messages;  // -1: no file; 0: an empty file
            QStringList walk;  // "N" next, "P" prev; after each, the text and the buttons
            QStringList expected;
        };
        const Case cases[] = {
            {-1, {}, {"|off|off"}},
            {0, {}, {"|off|off"}},
            {1, {}, {"message 1|off|off"}},
            {3, {"N", "N", "P", "P"},
             {"message 1|off|on", "message 2|on|on", "message 3|on|off", "message 2|on|on", "message 1|off|on"}},
        };
        for (const Case& c : cases) {
            TempDir folder;
            if (c.messages >= 0) WriteInfoCache(folder.file("info.cache"), c.messages);
            const auto session = uitest::SessionOn(folder.path());
            CVyoOnline page(nullptr, *session);
            auto state = [&] {
                return page.textLabel()->text() + (page.prevButton()->isEnabled() ? "|on" : "|off") +
                       (page.nextButton()->isEnabled() ? "|on" : "|off");
            };
            QStringList seen{state()};
            for (const QString& step : c.walk) {
                step == "N" ? page.OnNext() : page.OnPrev();
                seen << state();
            }
            QCOMPARE(seen, c.expected);
            if (c.messages == 0) QVERIFY(!testsupport::FileExists(folder.file("info.cache")));
        }
    }
};

QTEST_MAIN(MessagesTest)
#include "messages_test.moc"
