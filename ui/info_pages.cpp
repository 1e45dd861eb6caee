#include "ui/info_pages.h"

#include <QKeyEvent>
#include <QPushButton>

#include "engine/text_ids.h"
#include "ui/dialog_units.h"
#include "ui/fonts.h"
#include "ui/texts.h"
#include "ui/transparent_static.h"

namespace {

constexpr int kPageBitmap = 146;
constexpr int kInfoBitmap = 152;
const QColor kPureGreen(0, 255, 0);
const QColor kPureRed(255, 0, 0);


}  // namespace

CVyoInfo::CVyoInfo()
    : title_(ui::MakeTitle(this, ui::DluRect(15, 8, 114, 18))),
      text_(ui::MakeSunkenText(this, ui::DluRect(17, 39, 326, 124))),
      button_(ui::MakeButton(this, ui::DluRect(134, 167, 92, 25))) {
    resize(ui::DluSize(364, 210));
    title_->setText(QStringLiteral("Info"));
    button_->setText(QStringLiteral("OK"));
    Skin(kInfoBitmap, kPureRed);
    connect(button_, &QPushButton::clicked, this, [this] { done(1); });
}

int CVyoInfo::ShowInfo(const std::string& title, const std::string& button, const std::string& text) {
    text_->setText(ui::FromOutside(text));
    title_->setText(ui::FromOutside(title));
    button_->setText(ui::FromOutside(button));
    // The template places the dialog at the desktop's origin, not centred.
    move(0, 0);
    button_->setFocus();
    return exec();
}

bool CVyoInfo::CloseResult(int& result) const {
    result = 2;
    return true;
}

void CVyoInfo::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: done(1); return;
    case Qt::Key_Escape: done(2); return;
    default: CDialogSK::keyPressEvent(event);
    }
}

namespace ui {

void InformationDialogs::ShowInformation(const std::string& caption, const std::string& button,
                                         const std::string& text) {
    CVyoInfo dialog;
    dialog.ShowInfo(caption, button, text);
}

CPage::CPage(QWidget* parent) : CDialogSK(parent) {
    resize(DluSize(457, 245));
    Skin(kPageBitmap, kPureGreen);
}

}  // namespace ui

CVyoOnline::CVyoOnline(QWidget* parent, engine::Session& session)
    : CPage(parent),
      session_(session),
      title_(ui::MakeTitle(this, ui::DluRect(15, 8, 114, 18))),
      text_(ui::MakeSunkenText(this, ui::DluRect(19, 55, 405, 130))),
      prev_(ui::MakeButton(this, ui::DluRect(17, 194, 62, 19))),
      next_(ui::MakeButton(this, ui::DluRect(365, 195, 62, 19))) {
    prev_->setEnabled(false);
    next_->setEnabled(false);
    if (session_.OpenInformation(message_)) {
        next_->setEnabled(!message_.atLast);
        text_->setText(ui::FromOutside(message_.text));
    }
    title_->setText(ui::FromOutside(ui::Text(engine::text::kInformation)));
    prev_->setText(ui::FromOutside(ui::Text(engine::text::kPrevButton)));
    next_->setText(ui::FromOutside(ui::Text(engine::text::kNextButton)));
    connect(prev_, &QPushButton::clicked, this, &CVyoOnline::OnPrev);
    connect(next_, &QPushButton::clicked, this, &CVyoOnline::OnNext);
}

CVyoOnline::~CVyoOnline() { session_.CloseInformation(); }

void CVyoOnline::OnPrev() {
    // Past the first there is nothing to show.
    if (!session_.PreviousInformation(message_)) message_.text.clear();
    text_->setText(ui::FromOutside(message_.text));
    prev_->setEnabled(!message_.atFirst);
    next_->setEnabled(true);
}

void CVyoOnline::OnNext() {
    if (!session_.NextInformation(message_)) message_.text.clear();
    text_->setText(ui::FromOutside(message_.text));
    next_->setEnabled(!message_.atLast);
    prev_->setEnabled(true);
}

CAbout::CAbout(QWidget* parent)
    : CPage(parent), title_(ui::MakeTitle(this, ui::DluRect(15, 8, 114, 18))), text_(ui::MakeSunkenText(this, ui::DluRect(19, 53, 404, 152))) {
    text_->setText(ui::FromOutside(ui::Text(engine::text::kAboutText)));
    title_->setText(ui::FromOutside(ui::Text(engine::text::kAbout)));
}
