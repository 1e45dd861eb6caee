// The mass-storage device found among the drives, with test folders standing in for drives.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "device/drive_detection.h"
#include "temp_dir.h"

namespace {

class DriveDetection : public ::testing::Test {
protected:
    void TearDown() override { unsetenv("ZARNIK_DRIVES"); }
    std::string Drive(const std::string& name, const char* dataPath) {
        std::string root = dir_.file(name);
        std::filesystem::create_directories(root);
        if (dataPath != nullptr) {
            const std::string file = root + "/" + dataPath;
            std::filesystem::create_directories(std::filesystem::path(file).parent_path());
            testsupport::WriteWholeFile(file, "zip");
        }
        return root;
    }
    testsupport::TempDir dir_;
};

TEST_F(DriveDetection, TheFirstDriveHoldingTheNavigatorDataWins) {
    const std::string card = Drive("card", nullptr);                       // no data: passed over
    const std::string other = Drive("other", "VyoMap/Vyomap/notes.txt");   // the folder, not the file
    const std::string first = Drive("first", "VYOMAP/vyomap/DATA.ZIP");    // any letter case
    const std::string second = Drive("second", "VyoMap/Vyomap/data.zip");
    const std::string folder = Drive("folder", "VyoMap/Vyomap/data.zip/inside");  // a folder of that name
    const struct {
        std::string drives;
        int found;
        std::string drive;
    } cases[] = {
        {card + ":" + other + ":" + first + ":" + second, 1, first},
        {second + ":" + first, 1, second},
        {card + ":" + other, 0, ""},
        {folder + ":" + second, 1, second},
        {dir_.file("not-there") + "::" + second, 1, second},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.drives);
        device::deviceDrive = "stale";
        setenv("ZARNIK_DRIVES", c.drives.c_str(), 1);
        EXPECT_EQ(device::FindDeviceDrive("VyoTrailwiser1"), c.found);
        EXPECT_EQ(device::deviceDrive, c.drive);
    }
    EXPECT_TRUE(platform::FindBelowIgnoringCase(first, "\\..\\first\\VyoMap\\Vyomap\\data.zip").empty());
    EXPECT_EQ(platform::FindBelowIgnoringCase(first, "\\vyomap\\VYOMAP\\data.zip"), first + "/VYOMAP/vyomap/DATA.ZIP");
}

}  // namespace
