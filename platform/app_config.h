#pragma once
#include <cstdint>

namespace platform {

class StringTable;

// Where the service is looked for when the settings name nothing better. The reference service
// runs on this machine; an installation points "Url" at the real one.
inline constexpr const char* kAlternativeServiceBaseUrl = "http://127.0.0.1/";
inline constexpr const char* kDefaultServerAddressFolder = "http://127.0.0.1/POIDataBase/";

}  // namespace platform

class CDeviceLink;

// The process-wide configuration record, filled at start-up and shared by every page.
struct AppConfig {
    char registrar[256] = {};
    char serial[256] = {};
    char email[256] = {};
    char language[20] = "1033";
    std::uint32_t device = 0;
    char baseUrl[256] = {};
    const platform::StringTable* resources = nullptr;  // the loaded language's string table
    CDeviceLink* deviceLink = nullptr;
};

namespace platform {

// Copies text into a fixed field, cutting it to fit and always terminating it.
void CopyToField(char* field, std::size_t fieldSize, const char* text);
template <std::size_t N>
void CopyToField(char (&field)[N], const char* text) {
    CopyToField(field, N, text);
}

// What the settings store held at start-up, besides the values copied into the record.
struct StoredSettings {
    bool keyExists = false;        // no key: first run, and no service address is looked up
    bool deviceSet = false;        // "Device" present as a number: no first-run dialog needed
    char url[256] = {};            // "Url": the web folder of the server-address file
    std::int32_t alertId = -1;     // "AlertID": the last alert shown
};

// Fills the record's registration texts, language and device index from the settings key
// (values of the wrong type count as missing and leave the start value), and sets the base URL
// to the alternative service address until start-up finds a better one.
StoredSettings LoadAppConfig(AppConfig& config);

// True when "Registrar", "Email" and "Serial" were all read as texts.
bool ReadRegistration(char* registrar, char* email, char* serial);

// Writes the registration data, language and device index, as the settings dialogs save them.
// False when the key could not be created or a value not written.
bool SaveRegistration(const char* registrar, const char* serial, const char* email, const char* language,
                      std::uint32_t device);

// The "AlertID" value: the identifier of the last alert shown.
bool SaveAlertId(std::int32_t id);

}  // namespace platform
