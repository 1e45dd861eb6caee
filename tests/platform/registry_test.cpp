#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/registry.h"
#include "platform/settings.h"
#include "temp_dir.h"

using platform::CRegistry;
using platform::kSettingsKey;
using platform::LocalMachineRoot;

namespace {

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("ZARNIK_SETTINGS", dir_.file("settings.reg").c_str(), 1); }
    void TearDown() override { unsetenv("ZARNIK_SETTINGS"); }
    testsupport::TempDir dir_;
};

TEST_F(RegistryTest, ValuesOfTheWrongTypeCountAsMissing) {
    {
        CRegistry key;
        ASSERT_TRUE(key.Open(LocalMachineRoot(), kSettingsKey, true));
        ASSERT_TRUE(key.SetDword("Language", 1031));  // a number where text belongs
        ASSERT_TRUE(key.SetString("Device", "2"));    // text where a number belongs
        ASSERT_TRUE(key.SetString("Registrar", "Ann"));
        ASSERT_TRUE(key.SetString("Serial", "S-1"));
        ASSERT_TRUE(key.SetDword("Email", 7));
    }
    const platform::StoredSettings stored = platform::ReadStoredSettings();
    EXPECT_STREQ(stored.language, "1033");
    EXPECT_FALSE(stored.deviceSet);
    EXPECT_EQ(stored.device, 0U);
    EXPECT_STREQ(stored.registration.registrar, "Ann");
    EXPECT_STREQ(stored.registration.email, "");

    platform::Registration who;
    EXPECT_FALSE(platform::ReadRegistration(who));  // "Email" is a number

    CRegistry key;
    ASSERT_TRUE(key.Open(LocalMachineRoot(), kSettingsKey, false));
    std::uint32_t number = 0;
    char text[256];
    const struct {
        const char* name;
        bool asText;
        bool expected;
    } cases[] = {{"Language", true, false}, {"Language", false, true}, {"Device", true, true},
                 {"Device", false, false},  {"Missing", true, false},  {"Missing", false, false}};
    for (const auto& c : cases) {
        const bool got = c.asText ? key.GetString(c.name, text, sizeof text) : key.GetDword(c.name, number);
        EXPECT_EQ(got, c.expected) << c.name << (c.asText ? " as text" : " as number");
    }
    EXPECT_FALSE(key.GetBinary("Registrar", text, sizeof text));
}

TEST_F(RegistryTest, OverLongTextsCountAsMissingInsteadOfBeingCut) {
    const std::string longName(256, 'n');
    const std::string longLanguage = "10331033103310331033";  // 20 characters: one too many
    {
        CRegistry key;  // written directly: the registration type refuses texts this long
        ASSERT_TRUE(key.Open(LocalMachineRoot(), kSettingsKey, true));
        ASSERT_TRUE(key.SetString("Registrar", longName.c_str()) && key.SetString("Serial", "serial") &&
                    key.SetString("Email", "a@b.c") && key.SetString("Language", longLanguage.c_str()) &&
                    key.SetDword("Device", 3));
    }
    const platform::StoredSettings stored = platform::ReadStoredSettings();
    EXPECT_STREQ(stored.registration.registrar, "");  // a cut name would log on as someone else
    EXPECT_STREQ(stored.language, "1033");
    EXPECT_TRUE(stored.deviceSet);
    EXPECT_EQ(stored.device, 3U);
    platform::Registration who;
    EXPECT_FALSE(platform::ReadRegistration(who));
    EXPECT_FALSE(platform::MakeRegistration(longName.c_str(), "s", "e", who));

    CRegistry key;
    ASSERT_TRUE(key.Open(LocalMachineRoot(), kSettingsKey, false));
    char small[8] = "keep";
    EXPECT_FALSE(key.GetString("Serial", small, 6));  // "serial" needs 7 bytes
    EXPECT_STREQ(small, "keep");
    EXPECT_TRUE(key.GetString("Serial", small, 7));
    EXPECT_STREQ(small, "serial");
    ASSERT_TRUE(platform::MakeRegistration(longName.substr(1).c_str(), "s", "e", who));  // 255 characters fit
    ASSERT_TRUE(platform::SaveRegistration(who, "1031", 0));
    EXPECT_TRUE(platform::ReadRegistration(who));
    EXPECT_EQ(std::string(who.registrar), longName.substr(1));
}

TEST_F(RegistryTest, SettingsSurviveAReloadAndTextsKeepEveryByte) {
    const std::string odd = "quote\" backslash\\ tab\t newline\n caf\xc3\xa9 end";
    platform::Registration who;
    ASSERT_TRUE(platform::MakeRegistration(odd.c_str(), "S", "E", who));
    ASSERT_TRUE(platform::SaveRegistration(who, "1036", 0));
    ASSERT_TRUE(platform::SaveAlertId(-1));
    platform::Registration read;
    ASSERT_TRUE(platform::ReadRegistration(read));
    EXPECT_EQ(std::string(read.registrar), odd);
    const platform::StoredSettings stored = platform::ReadStoredSettings();
    EXPECT_EQ(stored.alertId, -1);
    EXPECT_STREQ(stored.language, "1036");
}

TEST_F(RegistryTest, MissingKeyAndClosedWrapper) {
    CRegistry key;
    EXPECT_TRUE(key.Close());  // nothing open: success, nothing done
    EXPECT_FALSE(key.Open(LocalMachineRoot(), kSettingsKey, false));
    EXPECT_FALSE(key.is_open());
    platform::Registration who;
    EXPECT_FALSE(platform::ReadRegistration(who));
    const platform::StoredSettings stored = platform::ReadStoredSettings();
    EXPECT_STREQ(stored.url, "");  // start-up then asks the default folder
    EXPECT_EQ(stored.alertId, -1);
    EXPECT_FALSE(stored.keyExists);
}

TEST_F(RegistryTest, AStoreFileWithGarbageLinesKeepsItsGoodValues) {
    testsupport::WriteWholeFile(dir_.file("settings.reg"),
                                "[HKEY_LOCAL_MACHINE\\Software\\Korva\\vyoSync]\n"
                                "\"Device\"=dword:zz\n"
                                "garbage line\n"
                                "\"Serial\"=sz:\"unterminated\n"
                                "\"Registrar\"=sz:\"Bob\"\r\n"
                                "\"AlertID\"=dword:00000007\n");
    const platform::StoredSettings stored = platform::ReadStoredSettings();
    EXPECT_STREQ(stored.registration.registrar, "Bob");
    EXPECT_STREQ(stored.registration.serial, "");
    EXPECT_FALSE(stored.deviceSet);
    EXPECT_EQ(stored.alertId, 7);

    // Writing would drop what the damaged lines held: every write is refused, the file stays.
    const std::string before = testsupport::ReadWholeFile(dir_.file("settings.reg"));
    EXPECT_NE(platform::SettingsStoreProblem().find("line 2"), std::string::npos);
    EXPECT_FALSE(platform::SaveRegistration(platform::Registration{}, "1033", 0));
    EXPECT_FALSE(platform::SaveAlertId(3));
    CRegistry key;
    ASSERT_TRUE(key.Open(LocalMachineRoot(), kSettingsKey, false));
    EXPECT_FALSE(key.DeleteValue("Registrar"));
    EXPECT_EQ(testsupport::ReadWholeFile(dir_.file("settings.reg")), before);
}

TEST_F(RegistryTest, TheStoreKeepsItsModeAndANewOneIsPrivate) {
    const std::string store = dir_.file("settings.reg");
    ASSERT_TRUE(platform::SaveAlertId(1));
    struct stat st {};
    ASSERT_EQ(stat(store.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600U);
    ASSERT_EQ(chmod(store.c_str(), 0640), 0);
    ASSERT_TRUE(platform::SaveAlertId(2));
    ASSERT_EQ(stat(store.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640U);
    EXPECT_EQ(platform::SettingsStoreProblem(), "");
}

// The user may not read the store but may write its folder: a write would replace every value
// with the one being set.
TEST_F(RegistryTest, AStoreThatCannotBeReadIsNeverReplaced) {
    const std::string store = dir_.file("settings.reg");
    platform::Registration who;
    ASSERT_TRUE(platform::MakeRegistration("Ann", "S-1", "a@b.c", who));
    ASSERT_TRUE(platform::SaveRegistration(who, "1033", 2));
    const std::string before = testsupport::ReadWholeFile(store);
    ASSERT_EQ(chmod(dir_.path().c_str(), 0777), 0);
    ASSERT_EQ(chmod(store.c_str(), 0), 0);
    // Root reads every file, so the attempt runs as an ordinary user in a child process.
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
        const bool reported = platform::SettingsStoreProblem().find("cannot read") != std::string::npos;
        const bool refused = !platform::SaveAlertId(3) && !CRegistry().Open(LocalMachineRoot(), kSettingsKey, true);
        _exit(reported && refused ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    ASSERT_EQ(chmod(store.c_str(), 0600), 0);
    EXPECT_EQ(testsupport::ReadWholeFile(store), before);
}

TEST_F(RegistryTest, EnumeratesAndDeletes) {
    CRegistry key;
    ASSERT_TRUE(key.Open(LocalMachineRoot(), "Software\\Korva", true));
    CRegistry child;
    ASSERT_TRUE(child.Open(LocalMachineRoot(), "Software\\Korva\\vyoSync", true));
    ASSERT_TRUE(child.SetString("Url", "http://x/"));
    ASSERT_TRUE(child.SetBinary("Blob", "\x00\x01\xff", 3));
    char name[64];
    std::uint32_t type = 0;
    ASSERT_TRUE(key.EnumKey(0, name, sizeof name));
    EXPECT_STREQ(name, "vyoSync");
    EXPECT_FALSE(key.EnumKey(1, name, sizeof name));
    ASSERT_TRUE(child.EnumValue(1, name, sizeof name, type));
    EXPECT_STREQ(name, "Blob");
    EXPECT_EQ(type, platform::kRegBinary);
    char blob[3];
    ASSERT_TRUE(child.GetBinary("blob", blob, sizeof blob));  // names ignore case
    EXPECT_EQ(std::memcmp(blob, "\x00\x01\xff", 3), 0);
    EXPECT_FALSE(key.DeleteKey(nullptr));  // a key with sub-keys stays
    EXPECT_TRUE(child.DeleteValue("Url"));
    EXPECT_FALSE(child.DeleteValue("Url"));
    EXPECT_TRUE(key.DeleteKey("vyoSync"));
    EXPECT_FALSE(CRegistry().Open(LocalMachineRoot(), kSettingsKey, false));
}

}  // namespace
