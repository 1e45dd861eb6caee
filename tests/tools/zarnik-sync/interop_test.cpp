// The exports read by programs nobody here wrote, GDAL's ogrinfo and gpsbabel (scripts/setup
// installs both): they find every camera at its position in each format, and the files gpsbabel
// writes come back in as reports at the same positions.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "engine/change_record.h"
#include "run_tool.h"
#include "service/cache_file.h"
#include "temp_dir.h"

namespace {

using service::CameraRecord;
using tooltest::RunProgram;
using tooltest::RunZarnikSync;

constexpr std::size_t kCameras = 250;

std::string Degrees(std::int32_t micro) {
    char text[32];
    const long long value = micro < 0 ? -static_cast<long long>(micro) : micro;
    std::snprintf(text, sizeof text, "%s%lld.%06lld", micro < 0 ? "-" : "", value / 1000000, value % 1000000);
    return text;
}

// The latitude and longitude columns of gpsbabel's unicsv, one "lat,lon" line per point.
std::string Positions(const std::string& unicsv) {
    std::istringstream lines(unicsv);
    std::string line, positions;
    std::getline(lines, line);  // No,Latitude,Longitude,Name
    while (std::getline(lines, line)) {
        const std::size_t first = line.find(',');
        const std::size_t third = line.find(',', line.find(',', first + 1) + 1);
        positions += line.substr(first + 1, third - first - 1) + "\n";
    }
    return positions;
}

TEST(Interop, MapProgramsReadEveryExportAndWriteFilesTheImportTakes) {
    testsupport::TempDir work;
    setenv("ZARNIK_HOME", work.file("home").c_str(), 1);
    std::filesystem::create_directories(work.file("home"));
    std::vector<CameraRecord> cameras(kCameras);
    std::string expected;
    for (std::size_t i = 0; i < kCameras; ++i) {
        CameraRecord& r = cameras[i];
        r = {};
        r.latitude = static_cast<std::int32_t>((i * 7919003) % 180000001) - 90000000;
        r.longitude = static_cast<std::int32_t>((i * 15485863) % 360000001) - 180000000;
        r.direction = -1;
        r.category = static_cast<std::int32_t>(i % 5);
        r.flag = 1;
        std::snprintf(r.name, sizeof r.name, i % 2 == 0 ? "cam %zu" : "M\xc3\xbcnchen %zu", i);
        expected += Degrees(r.latitude) + "," + Degrees(r.longitude) + "\n";
    }
    ASSERT_TRUE(service::WriteCacheFile(work.file("cameras.cache"), cameras.data(), cameras.size()));

    const struct {
        const char* format;
        const char* babel;  // gpsbabel's name of the format
        std::vector<std::string> ogrOptions;
    } formats[] = {
        {"gpx", "gpx", {}},
        {"csv", "unicsv", {"-oo", "X_POSSIBLE_NAMES=longitude", "-oo", "Y_POSSIBLE_NAMES=latitude"}},
        {"geojson", "geojson", {}},
        {"kml", "kml", {}},
    };
    for (const auto& f : formats) {
        SCOPED_TRACE(f.format);
        const std::string file = std::string("cameras.") + f.format;
        ASSERT_EQ(RunZarnikSync({"export", "--format", f.format, "--cache", "cameras.cache", "--out", file}, work.path()).status,
                  0);
        std::vector<std::string> ogr = {"-ro", "-so", "-al"};
        ogr.insert(ogr.end(), f.ogrOptions.begin(), f.ogrOptions.end());
        ogr.push_back(file);
        const auto info = RunProgram("ogrinfo", ogr, work.path());
        ASSERT_EQ(info.status, 0) << "ogrinfo (gdal-bin, scripts/setup): " << info.err;
        EXPECT_NE(info.out.find("Feature Count: " + std::to_string(kCameras)), std::string::npos) << info.out;
        const auto babel = RunProgram("gpsbabel", {"-i", f.babel, "-f", file, "-o", "unicsv", "-F", "-"}, work.path());
        ASSERT_EQ(babel.status, 0) << "gpsbabel (scripts/setup): " << babel.err;
        EXPECT_EQ(Positions(babel.out), expected);
    }
    for (const char* written : {"gpx", "unicsv"}) {
        SCOPED_TRACE(written);
        std::filesystem::remove(work.file("home/poiupdates.upd"));
        ASSERT_EQ(RunProgram("gpsbabel", {"-i", "unicsv", "-f", "cameras.csv", "-o", written, "-F", "babel"}, work.path()).status,
                  0);
        const auto imported = RunZarnikSync({"import-reports", "babel"}, work.path());
        ASSERT_EQ(imported.status, 0) << imported.err;
        std::vector<engine::ChangeRecord> reports;
        ASSERT_TRUE(engine::ReadChangeRecords(work.file("home/poiupdates.upd"), reports));
        std::string positions;
        for (const auto& r : reports) positions += Degrees(r.latitude) + "," + Degrees(r.longitude) + "\n";
        EXPECT_EQ(positions, expected);
    }
    unsetenv("ZARNIK_HOME");
}

}  // namespace
