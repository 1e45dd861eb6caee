#pragma once
#include <memory>

#include "ui/dialog_sk.h"
#include "ui/info_pages.h"

class CClickableStatic;
class CTransparentStatic;
class QComboBox;
class QLineEdit;
class QPushButton;
namespace engine {
class Session;
}

namespace ui {

// The fields both settings dialogs show and store; see settings_pages.cpp.
struct SettingsForm;

// How long the settings dialogs wait after they are up before they fill their lists (the
// window paints first). Tests set 0.
void SetSettingsListPause(int milliseconds);

}  // namespace ui

// The first-run settings dialog: registration data, language, device and the service address
// (the web folder of the server-address file; empty: the built-in one), stored with OK after the
// service at that address accepted a logon with them; the session then uses that address. Its
// texts are the English ones of the program, never translated: it runs before any language is
// loaded.
//
// Run() answers 1 when the data were checked and stored, 2 after Exit (nothing written).
// OK keeps the dialog open, with everything typed, a message and the store (and the session)
// untouched, when a field is empty (181), when the address is no web folder the store takes
// (188 with the reason), when the service refused the logon or could not be reached (the result
// code's text: 132 only for an unknown user; the cause under it), and when the store refused
// the values.
class ISettings : public CDialogSK {
    Q_OBJECT
public:
    explicit ISettings(engine::Session& session);
    ~ISettings() override;
    ISettings(const ISettings&) = delete;
    ISettings& operator=(const ISettings&) = delete;

    int Run();

    QLineEdit* nameEdit() const;
    QLineEdit* serialEdit() const;
    QLineEdit* emailEdit() const;
    QComboBox* languageList() const;
    QComboBox* deviceList() const;
    QLineEdit* addressEdit() const;
    QPushButton* okButton() const { return ok_; }
    QPushButton* exitButton() const { return exit_; }
    CClickableStatic* helpHotspot() const { return help_; }
    // True once the lists have been filled (after the pause, or at the first save).
    bool listsFilled() const;

private:
    void OnOk();
    void OnHelp();

    engine::Session& session_;
    std::unique_ptr<ui::SettingsForm> form_;
    QPushButton* ok_;
    QPushButton* exit_;
    CClickableStatic* help_;
};

// The Settings page of the main window: the same fields in the interface language, and Test
// connection. It has no OK: the main window calls SaveFields when it hides the page and once on
// Exit. A typed change in a field deletes ".\local.cache" (the cache belongs to the old user);
// a list selection the user makes says the change takes effect at the next start.
class CSettings : public ui::CPage {
    Q_OBJECT
public:
    CSettings(QWidget* parent, engine::Session& session);
    ~CSettings() override;
    CSettings(const CSettings&) = delete;
    CSettings& operator=(const CSettings&) = delete;

    // Stores the six values through the session and loads the device profile of the chosen
    // model, without a logon; another service address is resolved at once. A field left empty
    // shows 181 and stores nothing, so does an address the store refuses (188 with the reason);
    // a store that refuses the values says so and the session keeps what it had. Never refuses
    // to let the page go.
    void SaveFields();
    // Saves, then tries a logon with the saved data at the saved address: 161 on success, else
    // the result code's text (132 only for an unknown user) with the cause under it. Nothing is
    // tried when the save stored nothing.
    void OnTestConnection();

    QLineEdit* nameEdit() const;
    QLineEdit* serialEdit() const;
    QLineEdit* emailEdit() const;
    QComboBox* languageList() const;
    QComboBox* deviceList() const;
    QLineEdit* addressEdit() const;
    QPushButton* testButton() const { return test_; }
    bool listsFilled() const;

private:
    bool Save();
    void OnListChosen();

    engine::Session& session_;
    std::unique_ptr<ui::SettingsForm> form_;
    QPushButton* test_;
};
