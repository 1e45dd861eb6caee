#pragma once
// Answers every modal window that opens while the code under test runs, and keeps what each
// said: "info:<title>:<text>", "box:<caption>:<text>", and whatever the handler of other
// windows records.
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "ui/info_pages.h"
#include "ui/transparent_static.h"

namespace uitest {

class ModalAnswers : public QObject {
public:
    using Other = std::function<void(QWidget* window, QStringList& seen)>;

    // onInfo runs while an information dialog is on the screen, before it is answered; other
    // answers any other modal window.
    explicit ModalAnswers(std::function<void()> onInfo = {}, Other other = {})
        : onInfo_(std::move(onInfo)), other_(std::move(other)) {
        connect(&timer_, &QTimer::timeout, this, [this] { Answer(); });
        timer_.start(20);
    }
    QStringList seen;

private:
    void Answer() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible()) return;
        if (auto* info = dynamic_cast<CVyoInfo*>(modal)) {
            seen << "info:" + info->titleLabel()->text() + ":" + info->textLabel()->text();
            if (onInfo_) onInfo_();
            info->button()->click();
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            seen << "box:" + box->windowTitle() + ":" + box->text();
            box->buttons().front()->click();
        } else if (other_) {
            other_(modal, seen);
        }
    }

    std::function<void()> onInfo_;
    Other other_;
    QTimer timer_;
};

}  // namespace uitest
