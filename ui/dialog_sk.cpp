#include "ui/dialog_sk.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <QWindow>
#include <vector>

CDialogSK::CDialogSK(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    if (parent == nullptr) setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
}

CDialogSK::~CDialogSK() {
    if (loop_ != nullptr) loop_->exit(result_);
}

void CDialogSK::EnableDragMove(bool on) { dragMove_ = on; }

bool CDialogSK::LoadBackground(int bitmapId) {
    return SetBackground(QImage(QStringLiteral(":/artwork/%1.bmp").arg(bitmapId)));
}

bool CDialogSK::SetBackground(const QImage& picture) {
    picture_ = picture.isNull() ? QImage() : picture.convertToFormat(QImage::Format_RGB32);
    UpdateMask();
    update();
    return !picture_.isNull();
}

void CDialogSK::SetBackgroundMode(int mode) {
    mode_ = mode;
    if (mode_ == kFitWindow && !picture_.isNull()) resize(picture_.size());
    UpdateMask();
    update();
}

bool CDialogSK::SetColourKey(QColor colour, bool on) {
    keyOn_ = on;
    key_ = colour;
    UpdateMask();
    update();
    return true;
}

void CDialogSK::PaintPicture(QPainter& painter, QSize area) const {
    const int w = area.width();
    const int h = area.height();
    const int bw = picture_.width();
    const int bh = picture_.height();
    switch (mode_) {
    case kTile:
        for (int y = 0; y < h; y += bh)
            for (int x = 0; x < w; x += bw) painter.drawImage(QPoint(x, y), picture_);
        break;
    case kCentre:
        painter.drawImage(QPoint((w - bw) / 2, (h - bh) / 2), picture_);
        break;
    case kStretch:
        // Nearest pixel, as the old stretch copy did: the mask is computed the same way, so a
        // keyed pixel is cut exactly where it is painted.
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter.drawImage(QRect(0, 0, w, h), picture_);
        break;
    default:  // top-left and fit-window
        painter.drawImage(QPoint(0, 0), picture_);
        break;
    }
}

void CDialogSK::paintEvent(QPaintEvent* /*event*/) {
    if (picture_.isNull()) return;
    QPainter painter(this);
    PaintPicture(painter, size());
}

void CDialogSK::UpdateMask() {
    if (!keyOn_ || picture_.isNull() || width() <= 0 || height() <= 0) {
        clearMask();
        return;
    }
    // The painted picture, not the bitmap, decides: in stretch or tile mode a keyed pixel
    // lands at a different place. Areas the picture does not cover keep the default colour
    // and stay visible.
    QImage painted(size(), QImage::Format_RGB32);
    painted.fill(palette().color(backgroundRole()));
    {
        QPainter painter(&painted);
        PaintPicture(painter, size());
    }
    const QRgb key = key_.rgb() & RGB_MASK;
    // The runs are collected first and handed over at once, in the banded order a region keeps
    // (rows top to bottom, runs left to right): joining them one by one costs a copy of the
    // region each time, which held the window's thread for tens of milliseconds per dialog.
    std::vector<QRect> runs;
    for (int y = 0; y < painted.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(painted.constScanLine(y));
        int x = 0;
        while (x < painted.width()) {
            while (x < painted.width() && (row[x] & RGB_MASK) == key) ++x;
            const int start = x;
            while (x < painted.width() && (row[x] & RGB_MASK) != key) ++x;
            if (x > start) runs.emplace_back(start, y, x - start, 1);
        }
    }
    QRegion shown;
    shown.setRects(runs.data(), static_cast<int>(runs.size()));
    setMask(shown);
}

void CDialogSK::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    UpdateMask();
    update();
}

void CDialogSK::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    // A page takes the press so that its parent never starts moving; the page itself is a
    // child and cannot move.
    event->accept();
    if (!dragMove_ || !isWindow()) return;
    QWindow* handle = windowHandle();
    manualMove_ = handle == nullptr || !handle->startSystemMove();
    pressOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void CDialogSK::mouseMoveEvent(QMouseEvent* event) {
    // Without a window manager that moves windows (offscreen, some X servers), move by hand.
    if (manualMove_ && (event->buttons() & Qt::LeftButton) != 0) {
        move(event->globalPosition().toPoint() - pressOffset_);
        event->accept();
        return;
    }
    QWidget::mouseMoveEvent(event);
}

void CDialogSK::mouseReleaseEvent(QMouseEvent* event) {
    manualMove_ = false;
    QWidget::mouseReleaseEvent(event);
}

bool CDialogSK::CloseResult(int& /*result*/) const { return false; }

void CDialogSK::closeEvent(QCloseEvent* event) {
    int result = 0;
    if (loop_ != nullptr && CloseResult(result)) {
        done(result);
        event->accept();
        return;
    }
    event->ignore();
}

int CDialogSK::exec() {
    setWindowModality(Qt::ApplicationModal);
    show();
    raise();
    activateWindow();
    QEventLoop loop;
    loop_ = &loop;
    result_ = 0;
    loop.exec(QEventLoop::DialogExec);
    loop_ = nullptr;
    hide();
    return result_;
}

void CDialogSK::done(int result) {
    result_ = result;
    if (loop_ != nullptr) loop_->exit(result);
}

void CDialogSK::Skin(int bitmapId, QColor key) {
    EnableDragMove(true);
    LoadBackground(bitmapId);
    SetBackgroundMode(kStretch);
    SetColourKey(key, true);
}
