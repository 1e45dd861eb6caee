#include <gtest/gtest.h>

#include <clocale>
#include <cwctype>
#include <filesystem>
#include <locale.h>
#include <string>

#include "temp_dir.h"
#include "tools/devagent/device_fs.h"

namespace devagent {
namespace {

using klxpwire::Status;

TEST(DeviceFsTest, DevicePathsMapCaseInsensitivelyIntoTheFolder) {
    testsupport::TempDir root;
    std::filesystem::create_directories(root.file("My Flash Disk/VyoMap/\xC3\x84rger"));
    const DeviceFs fs(root.path());
    struct Case {
        const char* device;
        std::string host;
    };
    const Case cases[] = {
        {"\\", root.path()},
        {"\\my flash disk\\VYOMAP", root.file("My Flash Disk/VyoMap")},
        {"\\MY FLASH DISK\\vyomap\\\xC3\xA4RGER\\New.File", root.file("My Flash Disk/VyoMap/\xC3\x84rger/New.File")},
        {"\\\\My Flash Disk\\\\x", root.file("My Flash Disk/x")},
        {"\\New\\Deeper\\File", root.file("New/Deeper/File")},
        {"\\a/b", root.file("a/b")},
        {"\\My Flash Disk.\\VyoMap. .\\x.txt.", root.file("My Flash Disk/VyoMap/x.txt")},
        {"\\MY FLASH DISK \\NEW. ", root.file("My Flash Disk/NEW")},
        {"\\old.", root.file("old.")},  // a host entry with a trailing dot is still found
    };
    std::filesystem::create_directories(root.file("old."));
    for (const Case& c : cases) {
        std::string host;
        ASSERT_EQ(fs.Resolve(c.device, host), Status::kOk) << c.device;
        EXPECT_EQ(host, c.host) << c.device;
    }
    EXPECT_EQ(fs.DevicePathOf(root.file("My Flash Disk/x")), "\\My Flash Disk\\x");
}

TEST(DeviceFsTest, NoPathEscapesTheFolder) {
    testsupport::TempDir root;
    std::filesystem::create_directory_symlink("/", root.file("up"));
    const DeviceFs fs(root.path());
    const std::string hostile[] = {
        "", "relative", "/etc/passwd", "C:\\Windows", "\\..", "\\a\\..\\..\\b", "\\.\\a", "\\a\\.",
        std::string("\\a\0b", 4), "\\a:b", "\\up\\etc\\passwd", "\\up", "\\a\001b", "\\a*b", "\\a?b", "\\a|b",
        "\\...", "\\ ", "\\a\\. .", "\\" + std::string(256, 'n'),
    };
    for (const std::string& path : hostile) {
        std::string host;
        EXPECT_EQ(fs.Resolve(path, host), Status::kBadPath) << path;
    }
}

// Letters compare as the device's file system compares them: the Unicode simple upper case
// of Latin-1 and Latin Extended-A, the C.UTF-8 locale serving as an independent reference.
TEST(DeviceFsTest, NamesFoldCaseThroughLatin1AndLatinExtendedA) {
    const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    if (utf8 != nullptr) {
        for (char16_t u = 0x20; u <= 0x17F; ++u) {
            EXPECT_EQ(static_cast<wint_t>(UpperCaseUnit(u)), towupper_l(u, utf8)) << std::hex << static_cast<int>(u);
        }
        freelocale(utf8);
    }
    struct Case {
        const char* a;
        const char* b;
        bool same;
    };
    const Case cases[] = {
        {"\xC3\xBF", "\xC5\xB8", true},    // y with diaeresis, both cases (Windows-1252 0xFF / 0x9F)
        {"\xC5\x93", "\xC5\x92", true},    // oe ligature (0x9C / 0x8C)
        {"\xC5\xBE", "\xC5\xBD", true},    // z with caron (0x9E / 0x8E)
        {"\xC4\x81", "\xC4\x80", true},    // a with macron
        {"\xC4\xB3", "\xC4\xB2", true},    // ij ligature
        {"\xC5\x82", "\xC5\x81", true},    // l with stroke
        {"\xC4\xBA", "\xC4\xB9", true},    // l with acute: capital on the odd code point
        {"\xC4\xB1", "I", true},             // dotless i
        {"\xC5\xBF", "S", true},             // long s
        {"\xC2\xB5", "\xCE\x9C", true},    // micro sign and capital mu
        {"\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89", true},
        {"\xC4\xB0", "i", false},            // capital I with dot stays itself
        {"\xC3\x9F", "ss", false},
        {"\xC3\x97", "\xC3\xB7", false},   // multiplication and division signs are no letters
        {"\xC4\xB8", "K", false},            // kra has no capital
    };
    for (const Case& c : cases) EXPECT_EQ(SameName(c.a, c.b), c.same) << c.a << " " << c.b;
}

TEST(DeviceFsTest, WildcardsMatchLikeWindows) {
    struct Case {
        const char* name;
        const char* pattern;
        bool match;
    };
    const Case cases[] = {
        {"zarniks.mtc", "*.*", true},   {"README", "*.*", true},        {"a.UPD", "*.upd", true},
        {"a.updx", "*.upd", false},     {"poi1.upd", "poi?.upd", true}, {"poi12.upd", "poi?.upd", false},
        {"abc", "a*c", true},           {"abcbc", "a*bc", true},        {"ab", "a*c", false},
        {"", "*", true},                {"x", "", false},
        {"\xC3\xA9.upd", "?.UPD", true},  {"\xC3\xBF.upd", "\xC5\xB8*", true},
    };
    for (const Case& c : cases) EXPECT_EQ(MatchesPattern(c.name, c.pattern), c.match) << c.name << " " << c.pattern;
}

}  // namespace
}  // namespace devagent
