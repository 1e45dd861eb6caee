// How close a synchronisation comes to the floor the machine sets, as ratios in one run:
//   - full: `zarnik-sync sync --pc-only` in a new folder, against curl fetching the same four
//     replies (logon and the three lists) and cat writing local.cache and zarniks.mtc;
//   - incremental: 300 changes on the service and 100 personal reports, against cat rewriting
//     local.cache and zarniks.mtc; with the tool's peak memory.
// The service runs as its own process; the tool runs as the user runs it.
//   floor_bench [--cameras N] [--runs R]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench/poidb/bench_support.h"
#include "engine/change_record.h"
#include "temp_dir.h"
#include "tools/poidb-server/schema.h"
#include "tools/poidb-server/store.h"

namespace {

using poidbbench::Clock;
using poidbbench::SecondsSince;

struct Outcome {
    double seconds = -1;
    double peakMegabytes = 0;
    int status = -1;
};

// Runs a program to its end with its output dropped; the time, its peak memory and status.
Outcome RunTimed(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    Outcome outcome;
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return outcome;
    outcome.seconds = SecondsSince(start);
    outcome.peakMegabytes = static_cast<double>(usage.ru_maxrss) / 1024.0;
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

std::string Tool() { return poidbbench::ServerProgram().substr(0, poidbbench::ServerProgram().rfind('/')) + "/zarnik-sync"; }

// What a user's machine does at the least: fetch the replies and write the two files.
double CurlAndCat(const std::string& base, const std::string& folder, const std::string& scratch) {
    const std::string body = "Sample User 1,SAMPLE-0001,user1@example.org,2.0";
    const std::string jar = scratch + "/cookies";
    const std::string script =
        "curl -s -c " + jar + " -d '" + body + "' " + base + "LoGon.php >/dev/null && " +
        "curl -s -b " + jar + " " + base + "mut.php >/dev/null && " +
        "curl -s -b " + jar + " " + base + "off.php >/dev/null && " +
        "curl -s -b " + jar + " " + base + "per.php >/dev/null && " + "cat " + folder + "/local.cache >" + scratch +
        "/a && cat " + folder + "/zarniks.mtc >" + scratch + "/b";
    return RunTimed({"sh", "-c", script}).seconds;
}

double CatRewrite(const std::string& folder, const std::string& scratch) {
    return RunTimed({"sh", "-c",
                     "cat " + folder + "/local.cache >" + scratch + "/a && cat " + folder + "/zarniks.mtc >" + scratch +
                         "/b"})
        .seconds;
}

// 300 changes of the service: new, moved-in-place, deleted and mutated official cameras.
bool ChangeTheService(const std::string& db, std::mt19937& random, long cameras) {
    poidb::Database database;
    std::string error;
    if (!poidb::OpenStore(database, db, false, error)) return false;
    poidb::Store store(database);
    const std::time_t now = std::time(nullptr);
    std::uniform_int_distribution<std::int64_t> any(1, cameras);
    for (int i = 0; i < 150; ++i) {
        poidb::CameraInput camera;
        camera.latitude = 40000000 + static_cast<std::int32_t>(random() % 10000000);
        camera.longitude = 5000000 + static_cast<std::int32_t>(random() % 10000000);
        camera.name = "new";
        if (!store.AddCamera(camera, now)) return false;
    }
    for (int i = 0; i < 75; ++i) store.DeleteCamera(any(random), now);
    for (int i = 0; i < 75; ++i) store.MutateCamera(any(random), false, 180, 27600, now);
    return true;
}

// 100 reports the device recorded: new cameras far from each other.
void WriteReports(const std::string& folder, int round) {
    std::string bytes;
    for (int i = 0; i < 100; ++i) {
        engine::ChangeRecord r{};
        r.action = engine::ChangeAction::kAdd;
        r.latitude = -30000000 - round * 1000000 - i * 5000;
        r.longitude = 20000000 + i * 5000;
        r.direction = 90;
        r.category = 3;
        bytes.append(reinterpret_cast<const char*>(&r), sizeof r);
    }
    std::FILE* f = std::fopen((folder + "/poiupdates.upd").c_str(), "wb");
    if (f != nullptr) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const long cameras = poidbbench::LongOption(argc, argv, "--cameras", 300000);
    const long runs = poidbbench::LongOption(argc, argv, "--runs", 3);
    testsupport::TempDir dir;
    const std::string db = dir.file("poi.db");
    if (!poidbbench::MakeSample(db, cameras)) return 1;
    poidbbench::ServiceProcess service(db);
    if (!service.running()) return 1;
    const std::string base = service.base();

    setenv("ZARNIK_SETTINGS", dir.file("settings.reg").c_str(), 1);
    const std::string tool = Tool();
    if (RunTimed({tool, "settings", "set", "--name", "Sample User 1", "--serial", "SAMPLE-0001", "--email",
                  "user1@example.org", "--url", base})
            .status != 0) {
        std::fprintf(stderr, "cannot store the settings\n");
        return 1;
    }

    double full = 1e9, fullFloor = 1e9, fullPeak = 0;
    for (long run = 0; run <= runs; ++run) {  // run 0 warms the service's list up
        const std::string folder = dir.file("full" + std::to_string(run));
        std::filesystem::create_directories(folder);
        setenv("ZARNIK_HOME", folder.c_str(), 1);
        const Outcome ours = RunTimed({tool, "sync", "--pc-only"});
        if (ours.status != 0) {
            std::fprintf(stderr, "full synchronisation failed: %d\n", ours.status);
            return 1;
        }
        const double floor = CurlAndCat(base, folder, dir.path());
        if (run == 0) continue;
        full = std::min(full, ours.seconds);
        fullFloor = std::min(fullFloor, floor);
        fullPeak = std::max(fullPeak, ours.peakMegabytes);
    }
    std::printf("full synchronisation, %ld cameras: %.3f s; curl + cat: %.3f s; ratio %.2f (target <= 1.25); "
                "peak %.0f MiB\n",
                cameras, full, fullFloor, full / fullFloor, fullPeak);

    const std::string home = dir.file("full1");
    setenv("ZARNIK_HOME", home.c_str(), 1);
    std::mt19937 random(5);
    double incremental = 1e9, incrementalFloor = 1e9, incrementalPeak = 0;
    for (long run = 0; run < runs; ++run) {
        if (!ChangeTheService(db, random, cameras)) {
            std::fprintf(stderr, "cannot change the service's cameras\n");
            return 1;
        }
        WriteReports(home, static_cast<int>(run));
        const Outcome ours = RunTimed({tool, "sync", "--pc-only"});
        if (ours.status != 0) {
            std::fprintf(stderr, "incremental synchronisation failed: %d\n", ours.status);
            return 1;
        }
        incremental = std::min(incremental, ours.seconds);
        incrementalFloor = std::min(incrementalFloor, CatRewrite(home, dir.path()));
        incrementalPeak = std::max(incrementalPeak, ours.peakMegabytes);
    }
    std::printf("incremental synchronisation (300 service changes, 100 reports): %.3f s; cat rewrite: %.3f s; "
                "ratio %.2f (target <= 4); peak %.0f MiB (target <= %d)\n",
                incremental, incrementalFloor, incremental / incrementalFloor, incrementalPeak,
                cameras <= 300000 ? 60 : 150);
    return 0;
}
