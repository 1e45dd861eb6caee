#pragma once
#include <array>
#include <string>

#include "ui/dialog_sk.h"

class CAbout;
class CClickableStatic;
class CPersonal;
class CSettings;
class CSynchronise;
class CTransparentStatic;
class CVyoOnline;
namespace engine {
class Session;
}

// The main window: five page labels along the top, one page shown below them, Exit, the help
// hotspot and the product text. It closes only through Exit (result 1): Enter, Escape and the
// window manager's close do nothing. The Settings page saves its fields whenever the window
// hides it (also when its own label is clicked again) and once on Exit.
class CTabDialog : public CDialogSK {
    Q_OBJECT
public:
    // Page indices; on screen the labels run Synchronize, Device, Settings, Information, About.
    enum Page : int { kSynchronisePage = 0, kPersonalPage = 1, kAboutPage = 2, kSettingsPage = 3, kInformationPage = 4 };
    static constexpr int kPageCount = 5;

    explicit CTabDialog(engine::Session& session);
    ~CTabDialog() override;
    CTabDialog(const CTabDialog&) = delete;
    CTabDialog& operator=(const CTabDialog&) = delete;

    void SelectPage(int index);
    void HideAllPages();
    void OpenHelpFile();
    // Saves the Settings page and ends the window with 1; does nothing while work runs.
    void Exit();

    int currentPage() const { return current_; }
    QWidget* page(int index) const { return pages_.at(static_cast<std::size_t>(index)); }
    CClickableStatic* pageLabel(int index) const { return labels_.at(static_cast<std::size_t>(index)); }
    CClickableStatic* exitLabel() const { return exit_; }
    CClickableStatic* helpHotspot() const { return help_; }
    CSynchronise* synchronisePage() const { return synchronise_; }
    CSettings* settingsPage() const { return settings_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void ColourLabels();

    engine::Session& session_;
    std::array<QWidget*, kPageCount> pages_{};
    std::array<CClickableStatic*, kPageCount> labels_{};
    CClickableStatic* exit_ = nullptr;
    CClickableStatic* help_ = nullptr;
    CTransparentStatic* version_ = nullptr;
    CSynchronise* synchronise_ = nullptr;
    CSettings* settings_ = nullptr;
    int current_ = 0;
};
