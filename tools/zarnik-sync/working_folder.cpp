#include "working_folder.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/app_config.h"
#include "service/service_client.h"

namespace zsync {

bool OpenWorkingFolder(platform::WorkFolder& workFolder, std::string& error) {
    std::string folder;
    if (const char* home = std::getenv("ZARNIK_HOME"); home && *home) {
        folder = home;
    } else {
        const char* user = std::getenv("HOME");
        folder = std::string(user && *user ? user : ".") + "/.local/share/zarnik";
    }
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec || !std::filesystem::is_directory(folder, ec)) {
        error = "cannot work in " + folder + ": " + (ec ? ec.message() : "not a folder");
        return false;
    }
    workFolder = platform::WorkFolder(folder);
    return true;
}

bool LoadStartupSettings(const platform::WorkFolder& folder, AppConfig& config, platform::StringTable& texts,
                         bool resolveServiceAddress) {
    const platform::StoredSettings stored = platform::LoadAppConfig(config);
    const bool textsLoaded = texts.Load(platform::LanguagePackFolder(), config.language);
    config.resources = &texts;
    if (resolveServiceAddress && stored.keyExists) {
        CServiceClient client(folder);
        std::string baseUrl;
        if (client.FetchServerUrl(stored.url, baseUrl) == result::kOk && !baseUrl.empty()) {
            platform::CopyToField(config.baseUrl, baseUrl.c_str());
        }
    }
    return textsLoaded;
}

}  // namespace zsync
