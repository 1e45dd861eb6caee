#pragma once
#include <cstdint>

#include "platform/registry_store.h"

// Access to the stored settings: the registry key "Software\Korva\vyoSync" and its values. Every
// reader and writer of a setting goes through the names below. A value of the wrong type, or a
// text that does not fit its field, counts as missing and leaves the field's start value.
namespace platform {

// The key where every setting of the tool lives.
inline constexpr const char* kSettingsKey = "Software\\Korva\\vyoSync";

// The values of the key and their types.
struct SettingsValue {
    const char* name;
    RegType type;
};
namespace settings {
inline constexpr SettingsValue kUrl{"Url", kRegSz};
inline constexpr SettingsValue kEmail{"Email", kRegSz};
inline constexpr SettingsValue kRegistrar{"Registrar", kRegSz};
inline constexpr SettingsValue kSerial{"Serial", kRegSz};
inline constexpr SettingsValue kLanguage{"Language", kRegSz};
inline constexpr SettingsValue kDevice{"Device", kRegDword};
inline constexpr SettingsValue kAlertId{"AlertID", kRegDword};
inline constexpr SettingsValue kAll[] = {kUrl, kEmail, kRegistrar, kSerial, kLanguage, kDevice, kAlertId};
}  // namespace settings

// Texts of 255 characters and their terminator; the language code is shorter.
inline constexpr std::size_t kSettingsTextSize = 256;
inline constexpr std::size_t kLanguageCodeSize = 20;

// The user's registration data, the credentials of every logon.
struct Registration {
    char registrar[kSettingsTextSize] = {};
    char serial[kSettingsTextSize] = {};
    char email[kSettingsTextSize] = {};
};

// Everything the settings key held when it was read.
struct StoredSettings {
    bool keyExists = false;            // no key: first run, and no service address is looked up
    Registration registration;         // each text empty when missing
    char language[kLanguageCodeSize] = "1033";
    char url[kSettingsTextSize] = {};  // "Url": the web folder of the server-address file; empty when missing
    bool deviceSet = false;            // "Device" present as a number: no first-run dialog needed
    std::uint32_t device = 0;
    std::int32_t alertId = -1;         // "AlertID": the last alert shown
};

StoredSettings ReadStoredSettings();

// The registration from three texts; false, and nothing filled, when one does not fit.
bool MakeRegistration(const char* registrar, const char* serial, const char* email, Registration& registration);

// True when "Registrar", "Email" and "Serial" were all read as texts.
bool ReadRegistration(Registration& registration);

// Writes the registration data, language and device index, as the settings dialogs save them.
// False when the key could not be created or a value not written.
bool SaveRegistration(const Registration& registration, const char* language, std::uint32_t device);

// The "AlertID" value: the identifier of the last alert shown.
bool SaveAlertId(std::int32_t id);

}  // namespace platform
