// The session's settings: every value checked before anything is stored, and a refusal or a
// damaged store reported with its own code, the store's bytes left as they were.
#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/session.h"
#include "temp_dir.h"

namespace {

using engine::PcFailure;
using testsupport::ReadWholeFile;

constexpr auto kRefused = static_cast<std::int32_t>(PcFailure::kSettingsRefused);
constexpr auto kStore = static_cast<std::int32_t>(PcFailure::kSettingsStore);

TEST(SessionSettings, RefusesBadValuesAndDamagedStoresWithoutWriting) {
    const std::string kDamaged = "this is no settings line\n";
    const struct {
        const char* what;
        engine::SettingValue engine::SettingsChange::*field;
        std::string text;
        bool damagedStore;
        std::int32_t code;
        std::string message;  // the start of what the user is told
    } cases[] = {
        {"a name of 256 bytes", &engine::SettingsChange::registrar, std::string(256, 'n'), false,
         kRefused, "-x takes at most 255 bytes; the text given has 256"},
        {"an e-mail of two lines", &engine::SettingsChange::email, "a@b\nc", false,
         kRefused, "-x takes one line of text"},
        {"a secure address", &engine::SettingsChange::url, "https://h/", false,
         kRefused, "-x https://h/: the address must begin with http://"},
        {"another port", &engine::SettingsChange::url, "http://h:8080/", false,
         kRefused, "-x http://h:8080/: the service is always reached on port 80"},
        {"a language by name", &engine::SettingsChange::language, "english", false,
         kRefused, "-x english: a language is given by its locale number"},
        {"a model past the list", &engine::SettingsChange::device, "2", false,
         kRefused, "--device: no model 2 in "},
        {"a good name in a damaged store", &engine::SettingsChange::registrar, "Ann", true,
         kStore, "the settings store "},
        {"a good name", &engine::SettingsChange::registrar, "Ann", false, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::TempDir work;
        setenv("ZARNIK_SETTINGS", work.file("settings.reg").c_str(), 1);
        setenv("ZARNIK_HOME", work.path().c_str(), 1);
        testsupport::WriteWholeFile(work.file("devices.ini"), "A:M1:ST\nB:MA\n");
        if (c.damagedStore) testsupport::WriteWholeFile(work.file("settings.reg"), kDamaged);
        engine::SettingsChange change;
        change.*c.field = {"-x", true, c.text};
        engine::Session session;
        std::string warning;
        const engine::Outcome saved = session.SaveSettings(change, warning);
        EXPECT_EQ(saved.code(), c.code);
        EXPECT_EQ(saved.message().rfind(c.message, 0), 0u) << saved.message();
        if (c.damagedStore) {
            EXPECT_EQ(ReadWholeFile(work.file("settings.reg")), kDamaged);
            EXPECT_TRUE(session.LoadSettings().Is(PcFailure::kSettingsStore));
        } else {
            ASSERT_TRUE(session.LoadSettings().ok());
            EXPECT_STREQ(session.settings().registration.registrar, c.code == 0 ? "Ann" : "");
            EXPECT_EQ(session.settings().keyExists, c.code == 0);
        }
    }
    unsetenv("ZARNIK_SETTINGS");
    unsetenv("ZARNIK_HOME");
}

}  // namespace
