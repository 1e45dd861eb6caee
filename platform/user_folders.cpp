#include "platform/user_folders.h"

#include <cstdlib>
#include <filesystem>

namespace platform {

namespace {

const char* NonEmpty(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

}  // namespace

bool DefaultWorkFolderPath(std::string& path, std::string& error) {
    if (const char* home = NonEmpty("ZARNIK_HOME")) {
        path = home;
        return true;
    }
    if (const char* data = NonEmpty("XDG_DATA_HOME"); data != nullptr && data[0] == '/') {
        path = std::string(data) + "/zarnik";
        return true;
    }
    if (const char* home = NonEmpty("HOME")) {
        path = std::string(home) + "/.local/share/zarnik";
        return true;
    }
    error = "no working folder: HOME is not set, and neither is ZARNIK_HOME nor XDG_DATA_HOME; set ZARNIK_HOME "
            "to the folder for the camera files";
    return false;
}

std::string SettingsStoreLocationProblem() {
    if (NonEmpty("ZARNIK_SETTINGS") || NonEmpty("XDG_CONFIG_HOME") || NonEmpty("HOME")) return {};
    return "no place for the settings: HOME is not set, and neither is ZARNIK_SETTINGS nor XDG_CONFIG_HOME";
}

bool CreateDefaultWorkFolder(std::string& path, std::string& error) {
    if (!DefaultWorkFolderPath(path, error)) return false;
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (ec || !std::filesystem::is_directory(path, ec)) {
        error = "cannot work in " + path + ": " + (ec ? ec.message() : "not a folder");
        return false;
    }
    return true;
}

}  // namespace platform
