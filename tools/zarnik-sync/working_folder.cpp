#include "working_folder.h"

#include "engine/startup.h"
#include "platform/fixed_text.h"
#include "platform/registry_store.h"
#include "platform/user_folders.h"
#include "service/service_client.h"

namespace zsync {

bool NameWorkingFolder(platform::WorkFolder& workFolder, std::string& error) {
    std::string folder;
    if (!platform::DefaultWorkFolderPath(folder, error)) return false;
    workFolder = platform::WorkFolder(folder);
    return true;
}

bool OpenWorkingFolder(platform::WorkFolder& workFolder, std::string& error) {
    std::string folder;
    if (!platform::CreateDefaultWorkFolder(folder, error)) return false;
    workFolder = platform::WorkFolder(folder);
    return true;
}

bool LoadStartupSettings(const platform::WorkFolder& folder, AppConfig& config, platform::StringTable& texts,
                         bool resolveServiceAddress, std::string* notice) {
    const platform::StoredSettings stored = platform::ReadStoredSettings();
    engine::FillAppConfig(config, stored);
    const bool textsLoaded = texts.Load(platform::LanguagePackFolder(), config.language);
    config.resources = &texts;
    if (resolveServiceAddress) {
        CServiceClient client(folder);
        const std::string baseUrl = engine::ResolveServiceBaseUrl(client, stored);
        platform::CopyToField(config.baseUrl, baseUrl.c_str());
        if (notice != nullptr && stored.keyExists && baseUrl == engine::kAlternativeServiceBaseUrl &&
            !client.failure_cause().empty()) {
            *notice = "the server-address file could not be fetched (" + client.failure_cause() + "); asking " +
                      baseUrl + " instead";
        }
    }
    return textsLoaded;
}

bool OpenForService(platform::WorkFolder& folder, platform::FolderLock& lock, AppConfig& config,
                    platform::StringTable& texts, std::string& error, std::string& notice) {
    if (!OpenWorkingFolder(folder, error) || !lock.Acquire(folder.root(), error)) return false;
    error = platform::SettingsStoreLocationProblem();
    if (error.empty()) error = platform::SettingsStoreProblem();
    if (!error.empty()) return false;
    if (!LoadStartupSettings(folder, config, texts, true, &notice)) {
        error = "no language pack found";
        return false;
    }
    return true;
}

}  // namespace zsync
