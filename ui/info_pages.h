#pragma once
#include <memory>
#include <string>

#include "engine/session.h"
#include "engine/user_feedback.h"
#include "ui/dialog_sk.h"

class CTransparentStatic;
class QPushButton;

// The information dialog: a title, a text and one button, skinned with rounded corners; modal,
// built for one call. The button answers 1; Enter does the same, Escape and the window
// manager's close answer 2.
class CVyoInfo : public CDialogSK {
    Q_OBJECT
public:
    CVyoInfo();
    virtual int ShowInfo(const std::string& title, const std::string& button, const std::string& text);

    CTransparentStatic* titleLabel() const { return title_; }
    CTransparentStatic* textLabel() const { return text_; }
    QPushButton* button() const { return button_; }

protected:
    bool CloseResult(int& result) const override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    CTransparentStatic* title_;
    CTransparentStatic* text_;
    QPushButton* button_;
};

namespace ui {

// The engine's information interface: one information dialog for each call.
class InformationDialogs : public engine::IInformationSink {
public:
    void ShowInformation(const std::string& caption, const std::string& button, const std::string& text) override;
};

// The base of the main window's pages: skinned with the page picture, and a drag that starts
// on a page moves nothing.
class CPage : public CDialogSK {
    Q_OBJECT
public:
    explicit CPage(QWidget* parent);
};

}  // namespace ui

// The Informational page: Prev and Next through the messages the service sent, read through
// the session from info.cache once, when the page is created. A missing or empty cache leaves the text empty and
// both buttons disabled (an empty file is deleted); later messages show at the next start.
class CVyoOnline : public ui::CPage {
    Q_OBJECT
public:
    CVyoOnline(QWidget* parent, engine::Session& session);
    ~CVyoOnline() override;
    CVyoOnline(const CVyoOnline&) = delete;
    CVyoOnline& operator=(const CVyoOnline&) = delete;

    void OnPrev();
    void OnNext();

    CTransparentStatic* textLabel() const { return text_; }
    QPushButton* prevButton() const { return prev_; }
    QPushButton* nextButton() const { return next_; }

private:
    engine::Session& session_;
    engine::InformationMessage message_;
    CTransparentStatic* title_;
    CTransparentStatic* text_;
    QPushButton* prev_;
    QPushButton* next_;
};

// The About page: a title and the About text, word-wrapped in its sunken label.
class CAbout : public ui::CPage {
    Q_OBJECT
public:
    explicit CAbout(QWidget* parent);

    CTransparentStatic* textLabel() const { return text_; }

private:
    CTransparentStatic* title_;
    CTransparentStatic* text_;
};
