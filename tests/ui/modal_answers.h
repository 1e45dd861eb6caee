#pragma once
// Answers every modal window that opens while the code under test runs, and keeps what each
// said: "info:<title>:<text>", "box:<caption>:<text>", "settings", "main".
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "ui/info_pages.h"
#include "ui/main_window.h"
#include "ui/settings_pages.h"
#include "ui/transparent_static.h"

namespace uitest {

class ModalAnswers : public QObject {
public:
    // onInfo runs while an information dialog is on the screen, before it is answered.
    explicit ModalAnswers(std::function<void()> onInfo = {}) : onInfo_(std::move(onInfo)) {
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
        } else if (auto* settings = dynamic_cast<ISettings*>(modal)) {
            seen << "settings";
            settings->done(2);
        } else if (auto* window = dynamic_cast<CTabDialog*>(modal)) {
            seen << "main:" + window->pageLabel(0)->text();
            window->Exit();
        }
    }

    std::function<void()> onInfo_;
    QTimer timer_;
};

}  // namespace uitest
