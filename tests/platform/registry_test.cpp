#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/app_config.h"
#include "platform/registry.h"
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
    AppConfig config;
    const platform::StoredSettings stored = platform::LoadAppConfig(config);
    EXPECT_STREQ(config.language, "1033");
    EXPECT_FALSE(stored.deviceSet);
    EXPECT_EQ(config.device, 0U);
    EXPECT_STREQ(config.registrar, "Ann");
    EXPECT_STREQ(config.email, "");

    char registrar[256], email[256], serial[256];
    EXPECT_FALSE(platform::ReadRegistration(registrar, email, serial));  // "Email" is a number

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

TEST_F(RegistryTest, OverLongTextsAreCutToTheirFieldsAndTerminated) {
    const std::string longName(1000, 'n');
    const std::string longLanguage = "10331033103310331033103310331033";
    ASSERT_TRUE(platform::SaveRegistration(longName.c_str(), "serial", "a@b.c", longLanguage.c_str(), 3));

    AppConfig config;
    std::memset(config.registrar, 'x', sizeof config.registrar);
    const platform::StoredSettings stored = platform::LoadAppConfig(config);
    EXPECT_EQ(std::string(config.registrar), longName.substr(0, 255));
    EXPECT_EQ(std::string(config.language), longLanguage.substr(0, 19));
    EXPECT_TRUE(stored.deviceSet);
    EXPECT_EQ(config.device, 3U);

    char small[8];
    CRegistry key;
    ASSERT_TRUE(key.Open(LocalMachineRoot(), kSettingsKey, false));
    ASSERT_TRUE(key.GetString("Registrar", small, sizeof small));
    EXPECT_STREQ(small, "nnnnnnn");
}

TEST_F(RegistryTest, SettingsSurviveAReloadAndTextsKeepEveryByte) {
    const std::string odd = "quote\" backslash\\ tab\t newline\n caf\xc3\xa9 end";
    ASSERT_TRUE(platform::SaveRegistration(odd.c_str(), "S", "E", "1036", 0));
    ASSERT_TRUE(platform::SaveAlertId(-1));
    char registrar[256], email[256], serial[256];
    ASSERT_TRUE(platform::ReadRegistration(registrar, email, serial));
    EXPECT_EQ(std::string(registrar), odd);
    AppConfig config;
    EXPECT_EQ(platform::LoadAppConfig(config).alertId, -1);
    EXPECT_STREQ(config.language, "1036");
}

TEST_F(RegistryTest, MissingKeyAndClosedWrapper) {
    CRegistry key;
    EXPECT_TRUE(key.Close());  // nothing open: success, nothing done
    EXPECT_FALSE(key.Open(LocalMachineRoot(), kSettingsKey, false));
    EXPECT_FALSE(key.is_open());
    char registrar[256], email[256], serial[256];
    EXPECT_FALSE(platform::ReadRegistration(registrar, email, serial));
    AppConfig config;
    const platform::StoredSettings stored = platform::LoadAppConfig(config);
    EXPECT_STREQ(config.baseUrl, platform::kAlternativeServiceBaseUrl);
    EXPECT_STREQ(stored.url, platform::kDefaultServerAddressFolder);
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
    AppConfig config;
    const platform::StoredSettings stored = platform::LoadAppConfig(config);
    EXPECT_STREQ(config.registrar, "Bob");
    EXPECT_STREQ(config.serial, "");
    EXPECT_FALSE(stored.deviceSet);
    EXPECT_EQ(stored.alertId, 7);
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
