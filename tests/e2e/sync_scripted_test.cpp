// Synchronisations against a scripted service, for the replies the reference service never
// gives: resets midway, error replies at chosen moments, exact request counts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "scripted_service.h"
#include "sync_harness.h"

using e2e::LocalCache;
using e2e::Report;
using e2e::SyncRun;
using e2e::WriteUpdates;
using testsupport::FileExists;
using testsupport::ReadWholeFile;

namespace {

std::string Line(int id, int lat, int lon, const std::string& last) {
    return std::to_string(id) + "|" + std::to_string(lat) + "|" + std::to_string(lon) + "|cam|90|3|50|" + last + "#";
}

// Fills text up to the end of its 500-byte piece, so that what follows starts the next piece.
std::string Padded(const std::string& text) { return text + std::string(500 - text.size() % 500, ' '); }

class ScriptedSync : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(service_.ok());
        service_.Set("/POIDataBase/LoGon.php", "OK:");
        service_.Set("/POIDataBase/D0Sync.php", "");
        KnownCacheOnly();
    }
    // The cache holds camera 7 alone, unsealed as an older version left it.
    static void KnownCacheOnly() {
        std::remove("local.cache.sum");
        service::CameraRecord known{};
        known.identifier = 7;
        known.latitude = 48000000;
        known.longitude = 11000000;
        known.direction = 90;
        known.category = 3;
        known.flag = 1;
        service::WriteCacheFile("local.cache", &known, 1);
    }
    SyncRun Sync(const engine::SyncOptions& options = {}) { return SyncRun(work_.path(), service_.BaseUrl(), "Ann", "S1", "a@b", options); }
    std::size_t Requests(const std::string& path) const {
        const auto all = service_.server().requests();
        return static_cast<std::size_t>(
            std::count_if(all.begin(), all.end(), [&](const auto& r) { return r.path == path; }));
    }

    testsupport::TempDir work_{true};
    testsupport::ScriptedService service_;
};

TEST_F(ScriptedSync, AllDuplicateReportsSendNothingButTheSecondStepRuns) {
    WriteUpdates({Report(0, 48000000, 11000000), Report(0, 48000010, 11000010), Report(9, 1, 1)});
    SyncRun run = Sync();
    ASSERT_EQ(run.code, 0U);
    EXPECT_EQ(Requests("/POIDataBase/upl0ad.php"), 0U);
    EXPECT_EQ(Requests("/POIDataBase/D0Sync.php"), 2U);
    EXPECT_FALSE(FileExists("poiupdates.upd"));
}

TEST_F(ScriptedSync, ALongChangeListGoesUpInCompleteParts) {
    std::vector<engine::ChangeRecord> reports;
    reports.reserve(4000);
    for (int i = 0; i < 4000; ++i) reports.push_back(Report(0, 10000000 + i * 1000, 20000000 + i * 1000));
    WriteUpdates(reports);
    service_.Set("/POIDataBase/upl0ad.php", "OK:5:4");
    SyncRun run = Sync();
    ASSERT_EQ(run.code, 0U);
    const auto all = service_.server().requests();
    std::size_t parts = 0, lines = 0;
    for (const auto& r : all) {
        if (r.path != "/POIDataBase/upl0ad.php") continue;
        ++parts;
        EXPECT_LT(r.body.size(), 100000U);
        EXPECT_EQ(r.body.rfind("VyoSync Updates\n", 0), 0U);
        lines += static_cast<std::size_t>(std::count(r.body.begin(), r.body.end(), '\n')) - 1;
    }
    EXPECT_GE(parts, 2U);
    EXPECT_EQ(lines, 4000U);  // every report reached the service
    EXPECT_EQ(run.counts.personalStored, static_cast<std::int32_t>(5 * parts));
    EXPECT_EQ(run.counts.personalAccepted, static_cast<std::int32_t>(4 * parts));
}

TEST_F(ScriptedSync, FailuresLeaveExactlyTheFilesThatCarryOn) {
    std::string official = "OFF:";
    for (int i = 0; i < 60; ++i) official += Line(i, i, i, "1");
    const std::string earlier = ReadWholeFile("local.cache");

    struct Case {
        const char* name;
        std::string logon;
        std::string offPath, offReply;
        long offReset;
        std::string perReply;
        std::string uploadReply;
        std::string changes;
        std::uint32_t code;
        bool cacheIsEarlier;
        bool updatesKept;
    };
    const Case cases[] = {
        {"reset during the official list", "OKFULL:", "/POIDataBase/off.php", official + "OK:", 700, "PER:OK:", "",
         "", 1, true, true},
        {"error in the personal list", "OKFULL:", "/POIDataBase/off.php", official + "OK:", -1,
         Padded("PER:" + Line(90, 5, 5, "0")) + "ERROR:Not_Logged_In!", "", "", 10002, true,
         true},
        // The first step brought a new camera; the upload's failure does not take it back.
        {"error reply to the upload", "OK:", "/POIDataBase/off.php", "", -1, "", "ERROR:Not_Logged_In!",
         Line(8, 9, 9, "A|1"), 10002, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::remove("sync.unfinished");  // each case starts from a finished synchronisation
        testsupport::WriteWholeFile("local.cache", earlier);
        WriteUpdates({Report(0, 30000000, 30000000)});
        service_.Set("/POIDataBase/LoGon.php", c.logon);
        service_.Set("/POIDataBase/mut.php", "MUT:OK:");
        service_.Set(c.offPath, c.offReply, c.offReset);
        service_.Set("/POIDataBase/per.php", c.perReply);
        service_.Set("/POIDataBase/upl0ad.php", c.uploadReply);
        service_.Set("/POIDataBase/D0Sync.php", c.changes);
        SyncRun run = Sync();
        EXPECT_EQ(run.code, c.code);
        EXPECT_EQ(ReadWholeFile("local.cache") == earlier, c.cacheIsEarlier);
        EXPECT_EQ(FileExists("poiupdates.upd"), c.updatesKept);
        EXPECT_FALSE(FileExists("mut.cache"));
        EXPECT_FALSE(FileExists("zarniks.mtc"));
        EXPECT_TRUE(FileExists("sync.unfinished"));  // the next run retrieves everything
        EXPECT_TRUE(run.progress.closed);
    }
}

// Without a device the working copy is the only copy of the user's reports.
TEST_F(ScriptedSync, HeadlessReportsStayUntilTheServiceHasThem) {
    engine::SyncOptions headless;
    headless.updatesHeldOnlyHere = true;
    const struct {
        const char* name;
        std::string changes;
        long changesReset;
        std::string upload;
        long uploadReset;
        std::uint32_t code;
    } cases[] = {
        {"upload cut before its reply", "", -1, "OK:1:1", 0, 1},
        {"upload refused", "", -1, "ERROR:Not_Logged_In!", -1, 10002},
        {"first step cut", Line(8, 9, 9, "A|1"), 10, "OK:1:1", -1, 1},
        // Confirmations of what two lines cannot have stored are no confirmations.
        {"negative numbers", "", -1, "OK:-5:-7", -1, 10006},
        {"numbers beyond 32 bits", "", -1, "OK:99999999999999999999:1", -1, 10006},
        {"more stored than sent", "", -1, "OK:7:9", -1, 10006},
        {"a number that is no whole number", "", -1, "OK:1.5:1", -1, 10006},
        {"one number only", "", -1, "OK:1", -1, 10006},
        {"no reply at all", "", -1, "", -1, 10006},
        {"confirmed and stored", "", -1, "OK:1:1", -1, 0},
        {"every line stored", "", -1, "OK:2:2\r\n", -1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::remove("sync.unfinished");  // each case starts from a finished synchronisation
        WriteUpdates({Report(0, 30000000, 30000000), Report(1, 48000000, 11000000)});
        const std::string reports = ReadWholeFile("poiupdates.upd");
        service_.Set("/POIDataBase/D0Sync.php", c.changes, c.changesReset);
        service_.Set("/POIDataBase/upl0ad.php", c.upload, c.uploadReset);
        SyncRun run = Sync(headless);
        EXPECT_EQ(run.code, c.code);
        if (c.code == 0) {
            EXPECT_FALSE(FileExists("poiupdates.upd"));
            EXPECT_FALSE(FileExists("sync.unfinished"));
        } else {
            EXPECT_EQ(ReadWholeFile("poiupdates.upd"), reports);
            EXPECT_TRUE(FileExists("sync.unfinished"));
        }
    }
}

// Records a damaged file shifted off the globe are neither sent nor deleted, on either road:
// once the readable reports are with the service, they are what the file holds.
TEST_F(ScriptedSync, UnreadableRecordsAreNeitherSentNorDeleted) {
    const engine::ChangeRecord offTheGlobe = Report(0, 95000000, 30000000);
    const engine::ChangeRecord noDirection = Report(1, 30000000, 30000000, 3, 721);
    const std::vector<engine::ChangeRecord> unreadable = {offTheGlobe, noDirection};
    service_.Set("/POIDataBase/upl0ad.php", "OK:1:1");
    // Every download brings camera 8: with nothing readable to send no second download follows,
    // and the first one's camera must still reach the cache.
    service_.Set("/POIDataBase/D0Sync.php", Line(8, 9, 9, "A|1"));
    const struct {
        const char* name;
        std::vector<engine::ChangeRecord> records;
        bool headless;
        std::string sent;  // the upload, empty for none
    } cases[] = {
        {"mixed, device road", {Report(0, 30000000, 30000000), offTheGlobe, Report(2, 31000000, 31000000), noDirection},
         false, "VyoSync Updates\nA;30000000;30000000; ;90;3;50\nU;31000000;31000000; ;90;3;0\n"},
        {"mixed, headless", {offTheGlobe, Report(0, 30000000, 30000000), noDirection}, true,
         "VyoSync Updates\nA;30000000;30000000; ;90;3;50\n"},
        {"nothing readable, device road", unreadable, false, ""},
        {"nothing readable, headless", unreadable, true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        KnownCacheOnly();
        WriteUpdates(c.records);
        engine::SyncOptions options;
        options.updatesHeldOnlyHere = c.headless;
        const std::size_t before = service_.server().requests().size();
        SyncRun run = Sync(options);
        ASSERT_EQ(run.code, 0U);
        EXPECT_EQ(run.counts.reportsSetAside, 2);
        std::string sent;
        const auto all = service_.server().requests();
        for (std::size_t i = before; i < all.size(); ++i) {
            if (all[i].path == "/POIDataBase/upl0ad.php") sent += all[i].body;
        }
        EXPECT_EQ(sent, c.sent);
        const auto cache = LocalCache();
        EXPECT_EQ(std::count_if(cache.begin(), cache.end(), [](const auto& r) { return r.identifier == 8; }), 1);
        EXPECT_EQ(ReadWholeFile("poiupdates.upd"),
                  std::string(reinterpret_cast<const char*>(unreadable.data()), 2 * sizeof(engine::ChangeRecord)));
    }
}

TEST_F(ScriptedSync, ACameraFileExistsExactlyWhenTheCacheHoldsCameras) {
    testsupport::WriteWholeFile("zarniks.mtc", "left from an earlier synchronisation");
    service_.Set("/POIDataBase/D0Sync.php", Line(7, 48000000, 11000000, "D|1"));  // the only camera goes
    SyncRun run = Sync();
    ASSERT_EQ(run.code, 0U);
    EXPECT_EQ(run.counts.changesDeleted, 1);
    EXPECT_TRUE(LocalCache().empty());
    EXPECT_FALSE(FileExists("zarniks.mtc"));

    service_.Set("/POIDataBase/mut.php", "MUT:OK:");  // an empty cache means a full retrieval
    service_.Set("/POIDataBase/off.php", "OFF:" + Line(9, 48000000, 11000000, "1") + "OK:");
    service_.Set("/POIDataBase/per.php", "PER:OK:");
    ASSERT_EQ(Sync().code, 0U);
    EXPECT_EQ(service::CountCameraFileRecords("zarniks.mtc"), 1);
}

TEST_F(ScriptedSync, FullRetrievalThatLeavesNoCameras) {
    service_.Set("/POIDataBase/LoGon.php", "OKFULL:");
    service_.Set("/POIDataBase/mut.php", "MUT:OK:");
    service_.Set("/POIDataBase/off.php", "OFF:OK:");
    service_.Set("/POIDataBase/per.php", "PER:OK:");
    SyncRun run = Sync();
    EXPECT_EQ(run.code, 10001U);
    EXPECT_FALSE(FileExists("local.cache"));
}

}  // namespace
