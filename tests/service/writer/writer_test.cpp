#include "service/camera_file/writer.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "camera_samples.h"
#include "literal_camera_file.h"
#include "mtc_golden.h"
#include "service/cache_file.h"
#include "service/camera_file/reader.h"
#include "temp_dir.h"

namespace {

using service::BuildCameraFile;
using service::BuildCameraFileFromCache;
using service::CountCameraFileRecords;
using testsupport::ReadWholeFile;
using testsupport::TempDir;
using testsupport::WriteWholeFile;

std::vector<std::string> FilesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
    return names;
}

service::CameraRecord Camera(std::int32_t latitude, std::int32_t longitude, const char* name = "cam") {
    service::CameraRecord c{};
    c.latitude = latitude;
    c.longitude = longitude;
    std::snprintf(c.name, sizeof c.name, "%s", name);
    return c;
}

TEST(CameraFileWriter, GoldenFilesComputedByHand) {
    const struct {
        const char* name;
        int cameras;
        std::size_t bytes;
    } cases[] = {{"one_camera", 1, 96},        {"two_in_one_cell", 2, 169},      {"latitude_zero", 2, 181},
                 {"latitude_pm_22499", 2, 169}, {"negative_cells", 3, 254}, {"equal_keys_scrambled", 3, 254}};
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string expected = ReadWholeFile(samples::MtcGolden(std::string(c.name) + ".mtc"));
        ASSERT_EQ(expected.size(), c.bytes);
        const std::string out = dir.file(std::string(c.name) + ".mtc");
        service::CameraFileSummary summary;
        ASSERT_EQ(BuildCameraFileFromCache(samples::MtcGolden(std::string(c.name) + ".cache"), out, &summary),
                  service::CameraFileResult::kWritten);
        EXPECT_EQ(ReadWholeFile(out), expected);
        EXPECT_EQ(summary.cameras, static_cast<std::size_t>(c.cameras));
        EXPECT_EQ(CountCameraFileRecords(out), c.cameras);

        std::vector<service::CameraRecord> cache;
        ASSERT_TRUE(service::ReadCacheFile(samples::MtcGolden(std::string(c.name) + ".cache"), cache));
        EXPECT_EQ(literal::CameraFileBytes(cache), expected);  // the reference agrees with the hand
    }
}

TEST(CameraFileWriter, CellsComputedByHand) {
    const struct {
        std::int32_t latitude, longitude, latitudeCell, longitudeCell, key;
    } cases[] = {
        {0, 22500, 0, 1, 65536},                // width exactly 22500 at the equator
        {0, 22499, 0, 0, 0},                    //
        {0, -22499, 0, 0, 0},                   // truncation toward zero, not down
        {0, -22501, 0, -1, -65536},             // 0xFFFF0000
        {22500, 0, 1, 0, 1},                    //
        {-22500, 0, -1, 0, -1},                 // negative latitude cell fills the upper half
        {-22500, 5000000, -1, 222, -1},         // whatever the longitude cell
        {45000000, 100000, 2000, 3, 198608},    // cos 45 deg: width 31819.8, 3.14 -> 3
        {60000000, 45000, 2666, 1, 68202},      // width 44999.99999999990: 1.000000000000002
        {60000000, -45000, 2666, -1, -62870},   // 0xFFFF0A6A
        {-2147483647 - 1, 2147483647, -95443, 93175, -29907},  // extremes stay defined
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.latitude << "," << c.longitude);
        const service::CellPosition cell = service::CellOf(c.latitude, c.longitude);
        EXPECT_EQ(cell.latitudeCell, c.latitudeCell);
        EXPECT_EQ(cell.longitudeCell, c.longitudeCell);
        EXPECT_EQ(cell.cellKey, c.key);
    }
}

TEST(CameraFileWriter, NamesAreAlwaysTerminatedAndZeroAfterTheTerminator) {
    service::CameraRecord full = Camera(1, 1);
    std::memset(full.name, 'x', sizeof full.name);  // 52 characters, no terminator
    service::CameraRecord leftover = Camera(1, 1, "short");
    std::memcpy(leftover.name + 6, "garbage", 7);
    service::CameraRecord fiftyOne = Camera(1, 1);
    std::memset(fiftyOne.name, 'y', 51);

    const struct {
        const char* what;
        service::CameraRecord camera;
        std::string expected;
    } cases[] = {{"52 characters", full, std::string(51, 'x')},
                 {"bytes after the terminator", leftover, "short"},
                 {"51 characters", fiftyOne, std::string(51, 'y')}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const service::DeviceCameraRecord d = service::MakeDeviceRecord(c.camera);
        std::string expected = c.expected;
        expected.resize(sizeof d.name, '\0');
        EXPECT_EQ(std::string(d.name, sizeof d.name), expected);
        EXPECT_EQ(std::string(service::MakeWorkRecord(c.camera).name), c.expected);
    }
}

TEST(CameraFileWriter, DevicePositionsTruncateTowardZero) {
    const service::DeviceCameraRecord d = service::MakeDeviceRecord(Camera(-52370009, 4890009));
    EXPECT_EQ(d.latitude, -5237000);
    EXPECT_EQ(d.longitude, 489000);
}

// Realistic caches with many cameras per cell, and one with very few cells so long runs of
// equal keys are interleaved with smaller ones.
TEST(CameraFileWriter, MatchesTheLiteralProcedureOnClusteredCaches) {
    TempDir dir;
    const std::string out = dir.file("zarniks.mtc");
    const struct {
        std::size_t cameras;
        std::size_t towns;
        std::uint32_t seed;
    } cases[] = {{1, 1, 1}, {2, 1, 2}, {50, 3, 3}, {700, 2, 4}, {2500, 20, 5}, {3000, 200, 6}, {1500, 1, 7},
                 {6000, 40, 8}};  // the last large enough for the work to be shared by two threads
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.cameras << " cameras around " << c.towns << " towns");
        const std::vector<service::CameraRecord> cache = samples::ClusteredCameras(c.cameras, c.seed, c.towns);
        ASSERT_EQ(BuildCameraFile(cache, out), service::CameraFileResult::kWritten);
        const std::string written = ReadWholeFile(out);
        ASSERT_EQ(written, literal::CameraFileBytes(cache));
        service::CameraFileContents back;
        std::string problem;
        EXPECT_TRUE(service::ReadCameraFileBack(out, back, &problem)) << problem;
        EXPECT_EQ(back.cameras.size(), c.cameras);
    }
}

TEST(CameraFileWriter, NothingToWriteLeavesTheEarlierFileAlone) {
    TempDir dir;
    const std::string out = dir.file("zarniks.mtc");
    const std::string cache = dir.file("local.cache");
    const struct {
        const char* what;
        const char* cacheBytes;  // nullptr: no cache file
        std::size_t size;
    } cases[] = {{"missing cache", nullptr, 0}, {"empty cache", "", 0}, {"only a partial record", "0123456789", 10}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(cache);
        if (c.cacheBytes != nullptr) WriteWholeFile(cache, std::string(c.cacheBytes, c.size));
        WriteWholeFile(out, "earlier file");
        service::CameraFileSummary summary{9, 9};
        EXPECT_EQ(BuildCameraFileFromCache(cache, out, &summary), service::CameraFileResult::kWritten);
        EXPECT_EQ(ReadWholeFile(out), "earlier file");
        EXPECT_EQ(summary.cameras, 0U);
        std::filesystem::remove(out);
        EXPECT_EQ(BuildCameraFileFromCache(cache, out), service::CameraFileResult::kWritten);
        EXPECT_FALSE(testsupport::FileExists(out));
    }
}

// A prepared file replaces the earlier one only when committed; dropped, it leaves nothing.
TEST(CameraFileWriter, APreparedFileReplacesTheEarlierOnlyOnCommit) {
    TempDir dir;
    const std::string out = dir.file("zarniks.mtc");
    const std::vector<service::CameraRecord> cache = samples::ClusteredCameras(5000, 9, 30);
    const struct {
        const char* what;
        bool commit;
    } cases[] = {{"dropped", false}, {"committed", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteWholeFile(out, "earlier file");
        service::PreparedCameraFile file;
        service::CameraFileSummary summary;
        ASSERT_EQ(file.Prepare(cache, out, &summary), service::CameraFileResult::kWritten);
        EXPECT_TRUE(file.prepared());
        EXPECT_EQ(summary.cameras, cache.size());
        EXPECT_EQ(ReadWholeFile(out), "earlier file");
        if (c.commit) {
            EXPECT_EQ(file.Commit(), service::CameraFileResult::kWritten);
            EXPECT_TRUE(ReadWholeFile(out) == literal::CameraFileBytes(cache));
        } else {
            file.Drop();
            EXPECT_EQ(file.Commit(), service::CameraFileResult::kWriteFailed);  // nothing left to commit
            EXPECT_EQ(ReadWholeFile(out), "earlier file");
        }
        EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{"zarniks.mtc"});
    }
}

TEST(CameraFileWriter, UncreatableFileFails) {
    TempDir dir;
    EXPECT_NE(BuildCameraFile({Camera(1, 1)}, dir.file("no/such/folder/zarniks.mtc")), service::CameraFileResult::kWritten);
}

// The file system refuses the data part-way through: the earlier file must survive whole and
// no partial file may be left for the synchronisation to copy.
TEST(CameraFileWriter, FailureMidwayKeepsTheEarlierFile) {
    TempDir dir;
    const std::string out = dir.file("zarniks.mtc");
    WriteWholeFile(out, "earlier file");
    const std::vector<service::CameraRecord> cache = samples::ClusteredCameras(20000, 11);  // about 1.5 MB

    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);  // writes fail with EFBIG instead
    rlimit small = saved;
    small.rlim_cur = rlim_t{300} * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const auto result = BuildCameraFile(cache, out);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_NE(result, service::CameraFileResult::kWritten);
    EXPECT_EQ(ReadWholeFile(out), "earlier file");
    EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{"zarniks.mtc"});
    ASSERT_EQ(BuildCameraFile(cache, out), service::CameraFileResult::kWritten);  // and with room it goes through
    EXPECT_EQ(CountCameraFileRecords(out), 20000);
}

std::string HeaderBytes(std::uint8_t type, std::uint32_t length) {
    std::string bytes(1, static_cast<char>(type));
    bytes.append(reinterpret_cast<const char*>(&length), sizeof length);
    bytes.append("Korva", 6);
    return bytes;
}

TEST(CountCameraFileRecords, CountsOnlyWhatTheHeaderAllows) {
    TempDir dir;
    const std::string path = dir.file("zarniks.mtc");
    const std::string one = ReadWholeFile(samples::MtcGolden("one_camera.mtc"));
    const struct {
        const char* what;
        std::string bytes;
        int expected;
    } cases[] = {
        {"one camera, 96 bytes, header 23", one, 1},
        {"empty", "", 0},
        {"type byte only", std::string(1, '\x64'), 0},
        {"header only, no cell", HeaderBytes(100, 11), 0},
        {"header longer than the file", HeaderBytes(100, 4000) + std::string(200, 'z'), 0},
        {"header length near 2^32", HeaderBytes(100, 0xFFFFFFF0U) + std::string(200, 'z'), 0},
        {"type byte not 100", HeaderBytes(200, 11) + std::string(146, 'z'), 0},
        {"header shorter than its fixed part", HeaderBytes(100, 0) + std::string(200, 'z'), 0},
        {"partial trailing chunk rounds down", one + std::string(72, 'z'), 1},
        {"two whole chunks after the header", HeaderBytes(100, 11) + std::string(146, 'z'), 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteWholeFile(path, c.bytes);
        EXPECT_EQ(CountCameraFileRecords(path), c.expected);
    }
    EXPECT_EQ(CountCameraFileRecords(dir.file("missing.mtc")), 0);
}

TEST(ReadCameraFileBack, RejectsDamagedFiles) {
    const std::string good = ReadWholeFile(samples::MtcGolden("negative_cells.mtc"));
    auto damaged = [&](std::size_t at, char value) {
        std::string copy = good;
        copy[at] = value;
        return copy;
    };
    const std::size_t firstCamera = 11 + 24;
    const struct {
        const char* what;
        std::string bytes;
        bool valid;
    } cases[] = {
        {"good", good, true},
        {"truncated", good.substr(0, good.size() - 1), false},
        {"wrong tag", damaged(5, 'k'), false},
        {"wrong header type", damaged(0, 101), false},
        {"header length off", damaged(1, 36), false},
        {"wrong camera type", damaged(firstCamera, 0), false},
        {"wrong camera length", damaged(firstCamera + 1, 74), false},
        {"index count off", damaged(11 + 8, 3), false},
        {"keys out of order", damaged(11 + 12 + 3, static_cast<char>(0x80)), false},
        {"name without terminator", [&] {
             std::string copy = good;
             std::memset(copy.data() + firstCamera + 5 + 8, 'n', 52);
             return copy;
         }(), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        service::CameraFileContents contents;
        std::string problem;
        EXPECT_EQ(service::ParseCameraFile(reinterpret_cast<const std::uint8_t*>(c.bytes.data()), c.bytes.size(),
                                           contents, &problem),
                  c.valid)
            << problem;
        EXPECT_EQ(contents.cameras.size(), c.valid ? 3U : 0U);
    }
}

}  // namespace
