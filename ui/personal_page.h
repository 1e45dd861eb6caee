#pragma once
#include "platform/pc_files.h"
#include "ui/info_pages.h"

class CTransparentStatic;
class QPushButton;
struct AppConfig;

// The Personal page (its label reads "Device"): delete, back up and restore the personal
// updates on the device through the configuration's device link. The back-up and restore
// buttons mirror the one back-up in the working folder: back up only when none is held,
// restore only when one is. Every outcome is told in a message box with an empty caption; the
// page itself only asks and tells (the work is engine/personal_backup.h's, run beside the
// window; each operation returns when it is done and does nothing while other work runs).
class CPersonal : public ui::CPage {
    Q_OBJECT
public:
    CPersonal(QWidget* parent, AppConfig& config, const platform::WorkFolder& folder);

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
    AppConfig& config_;
    platform::WorkFolder folder_;
    CTransparentStatic* title_;
    QPushButton* delete_;
    QPushButton* backup_;
    QPushButton* restore_;
};
