#include <gtest/gtest.h>

#include <filesystem>
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
    };
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
    };
    for (const std::string& path : hostile) {
        std::string host;
        EXPECT_EQ(fs.Resolve(path, host), Status::kBadPath) << path;
    }
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
    };
    for (const Case& c : cases) EXPECT_EQ(MatchesPattern(c.name, c.pattern), c.match) << c.name << " " << c.pattern;
}

}  // namespace
}  // namespace devagent
