#include "ui/sync_status.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QScreen>

#include "ui/dialog_units.h"
#include "ui/fonts.h"

namespace {

QLabel* Line(QWidget* parent, QRect where) {
    auto* line = new QLabel(parent);
    line->setGeometry(where);
    line->setFont(ui::TitleFont());
    line->setTextFormat(Qt::PlainText);
    line->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    line->setWordWrap(true);
    return line;
}

}  // namespace

CSyncStatus::CSyncStatus()
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      title_(Line(this, ui::DluRect(59, 7, 221, 24))),
      step_(Line(this, ui::DluRect(14, 46, 311, 25))),
      bar_(new QProgressBar(this)) {
    bar_->setGeometry(ui::DluRect(14, 76, 311, 12));
    bar_->setRange(0, 100);
    bar_->hide();
    setFixedSize(ui::DluSize(339, 97));
    setAttribute(Qt::WA_ShowWithoutActivating, false);
    setWindowTitle(QStringLiteral("Zarnik"));
}

CSyncStatus::~CSyncStatus() { hide(); }

void CSyncStatus::Show() {
    if (const QScreen* screen = QGuiApplication::primaryScreen(); screen != nullptr) {
        QRect place(QPoint(), size());
        place.moveCenter(screen->availableGeometry().center());
        move(place.topLeft());
    }
    show();
    raise();
    activateWindow();
    Repaint();
}

void CSyncStatus::SetTitle(const std::string& text) {
    title_->setText(QString::fromStdString(text));
    Repaint();
}

void CSyncStatus::SetStep(const std::string& text) {
    step_->setText(QString::fromStdString(text));
    Repaint();
}

void CSyncStatus::Repaint() {
    if (isVisible()) repaint();
}

void CSyncStatus::Close() {
    bar_->hide();
    hide();
}

void CSyncStatus::ShowTransfer(int percent, bool finished) {
    bar_->setVisible(!finished);
    bar_->setValue(percent);
    Repaint();
}

int CSyncStatus::transferPercent() const { return bar_->isHidden() ? -1 : bar_->value(); }

QString CSyncStatus::titleText() const { return title_->text(); }
QString CSyncStatus::stepText() const { return step_->text(); }

void CSyncStatus::paintEvent(QPaintEvent* /*event*/) {
    ++paints_;
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
