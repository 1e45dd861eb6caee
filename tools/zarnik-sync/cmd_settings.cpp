// zarnik-sync settings: show the registration data and choices, set them (each value checked
// first), or clear one.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "commands.h"
#include "device/device_profile.h"
#include "engine/startup.h"
#include "platform/internet.h"
#include "platform/registry.h"
#include "platform/registry_store.h"
#include "platform/settings.h"
#include "platform/string_table.h"
#include "platform/user_folders.h"
#include "working_folder.h"

namespace zsync {

namespace {

// A store that cannot be read or parsed would be replaced by one holding only the new values.
std::string StoreProblem() {
    std::string problem = platform::SettingsStoreLocationProblem();
    return problem.empty() ? platform::SettingsStoreProblem() : problem;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// The web folder that holds the server-address file: plain HTTP to a host, on port 80 (the only
// port requests ever go to), ending in "/" since the file's name is appended to it.
std::string UrlProblem(const std::string& url) {
    if (Lower(url.substr(0, 7)) != "http://") return "the address must begin with http:// (the service speaks plain HTTP)";
    std::string host;
    std::string path;
    if (!platform::inet::InternetCrackUrl(url.c_str(), host, path) || host.empty()) return "the address names no host";
    if (const std::string port = platform::inet::UrlPort(url.c_str()); !port.empty() && port != "80") {
        return "the service is always reached on port 80; an address naming port " + port +
               " would not be used as written";
    }
    if (url.back() != '/') return "the address names a web folder and must end with \"/\" (" + url + "/)";
    return {};
}

std::string LanguageProblem(const std::string& code) {
    if (code.empty() || !std::all_of(code.begin(), code.end(), [](unsigned char c) { return std::isdigit(c); })) {
        return "a language is given by its locale number, such as 1033 (English)";
    }
    if (code == platform::kEnglishLocale) return {};  // built in
    const std::string pack = platform::LanguagePackFolder() + "/" + code + ".txt";
    if (platform::FileSizeOf(pack) < 0) return "there is no language pack for " + code + " (" + pack + ")";
    return {};
}

// The device model by its line in devices.ini or by its name (letter case ignored); `warning`
// says which transport a model with a code devices.ini does not know will be reached by.
bool FindDevice(const std::string& given, std::uint32_t& index, std::string& error, std::string& warning) {
    platform::WorkFolder folder;
    if (!NameWorkingFolder(folder, error)) return false;
    const std::string ini = device::DevicesIniPath(folder);
    std::vector<device::DeviceModel> models;
    if (!device::ReadDeviceModels(ini, models)) {
        error = "cannot read the device models in " + ini;
        return false;
    }
    const auto found = [&](std::size_t i) {
        index = static_cast<std::uint32_t>(i);
        const device::DeviceModel& model = models[i];
        if (!device::IsKnownTransportCode(model.transportCode)) {
            warning = "device model " + std::to_string(i) + " (" + model.name + ") in " + ini + " has " +
                      (model.transportCode.empty() ? std::string("no transport code")
                                                   : "the transport code \"" + model.transportCode + "\"") +
                      ", which is none of M1, M2, MA and RA: the " + device::TransportName(model.profile.transport) +
                      " will be used";
        }
        return true;
    };
    char* end = nullptr;
    const unsigned long number = std::strtoul(given.c_str(), &end, 10);
    if (!given.empty() && std::isdigit(static_cast<unsigned char>(given[0])) && *end == '\0') {
        if (number < models.size()) return found(number);
    } else {
        for (std::size_t i = 0; i < models.size(); ++i) {
            if (Lower(models[i].name) == Lower(given)) return found(i);
        }
    }
    error = "--device: no model " + given + " in " + ini + "; the models are:";
    for (std::size_t i = 0; i < models.size(); ++i) error += "\n  " + std::to_string(i) + "  " + models[i].name;
    return false;
}

struct TextSetting {
    const char* option;
    const char* value;
    std::size_t field;  // the width it is read into, terminator included
    const std::string* text;
    bool given;
};

}  // namespace

int RunSettingsShow(const Verbosity& /*verbosity*/) {
    if (const std::string problem = StoreProblem(); !problem.empty()) return Fail(kExitFailed, problem);
    const platform::StoredSettings stored = platform::ReadStoredSettings();
    const platform::Registration& who = stored.registration;
    std::printf("store     %s\n", platform::SettingsStorePath().c_str());
    std::printf("name      %s\nserial    %s\nemail     %s\n", who.registrar, who.serial, who.email);
    std::printf("url       %s\nlanguage  %s\n", stored.url[0] ? stored.url : engine::kDefaultServerAddressFolder,
                stored.language);
    if (stored.deviceSet) {
        std::printf("device    %u\n", stored.device);
    } else {
        std::printf("device    (not set)\n");
    }
    return kExitOk;
}

int RunSettingsSet(const SettingsSetOptions& options, const Verbosity& /*verbosity*/) {
    const TextSetting texts[] = {
        {"--name", platform::settings::kRegistrar.name, platform::kSettingsTextSize, &options.name, options.nameGiven},
        {"--serial", platform::settings::kSerial.name, platform::kSettingsTextSize, &options.serial, options.serialGiven},
        {"--email", platform::settings::kEmail.name, platform::kSettingsTextSize, &options.email, options.emailGiven},
        {"--url", platform::settings::kUrl.name, platform::kSettingsTextSize, &options.url, options.urlGiven},
        {"--language", platform::settings::kLanguage.name, platform::kLanguageCodeSize, &options.language,
         options.languageGiven}};
    bool any = options.deviceGiven;
    for (const TextSetting& t : texts) {
        if (!t.given) continue;
        any = true;
        if (t.text->size() >= t.field) {
            return Fail(kExitUsage, std::string(t.option) + " takes at most " + std::to_string(t.field - 1) +
                                        " bytes; the text given has " + std::to_string(t.text->size()));
        }
        if (t.text->find_first_of("\r\n") != std::string::npos) {
            return Fail(kExitUsage, std::string(t.option) + " takes one line of text");
        }
    }
    if (!any) return Fail(kExitUsage, "settings set: give at least one of --url --name --serial --email --device --language");
    if (options.urlGiven) {
        if (const std::string problem = UrlProblem(options.url); !problem.empty()) {
            return Fail(kExitUsage, "--url " + options.url + ": " + problem);
        }
    }
    if (options.languageGiven) {
        if (const std::string problem = LanguageProblem(options.language); !problem.empty()) {
            return Fail(kExitUsage, "--language " + options.language + ": " + problem);
        }
    }
    std::uint32_t device = 0;
    std::string deviceWarning;
    if (options.deviceGiven) {
        std::string error;
        if (!FindDevice(options.device, device, error, deviceWarning)) return Fail(kExitUsage, error);
    }
    if (const std::string problem = StoreProblem(); !problem.empty()) {
        return Fail(kExitFailed, problem + "; nothing was changed");
    }
    platform::CRegistry key;
    if (!key.Open(platform::LocalMachineRoot(), platform::kSettingsKey, true)) {
        return Fail(kExitFailed, "cannot write the settings store " + platform::SettingsStorePath());
    }
    for (const TextSetting& t : texts) {
        if (t.given && !key.SetString(t.value, t.text->c_str())) {
            return Fail(kExitFailed, std::string("cannot store ") + t.value + " in " + platform::SettingsStorePath());
        }
    }
    if (options.deviceGiven && !key.SetDword(platform::settings::kDevice.name, device)) {
        return Fail(kExitFailed, "cannot store Device in " + platform::SettingsStorePath());
    }
    if (!deviceWarning.empty()) std::fprintf(stderr, "zarnik-sync: warning: %s\n", deviceWarning.c_str());
    return kExitOk;
}

int RunSettingsUnset(const std::string& name, const Verbosity& /*verbosity*/) {
    static const struct {
        const char* name;
        const char* value;
    } kNames[] = {{"url", platform::settings::kUrl.name},           {"name", platform::settings::kRegistrar.name},
                  {"serial", platform::settings::kSerial.name},     {"email", platform::settings::kEmail.name},
                  {"device", platform::settings::kDevice.name},     {"language", platform::settings::kLanguage.name}};
    const char* value = nullptr;
    for (const auto& n : kNames) {
        if (Lower(name) == n.name || Lower(name) == Lower(n.value)) value = n.value;
    }
    if (value == nullptr) return Fail(kExitUsage, "settings unset: " + name + " is none of url, name, serial, email, device, language");
    if (const std::string problem = StoreProblem(); !problem.empty()) {
        return Fail(kExitFailed, problem + "; nothing was changed");
    }
    platform::CRegistry key;
    if (!key.Open(platform::LocalMachineRoot(), platform::kSettingsKey, false)) return kExitOk;  // nothing stored
    std::uint32_t size = 0;
    if (!key.GetValueSize(value, size)) return kExitOk;  // already clear
    if (!key.DeleteValue(value)) {
        return Fail(kExitFailed, std::string("cannot clear ") + value + " in " + platform::SettingsStorePath());
    }
    return kExitOk;
}

}  // namespace zsync
