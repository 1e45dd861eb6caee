#pragma once
#include <cstdint>
#include <string>

// The registry, the way the calling code knows it, kept in one typed text file per user.
// Values have a type (text, 32-bit number or bytes), so a number stored where text is expected
// reads back as a different type and counts as missing, exactly as on Windows.
namespace platform {

using RegResult = std::int32_t;
inline constexpr RegResult kRegSuccess = 0;
inline constexpr RegResult kRegFileNotFound = 2;
inline constexpr RegResult kRegAccessDenied = 5;
inline constexpr RegResult kRegInvalidHandle = 6;
inline constexpr RegResult kRegMoreData = 234;
inline constexpr RegResult kRegCorrupt = 1015;  // the store holds lines that cannot be read
inline constexpr RegResult kRegNoMoreItems = 259;

enum RegType : std::uint32_t {
    kRegNone = 0,
    kRegSz = 1,
    kRegBinary = 3,
    kRegDword = 4,
};

struct RegKeyHandle;
using HKEY = RegKeyHandle*;

// The two roots the tool knows; their values are markers, never dereferenced.
HKEY LocalMachineRoot();
HKEY CurrentUserRoot();

// Path of the store file: $ZARNIK_SETTINGS, else $XDG_CONFIG_HOME/zarnik/settings.reg,
// else ~/.config/zarnik/settings.reg.
std::string SettingsStorePath();

// Empty when the store can be used; otherwise what is wrong with it, for the user. A store that
// cannot be read gives kRegAccessDenied to every open and write; one with lines that cannot be
// parsed is read as far as it goes, and every write is refused with kRegCorrupt, so a damaged
// store is never silently replaced. A new store file is created readable by its owner only;
// an existing one keeps its permissions.
std::string SettingsStoreProblem();

RegResult RegOpenKey(HKEY root, const char* subKey, HKEY* out);
RegResult RegCreateKey(HKEY root, const char* subKey, HKEY* out);
RegResult RegCloseKey(HKEY key);
// As RegQueryValueExA: data may be null to ask for the size; a buffer that is too small gives
// kRegMoreData with the size needed.
RegResult RegQueryValue(HKEY key, const char* name, std::uint32_t* type, void* data, std::uint32_t* size);
RegResult RegSetValue(HKEY key, const char* name, std::uint32_t type, const void* data, std::uint32_t size);
RegResult RegDeleteValue(HKEY key, const char* name);
RegResult RegDeleteKey(HKEY key, const char* subKey);
RegResult RegEnumKey(HKEY key, std::uint32_t index, char* name, std::uint32_t* size);
RegResult RegEnumValue(HKEY key, std::uint32_t index, char* name, std::uint32_t* size, std::uint32_t* type);

}  // namespace platform
