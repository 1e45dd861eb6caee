// Headless synchronisations under faults, as a user's machine meets them: the process killed at
// any moment, a disk that fills up during a change download, a file that cannot be opened. After
// the fault is gone, one successful synchronisation must leave exactly the cache a fresh full
// retrieval gives, with every report the user made on the service.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <random>
#include <thread>

#include "engine/change_record.h"
#include "run_tool.h"
#include "service/cache_file.h"
#include "service/camera_file/reader.h"
#include "tests/tools/poidb-server/server_fixture.h"
#include "tools/poidb-server/sample_data.h"

namespace {

using tooltest::RunZarnikSync;
namespace fs = std::filesystem;

constexpr int kSampleCameras = 20000;

std::vector<std::string> SortedRecords(const std::string& cache) {
    std::vector<service::CameraRecord> records;
    service::ReadCacheFile(cache, records);
    std::vector<std::string> bytes;
    bytes.reserve(records.size());
    for (const service::CameraRecord& r : records) bytes.emplace_back(reinterpret_cast<const char*>(&r), sizeof r);
    std::sort(bytes.begin(), bytes.end());
    return bytes;
}

class SyncFaults : public poidbtest::ServerFixture {
protected:
    void SetUp() override {
        ServerFixture::SetUp();
        poidb::SampleOptions sample;
        sample.cameras = kSampleCameras;
        sample.mutations = 300;
        sample.users = 0;
        std::string error;
        ASSERT_TRUE(poidb::GenerateSample(Admin().db(), sample, error)) << error;
        AddUser(poidbtest::kName, poidbtest::kSerial, poidbtest::kEmail);
        setenv("ZARNIK_SETTINGS", work_.file("settings.reg").c_str(), 1);
        const char* src = std::getenv("ZARNIK_SOURCE_DIR");
        setenv("ZARNIK_RESOURCES", (std::string(src ? src : ".") + "/resources").c_str(), 1);
        UseHome(home_);
        ASSERT_EQ(RunZarnikSync({"settings", "set", "--name", poidbtest::kName, "--serial", poidbtest::kSerial,
                                 "--email", poidbtest::kEmail, "--url", "http://" + address_ + "/POIDataBase/"},
                                work_.path())
                      .status,
                  0);
    }
    void TearDown() override {
        if (mounted_) umount2(home_.c_str(), MNT_DETACH);
        for (const char* name : {"ZARNIK_SETTINGS", "ZARNIK_HOME", "ZARNIK_RESOURCES"}) unsetenv(name);
        ServerFixture::TearDown();
    }

    static void UseHome(const std::string& folder) { setenv("ZARNIK_HOME", folder.c_str(), 1); }

    // Both working folders anew; the one synchronised on a small file system when asked.
    void EmptyHomes(bool small) {
        fs::remove_all(home_);
        fs::remove_all(fresh_);
        fs::create_directories(home_);
        mounted_ = small && mount("tmpfs", home_.c_str(), "tmpfs", 0, "size=6m") == 0;
        ASSERT_EQ(mounted_, small) << std::strerror(errno);
    }

    tooltest::ToolRun Sync() { return RunZarnikSync({"sync", "--pc-only"}, work_.path()); }

    // What the service has changed since: new, deleted and mutated cameras.
    void ChangeTheService(std::mt19937& random) {
        const std::time_t now = std::time(nullptr);
        std::uniform_int_distribution<std::int64_t> sample(1, kSampleCameras);
        for (int i = 0; i < 20; ++i) {
            AddOfficial(40000000 + static_cast<std::int32_t>(random() % 10000000),
                        5000000 + static_cast<std::int32_t>(random() % 10000000), "new");
        }
        for (int i = 0; i < 5; ++i) Admin().DeleteCamera(sample(random), now);
        for (int i = 0; i < 5; ++i) Admin().MutateCamera(sample(random), false, 180, 27600, now);
    }

    // The device's new reports, added to those still pending in the working folder.
    void Report(int count) {
        std::string bytes = testsupport::FileExists(home_ + "/poiupdates.upd")
                                ? testsupport::ReadWholeFile(home_ + "/poiupdates.upd")
                                : std::string();
        for (int i = 0; i < count; ++i, ++reports_) {
            engine::ChangeRecord r{};
            r.action = 0;
            r.latitude = -30000000 - reports_ * 100000;  // far from every camera and from each other
            r.longitude = 20000000;
            r.direction = 90;
            r.category = 3;
            bytes.append(reinterpret_cast<const char*>(&r), sizeof r);
        }
        testsupport::WriteWholeFile(home_ + "/poiupdates.upd", bytes);
    }

    // The final successful synchronisation against a fresh full retrieval in a new folder.
    void ExpectNothingLost() {
        const auto run = Sync();
        ASSERT_EQ(run.status, 0) << run.err;
        UseHome(fresh_);
        const auto fresh = Sync();
        UseHome(home_);
        ASSERT_EQ(fresh.status, 0) << fresh.err;
        const auto kept = SortedRecords(home_ + "/local.cache");
        const auto retrieved = SortedRecords(fresh_ + "/local.cache");
        EXPECT_EQ(kept.size(), retrieved.size());
        EXPECT_TRUE(kept == retrieved) << "the cache differs from a fresh full retrieval";
        std::vector<service::CameraRecord> cameras;
        service::ReadCacheFile(fresh_ + "/local.cache", cameras);
        for (int i = 0; i < reports_; ++i) {
            const std::int32_t latitude = -30000000 - i * 100000;
            EXPECT_TRUE(std::any_of(cameras.begin(), cameras.end(), [&](const service::CameraRecord& c) {
                return c.flag == 0 && c.latitude == latitude && c.longitude == 20000000;
            })) << "report " << i << " is not on the service";
        }
        EXPECT_FALSE(testsupport::FileExists(home_ + "/poiupdates.upd"));
        for (const auto& entry : fs::directory_iterator(home_)) {
            EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos) << entry.path();
        }
    }

    testsupport::TempDir work_;
    std::string home_ = work_.file("home");
    std::string fresh_ = work_.file("fresh");
    int reports_ = 0;
    bool mounted_ = false;
};

TEST_F(SyncFaults, KilledAtAnyMomentLosesNothing) {
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(Sync().status, 0);
    const auto fullRun = std::chrono::steady_clock::now() - started;
    const unsigned seed = static_cast<unsigned>(std::time(nullptr));
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const auto longest = std::chrono::duration_cast<std::chrono::microseconds>(fullRun * 12 / 10).count();
    for (int round = 0; round < 14; ++round) {
        ChangeTheService(random);
        Report(3);
        const int pid = tooltest::StartZarnikSync({"sync", "--pc-only"}, work_.path());
        ASSERT_GT(pid, 0);
        std::this_thread::sleep_for(std::chrono::microseconds(random() % static_cast<unsigned>(longest + 1)));
        kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        // The camera file of before stays until a whole new one replaces it.
        service::CameraFileContents contents;
        std::string problem;
        EXPECT_TRUE(service::ReadCameraFileBack(home_ + "/zarniks.mtc", contents, &problem)) << problem;
    }
    ChangeTheService(random);
    ExpectNothingLost();
}

// A change download whose result cannot be stored fails the synchronisation; the next one,
// once the cause is gone, catches up with everything the service sent meanwhile.
TEST_F(SyncFaults, AChangeDownloadThatCannotBeStored) {
    const bool root = geteuid() == 0;
    const struct {
        const char* name;
        bool needsRoot;
        const char* cause;  // the line under the message
        std::function<void(const std::string&)> break_;
        std::function<void(const std::string&)> mend;
    } faults[] = {
        {"the delta file cannot be opened", false, "/newconfig.dat: Is a directory",
         [](const std::string& home) { fs::create_directory(home + "/newconfig.dat"); },
         [](const std::string& home) { fs::remove(home + "/newconfig.dat"); }},
        {"the disk fills up", true, ": No space left on device",
         [](const std::string& home) {
             // Room for the marker and the delta, not for a second copy of the cache.
             const auto cache = fs::file_size(home + "/local.cache");
             const auto space = fs::space(home).available;
             ASSERT_GT(space, cache / 2);
             testsupport::WriteWholeFile(home + "/filler", std::string(space - cache / 2, 'f'));
         },
         [](const std::string& home) { fs::remove(home + "/filler"); }},
    };
    std::mt19937 random(7);
    for (const auto& fault : faults) {
        SCOPED_TRACE(fault.name);
        if (fault.needsRoot && !root) {
            std::printf("skipped '%s': mounting a small file system needs root\n", fault.name);
            continue;
        }
        ASSERT_NO_FATAL_FAILURE(EmptyHomes(fault.needsRoot));
        ASSERT_EQ(Sync().status, 0);
        ChangeTheService(random);
        Report(2);
        const std::string cache = testsupport::ReadWholeFile(home_ + "/local.cache");
        const std::string reports = testsupport::ReadWholeFile(home_ + "/poiupdates.upd");
        fault.break_(home_);
        const auto failed = Sync();
        EXPECT_EQ(failed.status, 1);
        EXPECT_NE(failed.err.find("Error in local cache !\nCause: cannot "), std::string::npos) << failed.err;
        EXPECT_NE(failed.err.find(fault.cause), std::string::npos) << failed.err;
        EXPECT_EQ(testsupport::ReadWholeFile(home_ + "/local.cache"), cache);
        EXPECT_EQ(testsupport::ReadWholeFile(home_ + "/poiupdates.upd"), reports);
        fault.mend(home_);
        ExpectNothingLost();
    }
}

// A local cache that is not what the last synchronisation wrote is never used: the next one
// retrieves everything. One that an older version left without a seal is trusted while whole.
TEST_F(SyncFaults, ADamagedCacheIsRetrievedAgain) {
    std::mt19937 random(5);
    const struct {
        const char* damage;
        std::function<void(const std::string&)> apply;
        const char* summary;
    } cases[] = {
        {"cut to 960 bytes", [](const std::string& cache) { fs::resize_file(cache, 960); }, "Full retrieval"},
        {"random bytes of the same length",
         [&](const std::string& cache) {
             std::string noise(fs::file_size(cache), '\0');
             for (char& c : noise) c = static_cast<char>(random());
             testsupport::WriteWholeFile(cache, noise);
         },
         "Full retrieval"},
        {"no seal, as an older version left it", [](const std::string& cache) { fs::remove(cache + ".sum"); },
         "Changes downloaded"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.damage);
        ASSERT_NO_FATAL_FAILURE(EmptyHomes(false));
        ASSERT_EQ(Sync().status, 0);
        ChangeTheService(random);
        c.apply(home_ + "/local.cache");
        const auto run = Sync();
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find(c.summary), std::string::npos) << run.out;
        EXPECT_TRUE(testsupport::FileExists(home_ + "/local.cache.sum"));
        ExpectNothingLost();
    }
}

// The last steps of a synchronisation say what failed underneath, and the camera file of before
// stays whole when there is no room for the new one beside it.
TEST_F(SyncFaults, TheLastStepsSayWhyTheyFailed) {
    const bool root = geteuid() == 0;
    const struct {
        const char* name;
        bool needsRoot;
        std::string says;  // after the home folder
        std::function<void(const std::string&)> break_;
    } faults[] = {
        {"the reports file is a folder", false, "/poiupdates.upd: Is a directory",
         [](const std::string& home) { fs::create_directory(home + "/poiupdates.upd"); }},
        {"no room for the new camera file", true, "/zarniks.mtc: No space left on device",
         [](const std::string& home) {
             const auto space = fs::space(home).available;
             const auto half = fs::file_size(home + "/zarniks.mtc") / 2;
             ASSERT_GT(space, half);
             testsupport::WriteWholeFile(home + "/filler", std::string(space - half, 'f'));
         }},
    };
    for (const auto& fault : faults) {
        SCOPED_TRACE(fault.name);
        if (fault.needsRoot && !root) {
            std::printf("skipped '%s': mounting a small file system needs root\n", fault.name);
            continue;
        }
        ASSERT_NO_FATAL_FAILURE(EmptyHomes(fault.needsRoot));
        ASSERT_EQ(Sync().status, 0);
        const std::string cameraFile = testsupport::ReadWholeFile(home_ + "/zarniks.mtc");
        fault.break_(home_);
        const auto failed = Sync();
        EXPECT_EQ(failed.status, 1);
        EXPECT_NE(failed.err.find("!\nCause: cannot "), std::string::npos) << failed.err;
        EXPECT_NE(failed.err.find(home_ + fault.says), std::string::npos) << failed.err;
        EXPECT_EQ(testsupport::ReadWholeFile(home_ + "/zarniks.mtc"), cameraFile);
        fs::remove_all(home_ + "/poiupdates.upd");
        fs::remove(home_ + "/filler");
        ExpectNothingLost();
    }
}

}  // namespace
