#pragma once
#include <QElapsedTimer>
#include <QWidget>

#include "engine/user_feedback.h"

class QLabel;

// The progress window of long operations that block the window's thread: a title line and a
// step line, centred, in the title font; no buttons, no owner, no input. Every change is
// painted before the call returns, since no event loop runs while the caller works. Closing,
// or destroying the object, takes the window off the screen on every way out.
class CSyncStatus : public QWidget, public engine::IProgressSink {
    Q_OBJECT
public:
    CSyncStatus();
    ~CSyncStatus() override;
    CSyncStatus(const CSyncStatus&) = delete;
    CSyncStatus& operator=(const CSyncStatus&) = delete;

    // Centred on the screen (whatever the main window's place) and brought to the front; waits
    // briefly until the window is on the screen, so the first texts are seen.
    void Show() override;
    void SetTitle(const std::string& text) override;
    void SetStep(const std::string& text) override;
    void Repaint() override;
    void Close() override;

    QString titleText() const;
    QString stepText() const;
    int paintCount() const { return paints_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void KeepDesktopInformed();

    QLabel* title_;
    QLabel* step_;
    QElapsedTimer sinceEvents_;
    int paints_ = 0;
};
