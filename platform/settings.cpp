#include "platform/settings.h"

#include <cstring>

#include "platform/registry.h"

namespace platform {

StoredSettings ReadStoredSettings() {
    StoredSettings stored;
    CRegistry key;
    if (!key.Open(LocalMachineRoot(), kSettingsKey, false)) return stored;
    stored.keyExists = true;
    Registration& r = stored.registration;
    key.GetString(settings::kRegistrar.name, r.registrar, sizeof r.registrar);
    key.GetString(settings::kSerial.name, r.serial, sizeof r.serial);
    key.GetString(settings::kEmail.name, r.email, sizeof r.email);
    key.GetString(settings::kLanguage.name, stored.language, sizeof stored.language);
    key.GetString(settings::kUrl.name, stored.url, sizeof stored.url);
    std::uint32_t value = 0;
    if (key.GetDword(settings::kDevice.name, value)) {
        stored.device = value;
        stored.deviceSet = true;
    }
    if (key.GetDword(settings::kAlertId.name, value)) stored.alertId = static_cast<std::int32_t>(value);
    return stored;
}

bool MakeRegistration(const char* registrar, const char* serial, const char* email, Registration& registration) {
    const auto fits = [](const char* text) { return text != nullptr && strnlen(text, kSettingsTextSize) < kSettingsTextSize; };
    if (!fits(registrar) || !fits(serial) || !fits(email)) return false;
    const auto copy = [](char (&field)[kSettingsTextSize], const char* text) {
        std::memcpy(field, text, std::strlen(text) + 1);
    };
    copy(registration.registrar, registrar);
    copy(registration.serial, serial);
    copy(registration.email, email);
    return true;
}

bool ReadRegistration(Registration& registration) {
    CRegistry key;
    if (!key.Open(LocalMachineRoot(), kSettingsKey, false)) return false;
    const bool gotEmail = key.GetString(settings::kEmail.name, registration.email, sizeof registration.email);
    const bool gotRegistrar =
        key.GetString(settings::kRegistrar.name, registration.registrar, sizeof registration.registrar);
    const bool gotSerial = key.GetString(settings::kSerial.name, registration.serial, sizeof registration.serial);
    return gotEmail && gotRegistrar && gotSerial;
}

bool SaveRegistration(const Registration& registration, const char* language, std::uint32_t device) {
    CRegistry key;
    if (!key.Open(LocalMachineRoot(), kSettingsKey, true)) return false;
    const bool ok = key.SetString(settings::kEmail.name, registration.email) &&
                    key.SetString(settings::kSerial.name, registration.serial) &&
                    key.SetString(settings::kRegistrar.name, registration.registrar) &&
                    key.SetString(settings::kLanguage.name, language) && key.SetDword(settings::kDevice.name, device);
    key.Close();
    return ok;
}

bool SaveAlertId(std::int32_t id) {
    CRegistry key;
    return key.Open(LocalMachineRoot(), kSettingsKey, true) &&
           key.SetDword(settings::kAlertId.name, static_cast<std::uint32_t>(id));
}

}  // namespace platform
