#pragma once
#include <string>

#include "engine/user_feedback.h"

class QWidget;

// Style flags of the old message box that the tool uses, and the button identifiers it answers.
inline constexpr unsigned kMbOk = 0x0;
inline constexpr unsigned kMbOkCancel = 0x1;
inline constexpr unsigned kMbYesNoCancel = 0x3;
inline constexpr unsigned kMbYesNo = 0x4;
inline constexpr unsigned kMbIconStop = 0x10;
inline constexpr unsigned kMbIconQuestion = 0x20;
inline constexpr unsigned kMbIconExclamation = 0x30;
inline constexpr unsigned kMbIconInformation = 0x40;
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// The one message box of the tool: text and caption as given (plain text, never translated
// here), the Yes, OK and No buttons captioned in the interface language (strings 184, 128,
// 185; English when no language is loaded), other buttons as the platform names them. Modal;
// answers the button chosen: 1 OK, 6 Yes, 7 No (2 Cancel where a style has one). Escape and
// the window manager's close answer OK on a one-button box and No on a Yes/No box, never Yes.
// Nothing of the box remains once it returns.
int TranslatedMessageBox(QWidget* owner, const std::string& text, const std::string& caption, unsigned style);

namespace ui {

// The engine's message interface over the message box.
class MessageBoxSink : public engine::IMessageSink {
public:
    int Show(const std::string& text, const std::string& caption, engine::MessageButtons buttons) override;
};

}  // namespace ui
