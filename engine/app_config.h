#pragma once
#include <cstdint>

#include "platform/settings.h"

class CDeviceLink;
namespace platform {
class StringTable;
}

// The process-wide configuration record, filled at start-up and shared by every page.
struct AppConfig {
    char registrar[platform::kSettingsTextSize] = {};
    char serial[platform::kSettingsTextSize] = {};
    char email[platform::kSettingsTextSize] = {};
    char language[platform::kLanguageCodeSize] = "1033";
    std::uint32_t device = 0;
    char baseUrl[platform::kSettingsTextSize] = {};
    const platform::StringTable* resources = nullptr;  // the loaded language's string table
    CDeviceLink* deviceLink = nullptr;
};

namespace engine {

// Fills the record's registration texts, language and device index from the stored settings
// (missing values leave the start values), and sets the base URL to the alternative service
// address until start-up finds a better one.
void FillAppConfig(AppConfig& config, const platform::StoredSettings& stored);

}  // namespace engine
