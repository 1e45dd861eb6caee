#pragma once
#include "ui/info_pages.h"

class CTransparentStatic;
class QPushButton;
namespace engine {
class Session;
}

// The Synchronise page: what the device holds beside what the PC and the service hold, and the
// button that synchronises. Both procedures are the session's (the headless tool runs the same);
// the page only shows, and both run beside the window (ui::RunBeside), returning when done. A
// refresh never shows a message box; it leaves the synchronise button enabled exactly when the
// service answered and the device could be read or a full retrieval is due. While either runs,
// the page's clicks do nothing.
class CSynchronise : public ui::CPage {
    Q_OBJECT
public:
    CSynchronise(QWidget* parent, engine::Session& session);
    ~CSynchronise() override;
    CSynchronise(const CSynchronise&) = delete;
    CSynchronise& operator=(const CSynchronise&) = delete;

    void RefreshDeviceAndServerInfo(bool initial);
    void SynchroniseWithServer();

    CTransparentStatic* deviceBox() const { return deviceBox_; }
    CTransparentStatic* pcBox() const { return pcBox_; }
    QPushButton* synchroniseButton() const { return synchronise_; }
    QPushButton* refreshButton() const { return refresh_; }

protected:
    // The page's own deferred message: the first refresh, once the main window is up.
    Q_INVOKABLE void InitialRefresh() { RefreshDeviceAndServerInfo(true); }
    void paintEvent(QPaintEvent* event) override;

private:
    engine::Session& session_;
    CTransparentStatic* title_;
    CTransparentStatic* deviceHeading_;
    CTransparentStatic* pcHeading_;
    CTransparentStatic* deviceBox_;
    CTransparentStatic* pcBox_;
    QPushButton* synchronise_;
    QPushButton* refresh_;
};
