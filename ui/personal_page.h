#pragma once
#include "ui/info_pages.h"

class CTransparentStatic;
class QPushButton;
namespace engine {
class Session;
}

// The Personal page (its label reads "Device"): delete, back up and restore the personal
// updates on the device through the session's device link. The back-up and restore
// buttons mirror the one back-up in the working folder: back up only when none is held,
// restore only when one is. Every outcome is told in a message box with an empty caption; the
// page itself only asks and tells (the work is the session's, run beside the
// window; each operation returns when it is done and does nothing while other work runs).
class CPersonal : public ui::CPage {
    Q_OBJECT
public:
    CPersonal(QWidget* parent, engine::Session& session);

    // Sets the two buttons from the back-up on disk (deleting one of 0 bytes); runs once the
    // page is up, and after each operation.
    Q_INVOKABLE void UpdateBackupButtons();
    void DeleteAllPersonalUpdates();
    void BackUpPersonalUpdates();
    void RestorePersonalUpdates();

    CTransparentStatic* titleLabel() const { return title_; }
    QPushButton* deleteButton() const { return delete_; }
    QPushButton* backupButton() const { return backup_; }
    QPushButton* restoreButton() const { return restore_; }

private:
    engine::Session& session_;
    CTransparentStatic* title_;
    QPushButton* delete_;
    QPushButton* backup_;
    QPushButton* restore_;
};
