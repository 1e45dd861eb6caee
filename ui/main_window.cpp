#include "ui/main_window.h"

#include <QKeyEvent>
#include <QPainter>

#include "engine/session.h"
#include "engine/text_ids.h"
#include "ui/busy.h"
#include "ui/dialog_units.h"
#include "ui/info_pages.h"
#include "ui/language_table.h"
#include "ui/personal_page.h"
#include "ui/settings_pages.h"
#include "ui/synchronise_page.h"
#include "ui/texts.h"
#include "ui/transparent_static.h"

namespace {

constexpr int kMainBitmap = 153;
const QColor kPureGreen(0, 255, 0);
const char* const kWindowTitle = "Zarnik Tool";

struct LabelPlace {
    int x, y, width, height;
    unsigned text;
};
// By page index: Synchronize, Device, About, Settings, Information.
constexpr std::array<LabelPlace, CTabDialog::kPageCount> kPageLabels{{
    {30, 24, 53, 11, engine::text::kSynchronise},
    {109, 23, 53, 11, engine::text::kDevice},
    {368, 23, 53, 11, engine::text::kAbout},
    {200, 23, 53, 11, engine::text::kSettings},
    {285, 22, 53, 11, engine::text::kInformation},
}};

CClickableStatic* CentredLabel(QWidget* parent, QRect where) {
    auto* label = new CClickableStatic(parent);
    label->setGeometry(where);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

}  // namespace

CTabDialog::CTabDialog(engine::Session& session) : session_(session) {
    resize(ui::DluSize(458, 301));
    move(0, 0);  // the template places the window at the desktop origin, not centred
    setWindowTitle(QString::fromLatin1(kWindowTitle));

    // Pages in index order, each hidden until selected.
    synchronise_ = new CSynchronise(this, session);
    pages_[kSynchronisePage] = synchronise_;
    pages_[kPersonalPage] = new CPersonal(this, session);
    pages_[kAboutPage] = new CAbout(this);
    settings_ = new CSettings(this, session);
    pages_[kSettingsPage] = settings_;
    pages_[kInformationPage] = new CVyoOnline(this, session);
    const QRect pageArea = ui::DluRect(0, 42, 457, 245);
    for (QWidget* page : pages_) {
        page->setGeometry(pageArea);
        page->hide();
    }

    for (int i = 0; i < kPageCount; ++i) {
        const LabelPlace& place = kPageLabels.at(static_cast<std::size_t>(i));
        CClickableStatic* label = CentredLabel(this, ui::DluRect(place.x, place.y, place.width, place.height));
        label->setText(ui::FromOutside(ui::Text(place.text)));
        connect(label, &CClickableStatic::clicked, this, [this, i] {
            if (!ui::IsBusy()) SelectPage(i);
        });
        labels_.at(static_cast<std::size_t>(i)) = label;
    }
    help_ = new CClickableStatic(this);
    help_->setGeometry(ui::DluRect(428, 0, 20, 14));
    help_->setToolTip(QStringLiteral("Help"));
    help_->setCursor(Qt::PointingHandCursor);
    connect(help_, &CClickableStatic::clicked, this, [this] {
        if (!ui::IsBusy()) OpenHelpFile();
    });
    exit_ = CentredLabel(this, ui::DluRect(409, 290, 43, 9));
    exit_->setText(ui::FromOutside(ui::Text(engine::text::kExitButton)));
    exit_->SetTextColour(Qt::white);
    connect(exit_, &CClickableStatic::clicked, this, &CTabDialog::Exit);
    version_ = new CTransparentStatic(this);
    version_->setGeometry(ui::DluRect(3, 287, 82, 12));
    version_->setText(QString::fromLatin1(engine::Session::ProductText()));
    version_->SetTextColour(Qt::white);
    for (CClickableStatic* label : labels_) label->setCursor(Qt::PointingHandCursor);
    exit_->setCursor(Qt::PointingHandCursor);

    pages_[kSynchronisePage]->show();
    current_ = kSynchronisePage;
    ColourLabels();
    Skin(kMainBitmap, kPureGreen);
}

CTabDialog::~CTabDialog() = default;

void CTabDialog::ColourLabels() {
    for (int i = 0; i < kPageCount; ++i)
        labels_.at(static_cast<std::size_t>(i))->SetTextColour(i == current_ ? Qt::black : Qt::white);
}

void CTabDialog::HideAllPages() {
    // The Settings page keeps what the user typed only when it is saved; hiding it is the moment.
    if (settings_ != nullptr && settings_->isVisible()) settings_->SaveFields();
    for (QWidget* page : pages_) page->hide();
}

void CTabDialog::SelectPage(int index) {
    if (index < 0 || index >= kPageCount) return;
    current_ = index;
    ColourLabels();
    HideAllPages();
    pages_.at(static_cast<std::size_t>(index))->show();
    update();
}

void CTabDialog::OpenHelpFile() {
    // A missing page or opener is no error of the tool: nothing is said.
    ui::OpenWithDesktop(ui::HelpPagePath(session_.language()));
}

void CTabDialog::Exit() {
    // Work under way belongs to this window's pages: it ends first, and Exit waits for the user.
    if (ui::IsBusy()) return;
    // Whatever page shows: a Settings page left with a refused save still holds what the user
    // typed, and this is the last chance to keep it.
    if (settings_ != nullptr) settings_->SaveFields();
    done(1);
}

void CTabDialog::paintEvent(QPaintEvent* event) {
    CDialogSK::paintEvent(event);
    // The current page's label is black; a light tab behind it makes the choice plain at a glance
    // on the picture's blue tabs, where black and white text are otherwise equally quiet.
    const QRect tab = labels_.at(static_cast<std::size_t>(current_))->geometry();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(226, 238, 251));
    painter.drawRoundedRect(QRectF(tab).adjusted(0.5, 0.5, -0.5, -0.5), tab.height() / 2.0, tab.height() / 2.0);
}

void CTabDialog::keyPressEvent(QKeyEvent* event) {
    // Enter and Escape end nothing here: the window closes only through Exit.
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    CDialogSK::keyPressEvent(event);
}
