#include "ui/personal_page.h"

#include <QMetaObject>
#include <QPushButton>

#include "engine/session.h"
#include "ui/busy.h"
#include "ui/dialog_units.h"
#include "ui/fonts.h"
#include "ui/message_box.h"
#include "ui/texts.h"
#include "ui/transparent_static.h"

namespace {

using engine::PersonalResult;

constexpr unsigned kTitleText = 105;
constexpr unsigned kDeleteText = 106;
constexpr unsigned kBackupText = 107;
constexpr unsigned kRestoreText = 108;
constexpr unsigned kConfirmDelete = 162;
constexpr unsigned kBackupFailed = 165;
constexpr unsigned kRestored = 166;
constexpr unsigned kDeleteFailed = 167;
constexpr unsigned kRestoreFailed = 168;
constexpr unsigned kNotConnected = 169;
constexpr unsigned kBackedUp = 177;
constexpr unsigned kDeleted = 178;
constexpr unsigned kNothingToBackUp = 179;

// One notice for each outcome but a declined deletion, which the user chose and needs no word.
void Tell(PersonalResult result, unsigned done, unsigned failed) {
    unsigned text = failed;
    switch (result) {
    case PersonalResult::kDone: text = done; break;
    case PersonalResult::kNotConnected: text = kNotConnected; break;
    case PersonalResult::kNothingToBackUp: text = kNothingToBackUp; break;
    case PersonalResult::kDeclined: return;
    case PersonalResult::kFailed: break;
    }
    TranslatedMessageBox(nullptr, ui::Text(text), "", kMbOk);
}

}  // namespace

CPersonal::CPersonal(QWidget* parent, engine::Session& session)
    : CPage(parent),
      session_(session),
      title_(ui::MakeTitle(this, ui::DluRect(15, 8, 114, 18), ui::FromOutside(ui::Text(kTitleText)))),
      delete_(ui::MakeButton(this, ui::DluRect(178, 57, 89, 38), ui::FromOutside(ui::Text(kDeleteText)))),
      backup_(ui::MakeButton(this, ui::DluRect(178, 105, 89, 38), ui::FromOutside(ui::Text(kBackupText)))),
      restore_(ui::MakeButton(this, ui::DluRect(178, 153, 89, 38), ui::FromOutside(ui::Text(kRestoreText)))) {
    connect(delete_, &QPushButton::clicked, this, &CPersonal::DeleteAllPersonalUpdates);
    connect(backup_, &QPushButton::clicked, this, &CPersonal::BackUpPersonalUpdates);
    connect(restore_, &QPushButton::clicked, this, &CPersonal::RestorePersonalUpdates);
    // The buttons follow the back-up once the main window is up, not while it is being built.
    // (By name: the functor form allocates in a way the static analysis cannot follow.)
    QMetaObject::invokeMethod(this, "UpdateBackupButtons", Qt::QueuedConnection);
}

void CPersonal::UpdateBackupButtons() {
    const bool held = session_.ExamineBackup() == engine::StoredBackup::kHeld;
    backup_->setEnabled(!held);
    restore_->setEnabled(held);
}

void CPersonal::DeleteAllPersonalUpdates() {
    if (ui::IsBusy()) return;
    // Asked from the work, while the device is connected; answered on the window's thread.
    const auto confirm = [] {
        return ui::OnWindowThread([] {
            return TranslatedMessageBox(nullptr, ui::Text(kConfirmDelete), "", kMbYesNo | kMbIconQuestion) == kIdYes;
        });
    };
    PersonalResult result = PersonalResult::kFailed;
    ui::RunBeside([&] { result = session_.DeleteReports(confirm); });
    Tell(result, kDeleted, kDeleteFailed);
}

void CPersonal::BackUpPersonalUpdates() {
    if (ui::IsBusy()) return;
    PersonalResult result = PersonalResult::kFailed;
    ui::RunBeside([&] { result = session_.BackUpReports(); });
    UpdateBackupButtons();
    Tell(result, kBackedUp, kBackupFailed);
}

void CPersonal::RestorePersonalUpdates() {
    if (ui::IsBusy()) return;
    PersonalResult result = PersonalResult::kFailed;
    ui::RunBeside([&] { result = session_.RestoreReports(); });
    UpdateBackupButtons();
    Tell(result, kRestored, kRestoreFailed);
}
