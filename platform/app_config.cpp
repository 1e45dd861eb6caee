#include "platform/app_config.h"

#include <cstring>

#include "platform/registry.h"

namespace platform {

void CopyToField(char* field, std::size_t fieldSize, const char* text) {
    if (fieldSize == 0) return;
    const std::size_t length = text ? strnlen(text, fieldSize - 1) : 0;
    if (length) std::memcpy(field, text, length);
    field[length] = '\0';
}

StoredSettings LoadAppConfig(AppConfig& config) {
    StoredSettings stored;
    CopyToField(config.baseUrl, kAlternativeServiceBaseUrl);
    CopyToField(stored.url, kDefaultServerAddressFolder);
    CRegistry key;
    if (!key.Open(LocalMachineRoot(), kSettingsKey, false)) return stored;
    stored.keyExists = true;
    key.GetString("Registrar", config.registrar, sizeof config.registrar);
    key.GetString("Serial", config.serial, sizeof config.serial);
    key.GetString("Email", config.email, sizeof config.email);
    key.GetString("Language", config.language, sizeof config.language);
    key.GetString("Url", stored.url, sizeof stored.url);
    std::uint32_t value = 0;
    if (key.GetDword("Device", value)) {
        config.device = value;
        stored.deviceSet = true;
    }
    if (key.GetDword("AlertID", value)) stored.alertId = static_cast<std::int32_t>(value);
    return stored;
}

bool ReadRegistration(char* registrar, char* email, char* serial) {
    CRegistry key;
    if (!key.Open(LocalMachineRoot(), kSettingsKey, false)) return false;
    const bool gotEmail = key.GetString("Email", email, 256);
    const bool gotRegistrar = key.GetString("Registrar", registrar, 256);
    const bool gotSerial = key.GetString("Serial", serial, 256);
    return gotEmail && gotRegistrar && gotSerial;
}

bool SaveRegistration(const char* registrar, const char* serial, const char* email, const char* language,
                      std::uint32_t device) {
    CRegistry key;
    if (!key.Open(LocalMachineRoot(), kSettingsKey, true)) return false;
    const bool ok = key.SetString("Email", email) && key.SetString("Serial", serial) &&
                    key.SetString("Registrar", registrar) && key.SetString("Language", language) &&
                    key.SetDword("Device", device);
    key.Close();
    return ok;
}

bool SaveAlertId(std::int32_t id) {
    CRegistry key;
    return key.Open(LocalMachineRoot(), kSettingsKey, true) && key.SetDword("AlertID", static_cast<std::uint32_t>(id));
}

}  // namespace platform
