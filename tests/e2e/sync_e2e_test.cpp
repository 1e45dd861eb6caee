// Whole synchronisations against the reference service on a loopback address.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <optional>
#include <thread>
#include <utility>

#include "sync_harness.h"
#include "tests/tools/poidb-server/server_fixture.h"

using e2e::LocalCache;
using e2e::Report;
using e2e::SyncRun;
using e2e::WriteUpdates;
using poidbtest::kEmail;
using poidbtest::kName;
using poidbtest::kSerial;
using testsupport::FileExists;

namespace {

class SyncEndToEnd : public poidbtest::ServerFixture {
protected:
    void SetUp() override {
        ServerFixture::SetUp();
        user_ = AddUser(kName, kSerial, kEmail);
        for (int i = 0; i < 30; ++i) ids_.push_back(AddOfficial(48000000 + i * 10000, 11000000 + i * 10000, "cam"));
    }
    SyncRun Sync() { return SyncRun(work_.path(), "http://" + address_ + "/", kName, kSerial, kEmail); }
    int CamerasInFile() { return service::CountCameraFileRecords("zarniks.mtc"); }

    testsupport::TempDir work_{true};
    std::int64_t user_ = 0;
    std::vector<std::int64_t> ids_;
};

TEST_F(SyncEndToEnd, FirstFullThenIncrementalWithChangesCountedExactly) {
    SyncRun first = Sync();
    ASSERT_EQ(first.code, 0U);
    EXPECT_EQ(first.counts.changesAdded, 30);
    EXPECT_EQ(first.counts.changesUpdated, 0);
    EXPECT_EQ(first.counts.changesDeleted, 0);
    EXPECT_EQ(LocalCache().size(), 30U);
    EXPECT_EQ(CamerasInFile(), 30);
    EXPECT_FALSE(FileExists("mut.cache"));
    EXPECT_FALSE(FileExists("poiupdates.upd"));
    EXPECT_TRUE(first.progress.shown && first.progress.closed);
    EXPECT_EQ(first.progress.title, "Running VyoSync   Please Wait");
    EXPECT_EQ(first.progress.steps.front(), "Logging on to database");
    EXPECT_EQ(first.progress.steps.back(), "Creating zarnik file......");

    const std::time_t now = std::time(nullptr);
    AddOfficial(50000000, 12000000, "new one");
    AddOfficial(50010000, 12010000, "new two");
    ASSERT_TRUE(Admin().DeleteCamera(ids_[3], now));
    ASSERT_TRUE(Admin().MutateCamera(ids_[4], false, 270, 27600, now));
    SyncRun second = Sync();
    ASSERT_EQ(second.code, 0U);
    EXPECT_EQ(second.counts.changesAdded, 2);
    EXPECT_EQ(second.counts.changesDeleted, 1);
    EXPECT_EQ(second.counts.changesUpdated, 1);
    const auto local = LocalCache();
    EXPECT_EQ(local.size(), 31U);
    EXPECT_EQ(CamerasInFile(), 31);
    EXPECT_EQ(std::string(second.progress.steps.at(1)), "First synchronization step....");
}

TEST_F(SyncEndToEnd, OkFullWithAFilledCacheRebuildsIt) {
    service::CameraRecord stale{};
    stale.identifier = 999999;
    stale.latitude = 1;
    service::WriteCacheFile("local.cache", &stale, 1);
    SyncRun run = Sync();  // the user never synchronised: the service demands everything
    ASSERT_EQ(run.code, 0U);
    EXPECT_EQ(run.counts.changesAdded, 30);
    for (const service::CameraRecord& r : LocalCache()) EXPECT_NE(r.identifier, 999999);
    EXPECT_EQ(std::string(run.progress.steps.at(1)), "Doing a full retrieval.............");
}

TEST_F(SyncEndToEnd, PersonalReportsGoUpAndComeBackAsPersonalCameras) {
    ASSERT_EQ(Sync().code, 0U);
    WriteUpdates({Report(0, 51500000, 7500000), Report(0, 51600000, 7600000, 27600, -1)});
    SyncRun run = Sync();
    ASSERT_EQ(run.code, 0U);
    EXPECT_EQ(run.counts.personalStored, 2);
    EXPECT_FALSE(FileExists("poiupdates.upd"));
    int personal = 0;
    for (const service::CameraRecord& r : LocalCache()) {
        if (r.flag == 0) {
            ++personal;
            EXPECT_TRUE(r.latitude == 51500000 || r.latitude == 51600000);
        }
    }
    EXPECT_EQ(personal, 2);
    EXPECT_EQ(CamerasInFile(), 32);
}

// The service takes change lists of any size the client sends: a device that collected many
// reports must still be able to synchronise.
TEST_F(SyncEndToEnd, LargeChangeListsReachTheService) {
    ASSERT_EQ(Sync().code, 0U);
    int expected = 0;
    for (const int count : {400, 3300}) {  // 3,300 lines fill a list part of 100,000 bytes
        SCOPED_TRACE(count);
        std::vector<engine::ChangeRecord> reports;
        reports.reserve(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) reports.push_back(Report(0, -10000000 - expected * 20000 - i * 20000, 20000000));
        expected += count;
        WriteUpdates(reports);
        SyncRun run = Sync();
        ASSERT_EQ(run.code, 0U);
        EXPECT_EQ(run.counts.personalStored, count);
        const auto local = LocalCache();
        EXPECT_EQ(std::count_if(local.begin(), local.end(), [](const service::CameraRecord& r) { return r.flag == 0; }),
                  expected);
    }
}

// Each synchronisation works in its own folder, which it is handed: a window's worker thread
// and a second folder in the same process never see each other's files.
TEST_F(SyncEndToEnd, TwoFoldersSynchroniseAtOnceInOneProcess) {
    AddUser("Second User", "S-2", "second@example.org");
    testsupport::TempDir first, second;
    const auto reports = [](const std::string& folder, int count) {
        std::string bytes;
        for (int i = 0; i < count; ++i) {
            const engine::ChangeRecord r = Report(0, -20000000 - i * 100000, 30000000 + count * 100000);
            bytes.append(reinterpret_cast<const char*>(&r), sizeof r);
        }
        testsupport::WriteWholeFile(folder + "/poiupdates.upd", bytes);
    };
    reports(first.path(), 1);
    reports(second.path(), 2);
    const std::string url = "http://" + address_ + "/";
    std::optional<SyncRun> other;
    std::thread worker([&] { other.emplace(second.path(), url, "Second User", "S-2", "second@example.org"); });
    const SyncRun mine(first.path(), url, kName, kSerial, kEmail);
    worker.join();
    ASSERT_EQ(mine.code, 0U);
    ASSERT_EQ(other->code, 0U);
    EXPECT_EQ(mine.counts.personalStored, 1);
    EXPECT_EQ(other->counts.personalStored, 2);
    for (const auto& [folder, personal] : {std::pair{first.path(), 1}, std::pair{second.path(), 2}}) {
        std::vector<service::CameraRecord> cache;
        ASSERT_TRUE(service::ReadCacheFile(folder + "/local.cache", cache));
        EXPECT_EQ(cache.size(), 30U + static_cast<std::size_t>(personal)) << folder;
        EXPECT_EQ(service::CountCameraFileRecords(folder + "/zarniks.mtc"), 30 + personal) << folder;
        EXPECT_FALSE(FileExists(folder + "/poiupdates.upd"));
    }
    EXPECT_FALSE(FileExists("local.cache"));  // nothing went to the process's own folder
}

TEST_F(SyncEndToEnd, UpdatesFilesWithoutAWholeRecordSendNothing) {
    ASSERT_EQ(Sync().code, 0U);
    for (const std::string& bytes : {std::string(), std::string(79, '\x01')}) {
        testsupport::WriteWholeFile("poiupdates.upd", bytes);
        SyncRun run = Sync();
        ASSERT_EQ(run.code, 0U) << bytes.size();
        EXPECT_EQ(run.counts.personalStored, 0);
        EXPECT_FALSE(FileExists("poiupdates.upd"));
        EXPECT_EQ(CamerasInFile(), 30);
        for (const std::string& step : run.progress.steps) EXPECT_NE(step, "Second synchronisation step....");
    }
}

TEST_F(SyncEndToEnd, ServiceGoneBeforeLogonChangesNothingOnThePc) {
    ASSERT_EQ(Sync().code, 0U);
    const std::string cache = testsupport::ReadWholeFile("local.cache");
    WriteUpdates({Report(0, 1, 1)});
    StopServer();
    SyncRun run = Sync();
    EXPECT_EQ(run.code, 10012U);  // the connection is refused when the request is sent
    EXPECT_EQ(testsupport::ReadWholeFile("local.cache"), cache);
    EXPECT_TRUE(FileExists("poiupdates.upd"));
    EXPECT_TRUE(run.progress.closed);
}

TEST_F(SyncEndToEnd, CameraFileThatCannotBeWrittenFailsWithItsCode) {
    std::filesystem::create_directory("zarniks.mtc");
    testsupport::WriteWholeFile("zarniks.mtc/in-the-way", "x");
    SyncRun run = Sync();
    EXPECT_EQ(run.code, 10000U);
    EXPECT_EQ(LocalCache().size(), 30U);  // the cache is up to date all the same
    EXPECT_TRUE(FileExists("zarniks.mtc/in-the-way"));
}

TEST_F(SyncEndToEnd, BaseUrlLengthThreshold) {
    const platform::StringTable texts = e2e::EnglishTexts();
    for (const auto& [url, code] : std::vector<std::pair<std::string, std::uint32_t>>{{"http", 10014U}, {"http:", 10008U}}) {
        CServiceClient client{platform::WorkFolder(work_.path())};
        client.SetBaseUrl(url.c_str());
        e2e::RecordingProgress progress;
        engine::SyncCounts counts;
        EXPECT_EQ(engine::RunSynchronisation(client, progress, texts, testsupport::Who("a", "c", "b"), "2.0", counts), code)
            << url;
        EXPECT_EQ(progress.shown, code != 10014U) << url;
    }
    EXPECT_EQ(engine::ErrorTextForCode(10014, texts), "Default URL has not been set !");
    EXPECT_EQ(engine::ErrorTextForCode(10000, texts), "Error creating zarnik file !");
    EXPECT_EQ(engine::ErrorTextForCode(1, texts), "Synchronisation failed !\nFailed to send request !");
}

}  // namespace
