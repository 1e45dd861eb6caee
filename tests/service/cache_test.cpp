#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <random>

#include "literal_caches.h"
#include "service/mutation_filter.h"
#include "service/cache_file.h"
#include "service/service_client.h"
#include "temp_dir.h"

using service::DownloadAction;
using testsupport::ReadWholeFile;
using testsupport::WriteWholeFile;

namespace {

service::CameraRecord Camera(std::int32_t id, std::int32_t lat, std::int32_t lon, std::int32_t flag = 1, const char* name = "cam") {
    service::CameraRecord r{};
    r.identifier = id;
    r.latitude = lat;
    r.longitude = lon;
    r.direction = 90;
    r.category = 27515;
    r.extra = id * 3;
    r.flag = flag;
    std::snprintf(r.name, sizeof r.name, "%s", name);
    return r;
}

std::string Bytes(const std::vector<service::CameraRecord>& records) {
    return std::string(reinterpret_cast<const char*>(records.data()), records.size() * sizeof(service::CameraRecord));
}

bool Same(const std::vector<service::CameraRecord>& a, const std::vector<service::CameraRecord>& b) { return Bytes(a) == Bytes(b); }

// Random cameras on few positions and few identifiers, so that first-match rules matter.
std::vector<service::CameraRecord> RandomCameras(std::mt19937& rng, std::size_t n, int positions, int ids) {
    std::uniform_int_distribution<int> pos(0, positions - 1), id(0, ids - 1), dir(-2, 720), flag(0, 2);
    std::vector<service::CameraRecord> out;
    for (std::size_t i = 0; i < n; ++i) {
        const int p = pos(rng);
        service::CameraRecord r = Camera(id(rng), 52000000 + p % 5, -(p / 5), flag(rng));
        r.direction = dir(rng);
        r.category = static_cast<std::int32_t>(rng() % 40000);
        std::snprintf(r.name, sizeof r.name, "n%u", static_cast<unsigned>(rng() % 1000));
        out.push_back(r);
    }
    return out;
}

class CacheTest : public ::testing::Test {
protected:
    testsupport::TempDir dir_{true};
    CServiceClient client_{platform::WorkFolder(dir_.path())};
};

TEST_F(CacheTest, LoadingKeepsWholeRecordsAndDropsEmptyFiles) {
    const std::vector<service::CameraRecord> two = {Camera(1, 10, 20), Camera(2, 30, 40)};
    const struct {
        const char* name;
        std::string contents;
        std::size_t expected;
        bool fileStays;
        bool localKept;  // a local cache without a seal is trusted only when whole
    } cases[] = {
        {"empty", "", 0, false, false},
        {"less than a record", std::string(79, 'x'), 0, false, false},
        {"two records", Bytes(two), 2, true, true},
        {"two records and a torn third", Bytes(two) + std::string(41, 'z'), 2, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const char* file : {"local.cache", "mut.cache"}) {
            WriteWholeFile(file, c.contents);
            const bool local = std::strcmp(file, "local.cache") == 0;
            if (local) {
                client_.LoadLocalCache();
            } else {
                client_.LoadMutationCache();
            }
            const auto& records = local ? client_.local_records() : client_.mutation_records();
            const std::size_t expected = local && !c.localKept ? 0 : c.expected;
            ASSERT_EQ(records.size(), expected) << file;
            EXPECT_GE(records.capacity(), expected == 0 ? 0 : expected + 500) << file;
            if (expected) {
                EXPECT_EQ(Bytes(records), Bytes(two)) << file;
            }
            EXPECT_EQ(testsupport::FileExists(file), local ? c.localKept : c.fileStays) << file;
        }
    }
    std::remove("local.cache");
    client_.LoadLocalCache();
    EXPECT_EQ(client_.local_count(), 0U);
}

TEST_F(CacheTest, CountsAllAndPersonalCameras) {
    WriteWholeFile("local.cache", Bytes({Camera(1, 1, 1, 0), Camera(2, 2, 2, 5), Camera(3, 3, 3, 0)}));
    std::uint32_t total = 9, personal = 9;
    client_.CountLocalCache(total, personal);
    EXPECT_EQ(total, 3U);
    EXPECT_EQ(personal, 2U);
    EXPECT_EQ(client_.local_count(), 0U);  // the records are freed again
}

// The local cache is used only as its last commit left it: anything else loads as no cache (and
// is deleted with its seal), so the next synchronisation retrieves everything.
TEST_F(CacheTest, ALocalCacheThatDoesNotMatchItsSealLoadsAsNone) {
    std::mt19937 rng(11);
    const auto cameras = RandomCameras(rng, 20, 40, 100);
    std::string noise(Bytes(cameras).size(), '\0');
    for (char& c : noise) c = static_cast<char>(rng());
    const struct {
        const char* damage;
        std::function<void()> apply;
        std::size_t loaded;
    } cases[] = {
        {"none", [] {}, 20},
        {"cut to 12 records", [] { std::filesystem::resize_file("local.cache", 960); }, 0},
        {"random bytes of the same length", [&] { WriteWholeFile("local.cache", noise); }, 0},
        {"one record appended", [&] { WriteWholeFile("local.cache", Bytes(cameras) + Bytes({cameras[0]})); }, 0},
        {"seal cut", [] { std::filesystem::resize_file("local.cache.sum", 15); }, 0},
        {"no seal, as an older version left it", [] { std::remove("local.cache.sum"); }, 20},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.damage);
        service::CacheFileWriter writer;
        ASSERT_TRUE(writer.Open(dir_.file("local.cache"), service::Sealing::kSealed));
        ASSERT_TRUE(writer.AddAll(cameras.data(), 10));
        ASSERT_TRUE(writer.Commit());
        service::CacheAppender appender;  // the personal list goes on from the official one's seal
        ASSERT_TRUE(appender.Open(dir_.file("local.cache"), false, service::Sealing::kSealed));
        ASSERT_TRUE(appender.AddAll(cameras.data() + 10, 10));
        ASSERT_TRUE(appender.Commit());
        c.apply();
        client_.LoadLocalCache();
        ASSERT_EQ(client_.local_count(), c.loaded);
        if (c.loaded != 0) {
            EXPECT_TRUE(Same(client_.local_records(), cameras));
        }
        EXPECT_EQ(testsupport::FileExists("local.cache"), c.loaded != 0);
    }
}

TEST(MutationFilter, MatchesTheFirstMatchScanOnRandomData) {
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        const auto official = RandomCameras(rng, rng() % 300, 40, 100);
        const auto mutations = RandomCameras(rng, rng() % 60, 40, 100);
        service::MutationFilter filter(mutations);
        std::vector<service::CameraRecord> got;
        for (service::CameraRecord r : official) {
            if (filter.Apply(r)) got.push_back(r);
        }
        ASSERT_TRUE(Same(got, literal::FilterOfficial(official, mutations))) << "round " << round;
    }
}

TEST(MutationFilter, DeletedAndChangedOfficialCameras) {
    const std::vector<service::CameraRecord> mutations = {Camera(90, 1, 1, 0), Camera(91, 2, 2, 1), Camera(92, 2, 2, 0)};
    service::MutationFilter filter(mutations);
    service::CameraRecord deleted = Camera(1, 1, 1);
    EXPECT_FALSE(filter.Apply(deleted));
    service::CameraRecord changed = Camera(2, 2, 2, 1, "own name");
    ASSERT_TRUE(filter.Apply(changed));
    EXPECT_STREQ(changed.name, "own name");  // only direction and category are taken
    EXPECT_EQ(changed.identifier, 2);
    EXPECT_EQ(changed.extra, 6);
    service::CameraRecord untouched = Camera(3, 3, 3);
    const service::CameraRecord before = untouched;
    ASSERT_TRUE(filter.Apply(untouched));
    EXPECT_EQ(std::memcmp(&before, &untouched, sizeof before), 0);
}

std::vector<literal::Change> RandomChanges(std::mt19937& rng, std::size_t n) {
    std::vector<literal::Change> changes;
    for (const service::CameraRecord& r : RandomCameras(rng, n, 40, 100)) {
        changes.push_back({r, static_cast<DownloadAction>(rng() % 4)});
    }
    return changes;
}

TEST_F(CacheTest, ChangeMergeMatchesTheFirstMatchScanOnRandomData) {
    std::mt19937 rng(11);
    for (int round = 0; round < 150; ++round) {
        const auto cached = RandomCameras(rng, rng() % 200, 40, 100);
        auto changes = RandomChanges(rng, rng() % 80);
        if (round % 4 == 3) {  // only cameras the cache does not know, as after an upload
            for (auto& c : changes) {
                c.action = DownloadAction::kAdd;
                c.record.identifier += 1000000;
            }
        }
        std::vector<service::CameraRecord> local = cached;
        // Half the rounds start from the cache on disk, where a download of new cameras only
        // may be appended to it.
        const bool onDisk = round % 2 == 1;
        if (onDisk) {
            ASSERT_TRUE(service::WriteCacheFile("local.cache", cached.data(), cached.size()));
        }
        // Some rounds make the records first, with room for the new cameras, and hand them on
        // while the file is written; without room the merge goes the other way.
        const int alongside = round % 3;  // 0 none, 1 with room, 2 without
        if (alongside == 1) local.reserve(local.size() + changes.size());
        std::vector<service::CameraRecord> seen;
        bool handed = false;
        service::ChangeMerge merge(local, platform::WorkFolder(dir_.path()));
        ASSERT_TRUE(merge.OpenDelta());
        for (const auto& c : changes) merge.Apply(c.record, c.action);
        if (alongside == 0) {
            ASSERT_TRUE(merge.Finish(onDisk));
        } else {
            ASSERT_TRUE(merge.Finish(onDisk, [&](const std::vector<service::CameraRecord>& r) {
                seen = r;
                handed = true;
            }));
            EXPECT_TRUE(handed || alongside == 2) << "round " << round;
            EXPECT_TRUE(!handed || Same(seen, literal::Merge(cached, changes))) << "handed on, round " << round;
        }
        ASSERT_TRUE(Same(local, literal::Merge(cached, changes))) << "in memory, round " << round;
        std::vector<service::CameraRecord> written;
        if (testsupport::FileExists("local.cache")) {
            ASSERT_TRUE(service::ReadCacheFile("local.cache", written));
        }
        ASSERT_TRUE(Same(written, literal::Merge(cached, changes))) << "round " << round;
        EXPECT_FALSE(testsupport::FileExists("newconfig.dat"));
    }
}

// The run's first download kept in memory and written with the second: the file holds the
// earlier cache in between, and ends as two commits would leave it; without room the first is
// written at once.
TEST_F(CacheTest, ADownloadKeptForTheNextIsWrittenWithIt) {
    std::mt19937 rng(17);
    int kept = 0, written = 0;
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE(round);
        const auto cached = RandomCameras(rng, 1 + rng() % 200, 40, 100);
        const auto first = RandomChanges(rng, rng() % 60);
        const auto second = RandomChanges(rng, rng() % 60);
        std::remove("local.cache.sum");  // the earlier round's
        ASSERT_TRUE(service::WriteCacheFile("local.cache", cached.data(), cached.size()));
        std::vector<service::CameraRecord> local = cached;
        const bool room = round % 4 != 0;
        if (room) local.reserve(local.size() + first.size());
        {
            service::ChangeMerge merge(local, platform::WorkFolder(dir_.path()));
            ASSERT_TRUE(merge.OpenDelta());
            for (const auto& c : first) merge.Apply(c.record, c.action);
            ASSERT_TRUE(merge.Finish(true, {}, service::CacheCommit::kWithNextDownload));
            const auto afterFirst = literal::Merge(cached, first);
            ASSERT_TRUE(Same(local, afterFirst));
            std::vector<service::CameraRecord> onDisk;
            ASSERT_TRUE(service::ReadCacheFile("local.cache", onDisk));
            EXPECT_TRUE(Same(onDisk, merge.wrote_file() ? afterFirst : cached));
            ++(merge.wrote_file() ? written : kept);
            EXPECT_FALSE(testsupport::FileExists("newconfig.dat"));
        }
        service::ChangeMerge merge(local, platform::WorkFolder(dir_.path()));
        ASSERT_TRUE(merge.OpenDelta());
        for (const auto& c : second) merge.Apply(c.record, c.action);
        ASSERT_TRUE(merge.Finish(false));
        std::vector<service::CameraRecord> both;
        ASSERT_TRUE(service::ReadCacheFile("local.cache", both));
        EXPECT_TRUE(Same(both, literal::Merge(literal::Merge(cached, first), second)));
    }
    EXPECT_GT(kept, 20);  // both roads taken
    EXPECT_GT(written, 5);
}

TEST_F(CacheTest, ChangeMergeRules) {
    const std::vector<service::CameraRecord> cached = {Camera(1, 10, 10), Camera(2, 20, 20), Camera(3, 20, 20), Camera(4, 40, 40)};
    std::vector<service::CameraRecord> local = cached;
    service::ChangeMerge merge(local, platform::WorkFolder(dir_.path()));
    ASSERT_TRUE(merge.OpenDelta());
    merge.Apply(Camera(2, 20, 20, 1, "renamed"), DownloadAction::kUpdate);  // both cameras at (20,20)
    merge.Apply(Camera(4, 41, 41, 1, "moved"), DownloadAction::kUpdate);    // moved: nothing changes
    merge.Apply(Camera(77, 5, 5, 1, "unknown id"), DownloadAction::kUpdate);  // becomes a new camera
    merge.Apply(Camera(78, 6, 6), DownloadAction::kDelete);                 // unknown: nothing
    merge.Apply(Camera(1, 11, 11, 1, "re-added"), DownloadAction::kAdd);    // replaces camera 1
    merge.Apply(Camera(3, 0, 0), DownloadAction::kUnknown);
    ASSERT_TRUE(merge.Finish());
    std::vector<service::CameraRecord> written;
    ASSERT_TRUE(service::ReadCacheFile("local.cache", written));
    ASSERT_EQ(written.size(), 5U);
    EXPECT_EQ(written[0].identifier, 2);
    EXPECT_STREQ(written[0].name, "renamed");
    EXPECT_EQ(written[1].identifier, 3);
    EXPECT_STREQ(written[1].name, "renamed");
    EXPECT_EQ(written[1].latitude, 20);  // identifier, position and flag stay
    EXPECT_STREQ(written[2].name, "cam");
    EXPECT_EQ(written[3].identifier, 77);
    EXPECT_EQ(written[4].identifier, 1);
    EXPECT_STREQ(written[4].name, "re-added");
}

TEST_F(CacheTest, MergeThatCannotFinishLeavesTheOldCacheWhole) {
    std::mt19937 rng(3);
    const auto cached = RandomCameras(rng, 5000, 400, 4000);
    WriteWholeFile("local.cache", Bytes(cached));
    client_.LoadLocalCache();
    ASSERT_EQ(client_.local_count(), 5000U);
    service::ChangeMerge merge(client_.local_records(), platform::WorkFolder(dir_.path()));
    ASSERT_TRUE(merge.OpenDelta());
    for (const auto& c : RandomChanges(rng, 300)) merge.Apply(c.record, c.action);

    // A disk that fills up while the new cache is written: writes past 64 KiB fail.
    signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit tight = old;
    tight.rlim_cur = rlim_t{64} * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
    const bool finished = merge.Finish();
    setrlimit(RLIMIT_FSIZE, &old);

    EXPECT_FALSE(finished);
    EXPECT_EQ(ReadWholeFile("local.cache"), Bytes(cached));
    EXPECT_TRUE(testsupport::FileExists("newconfig.dat"));  // the downloaded cameras are kept
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(".")) ++files;
    EXPECT_EQ(files, 2U);  // no temporary file left behind
}

TEST_F(CacheTest, AppenderRollsBackAFailedList) {
    WriteWholeFile("local.cache", Bytes({Camera(1, 1, 1)}));
    {
        service::CacheAppender appender;
        ASSERT_TRUE(appender.Open(dir_.file("local.cache")));
        for (int i = 0; i < 2000; ++i) ASSERT_TRUE(appender.Add(Camera(i, i, i, 0)));
        appender.Abort();
    }
    EXPECT_EQ(ReadWholeFile("local.cache"), Bytes({Camera(1, 1, 1)}));
    service::CacheAppender appender;
    ASSERT_TRUE(appender.Open(dir_.file("local.cache")));
    ASSERT_TRUE(appender.Add(Camera(2, 2, 2, 0)));
    ASSERT_TRUE(appender.Commit());
    EXPECT_EQ(ReadWholeFile("local.cache"), Bytes({Camera(1, 1, 1), Camera(2, 2, 2, 0)}));
}

service::InfoRecord Info(std::int32_t id, const char* text) {
    service::InfoRecord r{};
    r.identifier = id;
    std::snprintf(r.text, sizeof r.text, "%s", text);
    return r;
}

TEST_F(CacheTest, InformationCacheBrowsing) {
    std::int32_t id = 0;
    char text[1024];
    EXPECT_EQ(client_.OpenInfoCache(id, text), service::InfoCacheResult::kNothing);
    EXPECT_EQ(client_.LastInfoId(), -1);
    WriteWholeFile("info.cache", "");
    EXPECT_EQ(client_.OpenInfoCache(id, text), service::InfoCacheResult::kNothing);
    EXPECT_FALSE(testsupport::FileExists("info.cache"));

    ASSERT_EQ(client_.AppendInfoRecord(Info(5, "first")), service::InfoCacheResult::kDone);
    EXPECT_EQ(client_.LastInfoId(), 5);
    ASSERT_EQ(client_.AppendInfoRecord(Info(8, "second")), service::InfoCacheResult::kDone);
    ASSERT_EQ(client_.AppendInfoRecord(Info(9, "third")), service::InfoCacheResult::kDone);
    EXPECT_EQ(client_.LastInfoId(), 9);
    ASSERT_EQ(client_.AppendInfoRecord(Info(-1, "fourth")), service::InfoCacheResult::kDone);
    EXPECT_EQ(client_.LastInfoId(), -1);  // an identifier like any other, not the end
    WriteWholeFile("info.cache", ReadWholeFile("info.cache").substr(0, 3 * sizeof(service::InfoRecord)));

    ASSERT_EQ(client_.OpenInfoCache(id, text), service::InfoCacheResult::kDone);
    EXPECT_EQ(id, 5);
    EXPECT_STREQ(text, "first");
    bool atLast = true, second = true, first = true, atFirst = false;
    EXPECT_EQ(client_.NextInfoRecord(text, atLast, second), 8);
    EXPECT_FALSE(atLast);
    EXPECT_FALSE(second);
    EXPECT_EQ(client_.PreviousInfoRecord(text, first, atFirst), 5);
    EXPECT_STREQ(text, "first");
    EXPECT_TRUE(atFirst);
    EXPECT_FALSE(first);
    EXPECT_EQ(client_.NextInfoRecord(text, atLast, second), 8);
    EXPECT_EQ(client_.NextInfoRecord(text, atLast, second), 9);
    EXPECT_TRUE(atLast);
    EXPECT_STREQ(text, "third");
}

TEST_F(CacheTest, InformationTextWithoutTerminatorIsCutSafely) {
    service::InfoRecord r{};
    r.identifier = 3;
    std::memset(r.text, 'q', sizeof r.text);  // no terminator at all
    WriteWholeFile("info.cache", std::string(reinterpret_cast<const char*>(&r), sizeof r) + "torn");
    std::int32_t id = 0;
    char text[1024];
    ASSERT_EQ(client_.OpenInfoCache(id, text), service::InfoCacheResult::kDone);
    EXPECT_EQ(id, 3);
    EXPECT_EQ(std::strlen(text), 1023U);
    EXPECT_EQ(client_.info_count(), 1);
}

}  // namespace
