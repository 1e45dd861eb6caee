// The import as a session operation: what reaches ".\osm.cache", that a bad input leaves it
// byte for byte as it was, and how many cameras the camera file holds once they are merged.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/session.h"
#include "osm/camera_tags.h"
#include "osm_files.h"
#include "service/cache_file.h"
#include "temp_dir.h"

namespace {

class OsmImport : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("ZARNIK_HOME", work_.path().c_str(), 1);
        setenv("ZARNIK_SETTINGS", work_.file("settings.reg").c_str(), 1);
        ASSERT_TRUE(session_.OpenWorkingFolder(engine::Session::FolderUse::kCreate).ok());
    }
    void TearDown() override {
        unsetenv("ZARNIK_HOME");
        unsetenv("ZARNIK_SETTINGS");
    }
    std::string Cameras(const std::string& nodes) { return osmtest::WriteXml(inputs_, "cameras.osm", nodes); }

    testsupport::TempDir work_;
    testsupport::TempDir inputs_;
    engine::Session session_;
};

std::string CameraNode(int id, const char* lat, const char* lon, const char* direction = "90") {
    return "<node id='" + std::to_string(id) + "' lat='" + lat + "' lon='" + lon +
           "'><tag k='highway' v='speed_camera'/><tag k='direction' v='" + direction + "'/></node>\n";
}

TEST_F(OsmImport, BadInputsLeaveTheCacheAsItWas) {
    const std::string good = Cameras(CameraNode(1, "50", "8") + CameraNode(2, "51", "9"));
    const std::string pbf = osmtest::Convert(good, inputs_.file("good.osm.pbf"));
    engine::OsmImportSummary summary;
    ASSERT_TRUE(session_.ImportOsm({good}, summary).ok());
    ASSERT_EQ(summary.cameras, 2U);
    const std::string cache = session_.OsmCachePath();
    const std::string before = testsupport::ReadWholeFile(cache);
    const std::string sealBefore = testsupport::ReadWholeFile(service::SealPathOf(cache));
    ASSERT_EQ(before.size(), 160U);

    const std::string whole = testsupport::ReadWholeFile(pbf);
    testsupport::WriteWholeFile(inputs_.file("cut.osm.pbf"), whole.substr(0, whole.size() - 7));
    testsupport::WriteWholeFile(inputs_.file("half.osm.pbf"), whole.substr(0, whole.size() / 2));
    testsupport::WriteWholeFile(inputs_.file("empty.osm.pbf"), "");
    testsupport::WriteWholeFile(inputs_.file("text.osm.pbf"), "no protocol buffers here\n");
    testsupport::WriteWholeFile(inputs_.file("text.osm"), "not XML at all\n");
    testsupport::WriteWholeFile(inputs_.file("cut.osm"), testsupport::ReadWholeFile(good).substr(0, 90));
    testsupport::WriteWholeFile(inputs_.file("route.osm"), "<?xml version='1.0'?><gpx version='1.1'></gpx>");
    testsupport::WriteWholeFile(inputs_.file("bad.osm.gz"), std::string("\x1f\x8b\x08\x00", 4) + "not deflated");
    testsupport::WriteWholeFile(inputs_.file("cameras.csv"), "latitude,longitude\n50,8\n");
    std::filesystem::create_directory(inputs_.file("folder.osm"));
    const struct {
        std::vector<std::string> files;
        std::string blamed;
    } cases[] = {
        {{inputs_.file("missing.osm.pbf")}, inputs_.file("missing.osm.pbf")},
        {{inputs_.file("cut.osm.pbf")}, inputs_.file("cut.osm.pbf")},
        {{inputs_.file("half.osm.pbf")}, inputs_.file("half.osm.pbf")},
        {{inputs_.file("empty.osm.pbf")}, inputs_.file("empty.osm.pbf")},
        {{inputs_.file("text.osm.pbf")}, inputs_.file("text.osm.pbf")},
        {{inputs_.file("text.osm")}, inputs_.file("text.osm")},
        {{inputs_.file("cut.osm")}, inputs_.file("cut.osm")},
        {{inputs_.file("route.osm")}, inputs_.file("route.osm")},
        {{inputs_.file("bad.osm.gz")}, inputs_.file("bad.osm.gz")},
        {{inputs_.file("cameras.csv")}, inputs_.file("cameras.csv")},
        {{inputs_.file("folder.osm")}, inputs_.file("folder.osm")},
        // A good file first does not let the bad one after it through.
        {{pbf, inputs_.file("cut.osm.pbf")}, inputs_.file("cut.osm.pbf")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.blamed);
        const engine::Outcome outcome = session_.ImportOsm(c.files, summary);
        EXPECT_TRUE(outcome.Is(engine::PcFailure::kFileUnreadable));
        EXPECT_EQ(outcome.message(), "cannot read " + c.blamed);
        EXPECT_FALSE(outcome.cause().empty());
        EXPECT_EQ(testsupport::ReadWholeFile(cache), before);
        EXPECT_EQ(testsupport::ReadWholeFile(service::SealPathOf(cache)), sealBefore);
    }
    // And the PBF made from the good file gives the same cache.
    ASSERT_TRUE(session_.ImportOsm({pbf}, summary).ok());
    EXPECT_EQ(testsupport::ReadWholeFile(cache), before);
}

// The camera file holds the local cache's cameras and every OpenStreetMap camera that the
// duplicate test does not find among them; without a local cache the OpenStreetMap cameras alone.
TEST_F(OsmImport, CameraFileCountsLocalPlusTheNonDuplicates) {
    std::vector<service::CameraRecord> local(3, service::CameraRecord{});
    const struct {
        std::int32_t latitude, longitude, direction, category;
    } known[] = {{50000000, 8000000, 90, 30001}, {51000000, 9000000, 90, 2}, {52000000, 10000000, -1, 27515}};
    for (std::size_t i = 0; i < local.size(); ++i) {
        local[i].latitude = known[i].latitude;
        local[i].longitude = known[i].longitude;
        local[i].direction = known[i].direction;
        local[i].category = known[i].category;
        local[i].flag = 1;
    }
    service::CacheFileWriter writer;
    ASSERT_TRUE(writer.Open(session_.LocalCachePath(), service::Sealing::kSealed));
    ASSERT_TRUE(writer.AddAll(local.data(), local.size()) && writer.Commit());

    // 0.0003 degrees of latitude is about 33 m; 0.0006 about 67 m.
    const std::string osmFile =
        Cameras(CameraNode(1, "50.0003", "8", "100") +     // duplicate: wide class, 33 m, heading within 30
                CameraNode(2, "50.0003", "8.0001", "270") + // 33 m, the opposite way: kept
                CameraNode(3, "50.0006", "8", "90") +       // 67 m: kept
                CameraNode(4, "51.00005", "9", "90") +      // 6 m from a narrow-class camera: kept
                CameraNode(5, "52", "10", "90") +           // on a camera of category 27515: kept
                CameraNode(6, "49.99985", "8", "90;270"));  // both ways, 17 m: duplicate
    engine::OsmImportSummary imported;
    ASSERT_TRUE(session_.ImportOsm({osmFile}, imported).ok());
    ASSERT_EQ(imported.cameras, 6U);

    const struct {
        bool withLocal;
        bool withOsm;
        std::size_t cameras;
    } cases[] = {{true, true, 3 + 4}, {true, false, 3}, {false, true, 6}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.withLocal) + std::to_string(c.withOsm));
        const std::string out = work_.file("out.mtc");
        service::CameraFileSummary summary;
        const engine::Outcome built =
            session_.BuildCameraFile(c.withLocal ? session_.LocalCachePath() : work_.file("none.cache"), out, summary,
                                     c.withOsm ? session_.OsmCachePath() : std::string());
        ASSERT_TRUE(built.ok()) << built.message() << built.cause();
        EXPECT_EQ(summary.cameras, c.cameras);
        int counted = 0;
        ASSERT_TRUE(session_.CountCameraFile(out, counted).ok());
        EXPECT_EQ(static_cast<std::size_t>(counted), c.cameras);
    }

    // A damaged osm.cache builds no file rather than one without the user's cameras.
    testsupport::WriteWholeFile(session_.OsmCachePath(), std::string(80, 'x'));
    service::CameraFileSummary summary;
    EXPECT_TRUE(session_.BuildCameraFile(session_.LocalCachePath(), work_.file("bad.mtc"), summary,
                                         session_.OsmCachePath())
                    .Is(engine::PcFailure::kFileUnreadable));
    EXPECT_FALSE(testsupport::FileExists(work_.file("bad.mtc")));

    bool removed = false;
    ASSERT_TRUE(session_.ClearOsm(removed).ok());
    EXPECT_TRUE(removed);
    EXPECT_FALSE(testsupport::FileExists(session_.OsmCachePath()));
    EXPECT_FALSE(testsupport::FileExists(service::SealPathOf(session_.OsmCachePath())));
    ASSERT_TRUE(session_.ClearOsm(removed).ok());
    EXPECT_FALSE(removed);
}

}  // namespace
