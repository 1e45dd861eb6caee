#include "ui/startup.h"

#include <QUrl>
#include <cstring>
#include <ctime>
#include <memory>

#include "engine/session.h"
#include "engine/startup.h"
#include "ui/busy.h"
#include "ui/info_pages.h"
#include "ui/language_table.h"
#include "ui/main_window.h"
#include "ui/message_box.h"
#include "ui/settings_pages.h"
#include "ui/single_instance.h"
#include "ui/sync_status.h"
#include "ui/texts.h"

namespace ui {
namespace {

const char* const kErrorCaption = "Error";

// The interface language for the windows while start-up and the main window run.
struct TextsInUse {
    explicit TextsInUse(const platform::StringTable& texts) { SetTexts(&texts); }
    ~TextsInUse() { SetTexts(nullptr); }
    TextsInUse(const TextsInUse&) = delete;
    TextsInUse& operator=(const TextsInUse&) = delete;
};

// The first-run dialog; true after OK (it has stored the values, and the session holds them).
bool AskForSettings(engine::Session& session) {
    ISettings dialog(session);
    return dialog.Run() == 1;
}


}  // namespace

bool IsWebAddress(const std::string& address) {
    const QUrl url(QString::fromStdString(address), QUrl::StrictMode);
    return url.isValid() && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")) &&
           !url.host().isEmpty();
}

int RunApplication(engine::Session& session) {
    // Before anything else: a second copy on the same folder would share its files.
    // It asks the running copy to come to the front instead; one that cannot be reached
    // (a lock file that could not be opened) leaves nothing more to do.
    if (!session.LockWorkingFolder().ok()) {
        (void)AskRunningCopyToRaise(session.folder().root());
        return 0;
    }
    const RaiseListener listener(session.folder().root());

    session.TakeSettingsSnapshot();
    // Every exchange with the service runs beside the window: an unreachable one takes its
    // whole timeout, and the windows shown meanwhile must still paint.
    RunBeside([&] { session.ResolveServiceAddress(); });

    // The dialog stores what it was given, and the session's snapshot follows the store.
    if (!session.settings().keyExists && !AskForSettings(session)) return 0;
    if (!session.settings().deviceSet && !AskForSettings(session)) return 0;

    // A language whose pack is gone runs in English; the stored choice stays for the next start.
    std::string language = session.settings().language;
    if (LanguageIndex(language) < 0) language = platform::kEnglishLocale;
    session.ChooseLanguage(language);
    const TextsInUse inUse(session.texts());

    engine::StartupExchangesResult exchanges;
    {
        CSyncStatus window;
        ProgressBeside progress(window);
        InformationDialogs dialogs;
        InformationBeside information(dialogs);
        // A service that did not answer has been told through the information dialogs.
        RunBeside([&] { (void)session.RunStartupExchanges(progress, information, engine::kStartupTimeLimitSeconds, exchanges); });
    }
    if (!exchanges.updateAddress.empty()) {
        // The address comes from the service: only a web address goes to the browser.
        if (IsWebAddress(exchanges.updateAddress)) OpenWithDesktop(exchanges.updateAddress);
        return 0;
    }

    // A model that devices.ini does not name leaves the device unconnected, and the pages say so.
    if (const engine::Outcome profile = session.LoadDeviceProfile(); profile.Is(engine::PcFailure::kDevicesIniMissing)) {
        TranslatedMessageBox(nullptr, profile.message(), kErrorCaption, kMbOk);
        return 1;
    }
    CTabDialog window(session);
    window.exec();
    return 0;
}

}  // namespace ui
