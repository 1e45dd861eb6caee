#include "ui/personal_page.h"

#include <QMetaObject>
#include <QPushButton>

#include "engine/session.h"
#include "engine/text_ids.h"
#include "ui/busy.h"
#include "ui/dialog_units.h"
#include "ui/fonts.h"
#include "ui/message_box.h"
#include "ui/texts.h"
#include "ui/transparent_static.h"

namespace {

using engine::PersonalResult;
namespace text = engine::text;

// One notice for each outcome but a declined deletion, which the user chose and needs no word.
void Tell(PersonalResult result, unsigned done, unsigned failed) {
    unsigned id = failed;
    switch (result) {
    case PersonalResult::kDone: id = done; break;
    case PersonalResult::kNotConnected: id = text::kDeviceConnectFailed; break;
    case PersonalResult::kNothingToBackUp: id = text::kNothingToBackUp; break;
    case PersonalResult::kDeclined: return;
    case PersonalResult::kFailed: break;
    }
    TranslatedMessageBox(nullptr, ui::Text(id), "", kMbOk);
}

}  // namespace

CPersonal::CPersonal(QWidget* parent, engine::Session& session)
    : CPage(parent),
      session_(session),
      title_(ui::MakeTitle(this, ui::DluRect(15, 8, 114, 18), ui::FromOutside(ui::Text(text::kDevice)))),
      delete_(ui::MakeButton(this, ui::DluRect(178, 57, 89, 38), ui::FromOutside(ui::Text(text::kDeleteButton)))),
      backup_(ui::MakeButton(this, ui::DluRect(178, 105, 89, 38), ui::FromOutside(ui::Text(text::kBackupButton)))),
      restore_(ui::MakeButton(this, ui::DluRect(178, 153, 89, 38), ui::FromOutside(ui::Text(text::kRestoreButton)))) {
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
            const unsigned style = kMbYesNo | kMbIconQuestion;
            return TranslatedMessageBox(nullptr, ui::Text(text::kConfirmDelete), "", style) == kIdYes;
        });
    };
    PersonalResult result = PersonalResult::kFailed;
    ui::RunBeside([&] { result = session_.DeleteReports(confirm); });
    Tell(result, text::kDeleted, text::kDeleteFailed);
}

void CPersonal::BackUpPersonalUpdates() {
    if (ui::IsBusy()) return;
    PersonalResult result = PersonalResult::kFailed;
    ui::RunBeside([&] { result = session_.BackUpReports(); });
    UpdateBackupButtons();
    Tell(result, text::kBackedUp, text::kBackupFailed);
}

void CPersonal::RestorePersonalUpdates() {
    if (ui::IsBusy()) return;
    PersonalResult result = PersonalResult::kFailed;
    ui::RunBeside([&] { result = session_.RestoreReports(); });
    UpdateBackupButtons();
    Tell(result, text::kRestored, text::kRestoreFailed);
}
