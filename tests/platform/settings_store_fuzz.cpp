// The settings store on hostile text: reading always ends in "whole", "damaged" or "unreadable";
// a whole store takes a write and comes back value for value, byte for byte; a damaged one is
// never rewritten.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/registry_store.h"
#include "platform/settings.h"

namespace {

struct StoredValue {
    std::string name;
    std::uint32_t type;
    std::string bytes;
};

// Every value of the settings key, or none when it does not open.
std::vector<StoredValue> SettingsValues() {
    std::vector<StoredValue> values;
    platform::HKEY key = nullptr;
    if (platform::RegOpenKey(platform::LocalMachineRoot(), platform::kSettingsKey, &key) != platform::kRegSuccess) {
        return values;
    }
    for (std::uint32_t i = 0;; ++i) {
        char name[1024];
        std::uint32_t nameSize = sizeof name;
        std::uint32_t type = 0;
        if (platform::RegEnumValue(key, i, name, &nameSize, &type) != platform::kRegSuccess) break;
        std::uint32_t size = 0;
        if (platform::RegQueryValue(key, name, &type, nullptr, &size) != platform::kRegSuccess) std::abort();
        std::string bytes(size, '\0');
        if (platform::RegQueryValue(key, name, &type, bytes.data(), &size) != platform::kRegSuccess) std::abort();
        values.push_back({name, type, bytes});
    }
    platform::RegCloseKey(key);
    return values;
}

std::string StorePath() {
    const char* folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(folder) + "/zarnik-settings-fuzz-" + std::to_string(getpid()) + ".reg";
}

std::string FileText(const std::string& path) {
    std::string text;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        char chunk[4096];
        std::size_t n = 0;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, n);
        std::fclose(f);
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = StorePath();
    setenv("ZARNIK_SETTINGS", path.c_str(), 1);
    const std::string input(reinterpret_cast<const char*>(data), size);
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(input.data(), 1, input.size(), f);
        std::fclose(f);
    }
    const bool whole = platform::SettingsStoreProblem().empty();
    const platform::StoredSettings stored = platform::ReadStoredSettings();
    if (stored.registration.registrar[sizeof stored.registration.registrar - 1] != '\0') std::abort();

    const std::vector<StoredValue> before = SettingsValues();
    const bool wrote = platform::SaveAlertId(7);
    if (whole != wrote) std::abort();  // only a whole store is written, and it always is
    if (whole) {
        if (!platform::SettingsStoreProblem().empty()) std::abort();
        std::vector<StoredValue> after = SettingsValues();
        for (const StoredValue& v : before) {
            if (v.name == "AlertID") continue;
            bool kept = false;
            for (const StoredValue& a : after) kept = kept || (a.name == v.name && a.type == v.type && a.bytes == v.bytes);
            if (!kept) std::abort();
        }
    } else if (FileText(path) != input) {
        std::abort();  // a damaged or unreadable store is never rewritten
    }
    std::remove(path.c_str());
    return 0;
}
