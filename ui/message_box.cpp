#include "ui/message_box.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <vector>

#include "engine/text_ids.h"
#include "ui/texts.h"

namespace {


QString Caption(unsigned id) { return QString::fromStdString(ui::Text(id)); }

QMessageBox::Icon IconFor(unsigned style) {
    switch (style & 0xF0U) {
    case kMbIconStop: return QMessageBox::Critical;
    case kMbIconQuestion: return QMessageBox::Question;
    case kMbIconExclamation: return QMessageBox::Warning;
    case kMbIconInformation: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
    }
}

}  // namespace

int TranslatedMessageBox(QWidget* owner, const std::string& text, const std::string& caption, unsigned style) {
    QMessageBox box(owner);
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromStdString(text));
    box.setWindowTitle(QString::fromStdString(caption));
    box.setIcon(IconFor(style));

    struct Choice {
        QAbstractButton* button;
        int result;
    };
    std::vector<Choice> choices;
    auto add = [&](QMessageBox::StandardButton which, int result, const QString& label) {
        QAbstractButton* button = box.addButton(which);
        if (!label.isNull()) button->setText(label);
        choices.push_back({button, result});
        return button;
    };
    QAbstractButton* escape = nullptr;
    switch (style & 0xFU) {
    case kMbOkCancel:
        add(QMessageBox::Ok, kIdOk, Caption(engine::text::kOkButton));
        escape = add(QMessageBox::Cancel, kIdCancel, QString());
        break;
    case kMbYesNoCancel:
        add(QMessageBox::Yes, kIdYes, Caption(engine::text::kYesButton));
        add(QMessageBox::No, kIdNo, Caption(engine::text::kNoButton));
        escape = add(QMessageBox::Cancel, kIdCancel, QString());
        break;
    case kMbYesNo:
        add(QMessageBox::Yes, kIdYes, Caption(engine::text::kYesButton));
        escape = add(QMessageBox::No, kIdNo, Caption(engine::text::kNoButton));
        break;
    default:
        escape = add(QMessageBox::Ok, kIdOk, Caption(engine::text::kOkButton));
        break;
    }
    box.setEscapeButton(escape);
    box.setDefaultButton(qobject_cast<QPushButton*>(choices.front().button));
    box.exec();

    const QAbstractButton* clicked = box.clickedButton();
    for (const Choice& choice : choices)
        if (choice.button == clicked) return choice.result;
    for (const Choice& choice : choices)
        if (choice.button == escape) return choice.result;
    return kIdOk;
}

namespace ui {

int MessageBoxSink::Show(const std::string& text, const std::string& caption, engine::MessageButtons buttons) {
    return TranslatedMessageBox(nullptr, text, caption,
                                buttons == engine::MessageButtons::kYesNo ? kMbYesNo | kMbIconQuestion : kMbOk);
}

}  // namespace ui
