// Every text of every language fits the control that shows it: the windows are built in each
// language and each label and button is measured with the font it paints in.
#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "platform/string_table.h"
#include "temp_dir.h"
#include "tests/ui/session_on.h"
#include "ui/info_pages.h"
#include "ui/main_window.h"
#include "ui/settings_pages.h"
#include "ui/synchronise_page.h"
#include "ui/texts.h"
#include "ui/transparent_static.h"

namespace {

// What does not fit in one widget, or nothing.
QString Overflow(const QWidget& widget, const QString& text, QRect room, int flags) {
    if (text.isEmpty() || room.isEmpty()) return {};
    const QFontMetrics metrics(widget.font());
    const QRect needed = metrics.boundingRect(QRect(0, 0, room.width(), 100000), flags, text);
    if (needed.width() <= room.width() && needed.height() <= room.height()) return {};
    return QStringLiteral("%1 \"%2\": needs %3x%4, has %5x%6")
        .arg(widget.metaObject()->className(), text.left(40))
        .arg(needed.width()).arg(needed.height()).arg(room.width()).arg(room.height());
}

QStringList Overflows(const QWidget& window) {
    QStringList found;
    for (const QLabel* label : window.findChildren<QLabel*>()) {
        const int wrap = label->wordWrap() ? Qt::TextWordWrap : 0;
        const QString problem = Overflow(*label, label->text(), label->contentsRect().adjusted(label->margin(), label->margin(), -label->margin(), -label->margin()), wrap | int(label->alignment()));
        if (!problem.isEmpty()) found << problem;
    }
    for (const QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
        // The bevel and the platform's padding take a few pixels on each side.
        const QString problem = Overflow(*button, button->text(), button->rect().adjusted(4, 2, -4, -2), Qt::AlignCenter);
        if (!problem.isEmpty()) found << problem;
    }
    return found;
}

QStringList Locales() {
    QStringList locales;
    for (const QString& name : QDir(QString::fromStdString(platform::LanguagePackFolder())).entryList({"*.txt"}))
        locales << name.chopped(4);
    return locales;
}

}  // namespace

class FitTest : public QObject {
    Q_OBJECT
private slots:
    void EveryTextFitsItsControlInEveryLanguage() {
        const QStringList locales = Locales();
        QVERIFY(locales.size() >= 2);
        QStringList problems;
        for (const QString& locale : locales) {
            platform::StringTable texts;
            texts.Load(platform::LanguagePackFolder(), locale.toStdString());
            ui::SetTexts(&texts);
            testsupport::TempDir work;
            const auto session = uitest::SessionOn(work.path());
            CTabDialog window(*session);
            ISettings firstRun(*session);  // English, whatever the language
            QCoreApplication::processEvents();
            // Hidden pages are measured too: their controls have their places all the same.
            for (const QString& p : Overflows(window)) problems << locale + ": " + p;
            for (const QString& p : Overflows(firstRun)) problems << locale + " first run: " + p;
            // The texts with numbers, filled as large as they come, in the boxes that show them.
            CSynchronise* sync = window.synchronisePage();
            sync->deviceBox()->SetText(platform::FormatText(texts.Text(170), {}, {1234567, 123456}));
            // With ".\osm.cache" the PC box ends with the OpenStreetMap line (text 190).
            for (const bool withOsm : {false, true}) {
                sync->pcBox()->SetText(platform::FormatText(texts.Text(171), {"2026-12-07"}, {1234567, 123456, 123456}) +
                                       (withOsm ? platform::FormatNumbers(texts.Text(190), {1234567}) : std::string()));
                for (const QString& p : Overflows(*sync)) problems << locale + " boxes: " + p;
            }
            for (unsigned summary : {155U, 156U, 175U}) {
                CVyoInfo info;
                info.textLabel()->SetText(platform::FormatText(texts.Text(summary), {}, {1234567, 123456, 123456, 1234567}) +
                                          "\n\n" + platform::FormatNumbers(texts.Text(190), {1234567}));
                info.titleLabel()->SetText(texts.Text(180));
                info.button()->setText(QString::fromStdString(texts.Text(128)));
                for (const QString& p : Overflows(info)) problems << locale + " info " + QString::number(summary) + ": " + p;
            }
        }
        ui::SetTexts(nullptr);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
    }
};

QTEST_MAIN(FitTest)
#include "fit_test.moc"
