#include "ui/startup.h"

#include <QUrl>
#include <cstring>
#include <ctime>

#include "device/device_link.h"
#include "engine/app_config.h"
#include "engine/startup.h"
#include "platform/folder_lock.h"
#include "platform/settings.h"
#include "platform/string_table.h"
#include "service/service_client.h"
#include "ui/info_pages.h"
#include "ui/language_table.h"
#include "ui/main_window.h"
#include "ui/message_box.h"
#include "ui/settings_pages.h"
#include "ui/sync_status.h"
#include "ui/texts.h"

namespace ui {
namespace {

const char* const kNoLanguage = "Error loading default resource DLL, aborting";
const char* const kNoDevices = "Device config file seems missing, please correct by re-installing application";
const char* const kErrorCaption = "Error";

// The first-run dialog; true after OK (it has stored the values and filled the record).
bool AskForSettings(AppConfig& config, const platform::WorkFolder& folder) {
    ISettings dialog(config, folder);
    return dialog.Run() == 1;
}

void KeepBaseUrl(AppConfig& config, const std::string& url) {
    std::snprintf(config.baseUrl, sizeof config.baseUrl, "%s", url.c_str());
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

    platform::StoredSettings stored = platform::ReadStoredSettings();
    engine::FillAppConfig(config, stored);
    std::string baseUrl;
    {
        CServiceClient client(folder);
        baseUrl = engine::ResolveServiceBaseUrl(client, stored);
    }
    KeepBaseUrl(config, baseUrl);

    if (!stored.keyExists) {
        if (!AskForSettings(config, folder)) return 0;
        stored = platform::ReadStoredSettings();
        engine::FillAppConfig(config, stored);
        KeepBaseUrl(config, baseUrl);
    }
    if (!stored.deviceSet && !AskForSettings(config, folder)) return 0;

    // A language whose pack is gone runs in English; the stored choice stays for the next start.
    platform::StringTable texts;
    const int language = LanguageIndex(config.language);
    if (language < 0 || !LanguagePackExists(kLanguageTable.at(static_cast<std::size_t>(language))))
        std::snprintf(config.language, sizeof config.language, "%s", platform::kEnglishLocale);
    if (!texts.Load(platform::LanguagePackFolder(), config.language)) {
        TranslatedMessageBox(nullptr, kNoLanguage, kErrorCaption, kMbOk);
        return 1;
    }
    SetTexts(&texts);
    config.resources = &texts;

    {
        CServiceClient client(folder);
        client.SetBaseUrl(config.baseUrl);
        CSyncStatus progress;
        InformationDialogs information;
        const engine::StartupExchangesResult exchanges = engine::RunStartupExchanges(
            client, texts, config.language, stored.alertId, std::time(nullptr), progress, information);
        if (!exchanges.updateAddress.empty()) {
            // The address comes from the service: only a web address goes to the browser.
            if (IsWebAddress(exchanges.updateAddress)) OpenWithDesktop(exchanges.updateAddress);
            SetTexts(nullptr);
            return 0;
        }
    }

    if (link.LoadProfile(config.device) != 1) {
        TranslatedMessageBox(nullptr, kNoDevices, kErrorCaption, kMbOk);
        SetTexts(nullptr);
        return 1;
    }
    {
        CTabDialog window(config, folder);
        window.exec();
    }
    SetTexts(nullptr);
    return 0;
}

}  // namespace ui
