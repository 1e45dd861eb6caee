// zarnik-sync settings: show the registration data and choices, or set them.
#include <cstdio>
#include <cstdlib>

#include "commands.h"
#include "options.h"
#include "platform/app_config.h"
#include "platform/registry.h"

namespace zsync {

namespace {

int ShowSettings() {
    AppConfig config;
    const platform::StoredSettings stored = platform::LoadAppConfig(config);
    std::printf("store     %s\n", platform::SettingsStorePath().c_str());
    std::printf("name      %s\nserial    %s\nemail     %s\n", config.registrar, config.serial, config.email);
    std::printf("url       %s\nlanguage  %s\n", stored.url, config.language);
    if (stored.deviceSet) {
        std::printf("device    %u\n", config.device);
    } else {
        std::printf("device    (not set)\n");
    }
    return kExitOk;
}

int SetSettings(const ParsedArgs& parsed) {
    AppConfig config;
    platform::LoadAppConfig(config);
    platform::CRegistry key;
    if (!key.Open(platform::LocalMachineRoot(), platform::kSettingsKey, true)) {
        return Fail(kExitFailed, "cannot write the settings store " + platform::SettingsStorePath());
    }
    const struct {
        const char* option;
        const char* value;
    } texts[] = {{"--name", "Registrar"}, {"--serial", "Serial"}, {"--email", "Email"},
                 {"--url", "Url"},        {"--language", "Language"}};
    for (const auto& t : texts) {
        const auto it = parsed.values.find(t.option);
        if (it != parsed.values.end() && !key.SetString(t.value, it->second.c_str())) {
            return Fail(kExitFailed, std::string("cannot store ") + t.value);
        }
    }
    if (const auto it = parsed.values.find("--device"); it != parsed.values.end()) {
        char* end = nullptr;
        const unsigned long device = std::strtoul(it->second.c_str(), &end, 10);
        if (it->second.empty() || *end != '\0' || device > 0xffffffffUL) return Fail(kExitUsage, "--device takes a number");
        if (!key.SetDword("Device", static_cast<std::uint32_t>(device))) return Fail(kExitFailed, "cannot store Device");
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
