// zarnik-sync settings: show the registration data and choices, or set them.
#include <cstdio>
#include <cstdlib>

#include "commands.h"
#include "options.h"
#include "engine/startup.h"
#include "platform/registry.h"
#include "platform/registry_store.h"
#include "platform/settings.h"

namespace zsync {

namespace {

int ShowSettings() {
    if (const std::string problem = platform::SettingsStoreProblem(); !problem.empty()) {
        return Fail(kExitFailed, problem);
    }
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

// The widths of the fields the values are read into, terminator included: a longer text would
// be read back as missing.
constexpr std::size_t kTextField = platform::kSettingsTextSize;
constexpr std::size_t kLanguageField = platform::kLanguageCodeSize;

int SetSettings(const ParsedArgs& parsed) {
    const struct {
        const char* option;
        const char* value;
        std::size_t field;
    } texts[] = {{"--name", platform::settings::kRegistrar.name, kTextField},
                 {"--serial", platform::settings::kSerial.name, kTextField},
                 {"--email", platform::settings::kEmail.name, kTextField},
                 {"--url", platform::settings::kUrl.name, kTextField},
                 {"--language", platform::settings::kLanguage.name, kLanguageField}};
    for (const auto& t : texts) {
        const auto it = parsed.values.find(t.option);
        if (it != parsed.values.end() && it->second.size() >= t.field) {
            return Fail(kExitUsage, std::string(t.option) + " takes at most " + std::to_string(t.field - 1) +
                                        " bytes; the text given has " + std::to_string(it->second.size()));
        }
    }
    std::uint32_t device = 0;
    const auto deviceValue = parsed.values.find("--device");
    if (deviceValue != parsed.values.end()) {
        char* end = nullptr;
        const unsigned long number = std::strtoul(deviceValue->second.c_str(), &end, 10);
        if (deviceValue->second.empty() || *end != '\0' || number > 0xffffffffUL) {
            return Fail(kExitUsage, "--device takes a number");
        }
        device = static_cast<std::uint32_t>(number);
    }
    // A store that cannot be read or parsed would be replaced by one holding only these values.
    if (const std::string problem = platform::SettingsStoreProblem(); !problem.empty()) {
        return Fail(kExitFailed, problem + "; nothing was changed");
    }
    platform::CRegistry key;
    if (!key.Open(platform::LocalMachineRoot(), platform::kSettingsKey, true)) {
        return Fail(kExitFailed, "cannot write the settings store " + platform::SettingsStorePath());
    }
    for (const auto& t : texts) {
        const auto it = parsed.values.find(t.option);
        if (it != parsed.values.end() && !key.SetString(t.value, it->second.c_str())) {
            return Fail(kExitFailed, std::string("cannot store ") + t.value);
        }
    }
    if (deviceValue != parsed.values.end() && !key.SetDword(platform::settings::kDevice.name, device)) {
        return Fail(kExitFailed, "cannot store Device");
    }
    return kExitOk;
}

}  // namespace

int RunSettings(const Args& args) {
    if (args.empty() || args[0] == "show") return ShowSettings();
    if (args[0] != "set") return Fail(kExitUsage, "settings takes 'show' or 'set'");
    ParsedArgs parsed;
    std::string error;
    const Args rest(args.begin() + 1, args.end());
    if (!ParseArgs(rest, {"--url", "--name", "--serial", "--email", "--device", "--language"}, {}, parsed, error)) {
        return Fail(kExitUsage, error);
    }
    return SetSettings(parsed);
}

}  // namespace zsync
