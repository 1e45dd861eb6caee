#include "ui/startup.h"

#include <QUrl>
#include <cstring>
#include <ctime>
#include <memory>

#include "device/device_link.h"
#include "engine/app_config.h"
#include "engine/startup.h"
#include "platform/fixed_text.h"
#include "platform/folder_lock.h"
#include "platform/settings.h"
#include "platform/string_table.h"
#include "service/service_client.h"
#include "ui/busy.h"
#include "ui/info_pages.h"
#include "ui/language_table.h"
#include "ui/main_window.h"
#include "ui/message_box.h"
#include "ui/settings_pages.h"
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

// The first-run dialog; true after OK (it has stored the values and filled the record).
bool AskForSettings(AppConfig& config, const platform::WorkFolder& folder) {
    ISettings dialog(config, folder);
    return dialog.Run() == 1;
}


}  // namespace

bool IsWebAddress(const std::string& address) {
    const QUrl url(QString::fromStdString(address), QUrl::StrictMode);
    return url.isValid() && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")) &&
           !url.host().isEmpty();
}

int RunApplication(const platform::WorkFolder& folder) {
    // Before anything else: a second copy on the same folder would share its files.
    platform::FolderLock lock;
    std::string lockProblem;
    if (!lock.Acquire(folder.root(), lockProblem)) return 0;

    CDeviceLink link;
    link.SetWorkFolder(folder);
    AppConfig config;
    config.deviceLink = &link;

    // One short-lived client for the start-up requests; the pages make their own.
    auto client = std::make_unique<CServiceClient>(folder);
    platform::StoredSettings stored = platform::ReadStoredSettings();
    engine::FillAppConfig(config, stored);
    // Every exchange with the service runs beside the window: an unreachable one takes its
    // whole timeout, and the windows shown meanwhile must still paint.
    std::string baseUrl;
    RunBeside([&] { baseUrl = engine::ResolveServiceBaseUrl(*client, stored); });
    platform::CopyToField(config.baseUrl, baseUrl.c_str());

    if (!stored.keyExists) {
        if (!AskForSettings(config, folder)) return 0;
        stored = platform::ReadStoredSettings();
        engine::FillAppConfig(config, stored);
        platform::CopyToField(config.baseUrl, baseUrl.c_str());
    }
    if (!stored.deviceSet && !AskForSettings(config, folder)) return 0;

    // A language whose pack is gone runs in English; the stored choice stays for the next start.
    // English is built in, so loading never fails.
    if (LanguageIndex(config.language) < 0 || !platform::HasLanguagePack(platform::LanguagePackFolder(), config.language))
        platform::CopyToField(config.language, platform::kEnglishLocale);
    platform::StringTable texts;
    texts.Load(platform::LanguagePackFolder(), config.language);
    const TextsInUse inUse(texts);
    config.resources = &texts;

    client->SetBaseUrl(config.baseUrl);
    engine::StartupExchangesResult exchanges;
    {
        CSyncStatus window;
        ProgressBeside progress(window);
        InformationDialogs dialogs;
        InformationBeside information(dialogs);
        RunBeside([&] {
            exchanges = engine::RunStartupExchanges(*client, texts, config.language, stored.alertId,
                                                    std::time(nullptr), progress, information);
        });
    }
    client.reset();
    if (!exchanges.updateAddress.empty()) {
        // The address comes from the service: only a web address goes to the browser.
        if (IsWebAddress(exchanges.updateAddress)) OpenWithDesktop(exchanges.updateAddress);
        return 0;
    }

    if (link.LoadProfile(config.device) != 1) {
        TranslatedMessageBox(nullptr, device::kDevicesIniMissingText, kErrorCaption, kMbOk);
        return 1;
    }
    CTabDialog window(config, folder);
    window.exec();
    return 0;
}

}  // namespace ui
