// devices.ini as the settings lists and LoadProfile read it.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "device/device_profile.h"
#include "platform/resources.h"
#include "temp_dir.h"

namespace {

using device::TransportKind;

TEST(DeviceProfile, ModelsTransportsAndRestartFlagsOfEachLine) {
    testsupport::TempDir dir;
    const std::string ini = dir.file("devices.ini");
    testsupport::WriteWholeFile(ini, "A:M1:ST\n\nB:MA\nC:XY\nlower:ma:st\r\nno fields at all\n:M2:ST\n" +
                                         std::string(300, 'n') + ":M2\nlast:M2:ST");
    const struct {
        std::uint32_t index;
        const char* name;
        TransportKind transport;
        int restart;
        const char* camera;
    } cases[] = {
        {0, "A", TransportKind::kKlx, 1, "\\My Flash Disk\\VyoMap\\VyoMap\\VyoTC\\pois\\zarniks.mtc"},
        {1, "B", TransportKind::kDrive, 0, "\\VyoMap\\VyoMap\\VyoTC\\pois\\zarniks.mtc"},  // the empty line is no model
        {2, "C", TransportKind::kRapi, 0, "\\Storage Card\\VyoMap\\VyoTC\\pois\\zarniks.mtc"},
        {3, "lower", TransportKind::kRapi, 0, "\\Storage Card\\VyoMap\\VyoTC\\pois\\zarniks.mtc"},  // codes keep case
        {4, "no fields at all", TransportKind::kRapi, 0, "\\Storage Card\\VyoMap\\VyoTC\\pois\\zarniks.mtc"},
        // A line is cut to 255 characters (its code went with the rest), a name to 29.
        {5, "nnnnnnnnnnnnnnnnnnnnnnnnnnnnn", TransportKind::kRapi, 0, "\\Storage Card\\VyoMap\\VyoTC\\pois\\zarniks.mtc"},
        {6, "last", TransportKind::kKlxp, 1, "\\My Flash Disk\\VyoMap\\VyoMap\\VyoTC\\pois\\zarniks.mtc"},
    };
    std::vector<device::DeviceModel> models;
    ASSERT_TRUE(device::ReadDeviceModels(ini, models));
    ASSERT_EQ(models.size(), std::size(cases));  // ":M2:ST" has no name: no model
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        EXPECT_EQ(models[c.index].name, c.name);
        device::DeviceProfile profile;
        ASSERT_EQ(device::LoadProfile(ini, c.index, profile), 1);
        EXPECT_EQ(profile.transport, c.transport);
        EXPECT_EQ(profile.restartNavigator, c.restart);
        EXPECT_EQ(profile.cameraFilePath, c.camera);
        EXPECT_EQ(profile.personalUpdatesPath.substr(0, profile.personalUpdatesPath.rfind('\\')),
                  profile.cameraFilePath.substr(0, profile.cameraFilePath.rfind('\\')));
    }

    // An index past the models keeps the profile in force; a missing file gives 0.
    device::DeviceProfile kept = device::ProfileForCode("MA", "");
    EXPECT_EQ(device::LoadProfile(ini, 7, kept), 1);
    EXPECT_EQ(kept.transport, TransportKind::kDrive);
    EXPECT_EQ(device::LoadProfile(dir.file("missing.ini"), 0, kept), 0);
    EXPECT_EQ(kept.transport, TransportKind::kDrive);

    // The working folder's file wins over the installed one.
    EXPECT_EQ(device::DevicesIniPath(platform::WorkFolder(dir.path())), ini);
    testsupport::TempDir empty;
    EXPECT_NE(device::DevicesIniPath(platform::WorkFolder(empty.path())), empty.file("devices.ini"));
}

// The models shipped with the programs: every name whole in the lists (a longer one would show
// cut), and each line keeps its transport and restart flag, since stored choices name lines.
TEST(DeviceProfile, ShippedModelsFitTheirFieldsAndKeepTheirLines) {
    const std::string ini = platform::ResourceFolder() + "/devices.ini";
    const struct {
        const char* code;
        int restart;
    } lines[] = {{"M1", 1}, {"M1", 1}, {"M2", 1}, {"M2", 1}, {"MA", 0}, {"MA", 0}, {"RA", 0}, {"RA", 0}};
    std::vector<device::DeviceModel> models;
    ASSERT_TRUE(device::ReadDeviceModels(ini, models)) << ini;
    ASSERT_EQ(models.size(), std::size(lines));
    std::istringstream text(testsupport::ReadWholeFile(ini));
    std::string line;
    for (std::size_t i = 0; i < models.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(std::getline(text, line));
        EXPECT_EQ(models[i].name, line.substr(0, line.find(':')));
        EXPECT_EQ(models[i].transportCode, lines[i].code);
        EXPECT_EQ(models[i].profile.restartNavigator, lines[i].restart);
    }
}

}  // namespace
