#pragma once
#include <QWidget>

#include "engine/user_feedback.h"

class QLabel;
class QProgressBar;

// The progress window of long operations: a title line and a step line, centred, in the title
// font; no buttons, no owner, no input. It lives on the window's thread (the work beside it
// reaches it through ui::ProgressBeside); every change is painted before the call returns.
// Closing, or destroying the object, takes the window off the screen on every way out.
class CSyncStatus : public QWidget, public engine::IProgressSink {
    Q_OBJECT
public:
    CSyncStatus();
    ~CSyncStatus() override;
    CSyncStatus(const CSyncStatus&) = delete;
    CSyncStatus& operator=(const CSyncStatus&) = delete;

    // Centred on the screen (whatever the main window's place) and brought to the front.
    void Show() override;
    void SetTitle(const std::string& text) override;
    void SetStep(const std::string& text) override;
    void Repaint() override;
    void Close() override;
    // The bar under the step line: how far the transfer under way has come; it goes when the
    // transfer ends.
    void ShowTransfer(int percent, bool finished);

    QString titleText() const;
    // -1 while no bar is shown.
    int transferPercent() const;
    QString stepText() const;
    int paintCount() const { return paints_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* title_;
    QLabel* step_;
    QProgressBar* bar_;
    int paints_ = 0;
};
