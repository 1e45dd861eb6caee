#include "ui/info_pages.h"

#include <QKeyEvent>
#include <QPushButton>

#include "engine/app_config.h"
#include "service/service_client.h"
#include "ui/dialog_units.h"
#include "ui/fonts.h"
#include "ui/texts.h"
#include "ui/transparent_static.h"

namespace {

constexpr int kPageBitmap = 146;
constexpr int kInfoBitmap = 152;
const QColor kPureGreen(0, 255, 0);
const QColor kPureRed(255, 0, 0);

constexpr unsigned kInformationTitle = 104;
constexpr unsigned kAboutText = 102;
constexpr unsigned kAboutTitle = 103;
constexpr unsigned kPrevText = 182;
constexpr unsigned kNextText = 183;

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

CVyoOnline::CVyoOnline(QWidget* parent, const AppConfig& config, const platform::WorkFolder& folder)
    : CPage(parent),
      client_(std::make_unique<CServiceClient>(folder)),
      title_(ui::MakeTitle(this, ui::DluRect(15, 8, 114, 18))),
      text_(ui::MakeSunkenText(this, ui::DluRect(19, 55, 405, 130))),
      prev_(ui::MakeButton(this, ui::DluRect(17, 194, 62, 19))),
      next_(ui::MakeButton(this, ui::DluRect(365, 195, 62, 19))) {
    prev_->setEnabled(false);
    next_->setEnabled(false);
    client_->SetBaseUrl(config.baseUrl);

    std::int32_t identifier = 0;
    char text[sizeof(service::InfoRecord::text)] = {};
    if (client_->OpenInfoCache(identifier, text) == service::InfoCacheResult::kDone) {
        if (client_->info_count() >= 2) next_->setEnabled(true);
        text_->setText(ui::FromOutside(text));
    }
    title_->setText(ui::FromOutside(ui::Text(kInformationTitle)));
    prev_->setText(ui::FromOutside(ui::Text(kPrevText)));
    next_->setText(ui::FromOutside(ui::Text(kNextText)));
    connect(prev_, &QPushButton::clicked, this, &CVyoOnline::OnPrev);
    connect(next_, &QPushButton::clicked, this, &CVyoOnline::OnNext);
}

CVyoOnline::~CVyoOnline() = default;

void CVyoOnline::OnPrev() {
    char text[sizeof(service::InfoRecord::text)] = {};
    bool first = false;
    bool atFirst = false;
    client_->PreviousInfoRecord(text, first, atFirst);
    text_->setText(ui::FromOutside(text));
    prev_->setEnabled(!atFirst);
    if (!first) next_->setEnabled(true);
}

void CVyoOnline::OnNext() {
    char text[sizeof(service::InfoRecord::text)] = {};
    bool atLast = false;
    bool second = false;
    client_->NextInfoRecord(text, atLast, second);
    text_->setText(ui::FromOutside(text));
    next_->setEnabled(!atLast);
    if (!second) prev_->setEnabled(true);
}

CAbout::CAbout(QWidget* parent)
    : CPage(parent), title_(ui::MakeTitle(this, ui::DluRect(15, 8, 114, 18))), text_(ui::MakeSunkenText(this, ui::DluRect(19, 53, 404, 152))) {
    text_->setText(ui::FromOutside(ui::Text(kAboutText)));
    title_->setText(ui::FromOutside(ui::Text(kAboutTitle)));
}
