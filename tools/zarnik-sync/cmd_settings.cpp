// zarnik-sync settings: show the registration data and choices, set them (each value checked
// first), or clear one.
#include <algorithm>
#include <cctype>
#include <cstdio>

#include "commands.h"
#include "engine/session.h"

namespace zsync {

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

}  // namespace

int RunSettingsShow(const Verbosity& /*verbosity*/) {
    engine::Session session;
    if (const engine::Outcome loaded = session.LoadSettings(); !loaded.ok()) return Fail(kExitFailed, loaded);
    const platform::StoredSettings& stored = session.settings();
    const platform::Registration& who = stored.registration;
    std::printf("store     %s\n", engine::Session::SettingsStorePath().c_str());
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
    if (!options.urlGiven && !options.nameGiven && !options.serialGiven && !options.emailGiven &&
        !options.deviceGiven && !options.languageGiven) {
        return Fail(kExitUsage, "settings set: give at least one of --url --name --serial --email --device --language");
    }
    engine::SettingsChange change;
    change.url = {"--url", options.urlGiven, options.url};
    change.registrar = {"--name", options.nameGiven, options.name};
    change.serial = {"--serial", options.serialGiven, options.serial};
    change.email = {"--email", options.emailGiven, options.email};
    change.language = {"--language", options.languageGiven, options.language};
    change.device = {"--device", options.deviceGiven, options.device};
    engine::Session session;
    std::string warning;
    if (const engine::Outcome saved = session.SaveSettings(change, warning); !saved.ok()) {
        return Fail(saved.Is(engine::PcFailure::kSettingsRefused) ? kExitUsage : kExitFailed, saved);
    }
    if (!warning.empty()) std::fprintf(stderr, "zarnik-sync: warning: %s\n", warning.c_str());
    return kExitOk;
}

int RunSettingsUnset(const std::string& name, const Verbosity& /*verbosity*/) {
    static const struct {
        const char* name;
        engine::Setting setting;
    } kNames[] = {{"url", engine::Setting::kUrl},       {"name", engine::Setting::kRegistrar},
                  {"serial", engine::Setting::kSerial}, {"email", engine::Setting::kEmail},
                  {"device", engine::Setting::kDevice}, {"language", engine::Setting::kLanguage}};
    const auto* found = std::find_if(std::begin(kNames), std::end(kNames), [&](const auto& n) {
        return Lower(name) == n.name || Lower(name) == Lower(engine::StoredName(n.setting));
    });
    if (found == std::end(kNames)) {
        return Fail(kExitUsage, "settings unset: " + name + " is none of url, name, serial, email, device, language");
    }
    engine::Session session;
    if (const engine::Outcome cleared = session.ClearSetting(found->setting); !cleared.ok()) {
        return Fail(kExitFailed, cleared);
    }
    return kExitOk;
}

}  // namespace zsync
