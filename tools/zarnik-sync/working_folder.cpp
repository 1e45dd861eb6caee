#include "working_folder.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "engine/startup.h"
#include "platform/fixed_text.h"
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
    const platform::StoredSettings stored = platform::ReadStoredSettings();
    engine::FillAppConfig(config, stored);
    const bool textsLoaded = texts.Load(platform::LanguagePackFolder(), config.language);
    config.resources = &texts;
    if (resolveServiceAddress) {
        CServiceClient client(folder);
        platform::CopyToField(config.baseUrl, engine::ResolveServiceBaseUrl(client, stored).c_str());
    }
    return textsLoaded;
}

}  // namespace zsync
