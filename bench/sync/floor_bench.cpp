// How close a synchronisation comes to the floor the machine sets, as ratios in one run, at
// each size given (300,000 and 1,000,000 cameras unless told):
//   - full: `zarnik-sync sync --pc-only` in a new folder, against curl fetching the same four
//     replies (logon and the three lists), cat writing local.cache and zarniks.mtc, and both
//     files and their folder synced, as durably as the tool must write them;
//   - incremental: 300 changes on the service and 100 personal reports, against cat rewriting
//     local.cache and zarniks.mtc and syncing them; with the tool's peak memory.
// Each figure is the least of the runs. The service runs as its own process; the tool runs as
// the user runs it. A table of every size closes the output.
//   floor_bench [--cameras N] [--runs R]
// FLOOR_BENCH_WRAP, when set, is put before each run of the tool (words split at spaces), to
// profile it: FLOOR_BENCH_WRAP="perf record -g -o /tmp/sync.perf --".
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

// The tool's command line, behind the wrapper named by FLOOR_BENCH_WRAP if any.
std::vector<std::string> Wrapped(std::vector<std::string> args) {
    const char* wrap = std::getenv("FLOOR_BENCH_WRAP");
    if (wrap == nullptr) return args;
    std::vector<std::string> words;
    std::string word;
    for (const char* c = wrap;; ++c) {
        if (*c == ' ' || *c == '\0') {
            if (!word.empty()) words.push_back(word);
            word.clear();
            if (*c == '\0') break;
        } else {
            word += *c;
        }
    }
    words.insert(words.end(), args.begin(), args.end());
    return words;
}

std::string Tool() { return poidbbench::ServerProgram().substr(0, poidbbench::ServerProgram().rfind('/')) + "/zarnik-sync"; }

// The two outputs written anew and made lasting: their data and the folder that names them.
std::string DurableCopies(const std::string& folder, const std::string& scratch) {
    return "cat " + folder + "/local.cache >" + scratch + "/a && cat " + folder + "/zarniks.mtc >" + scratch +
           "/b && sync -d " + scratch + "/a " + scratch + "/b && sync " + scratch;
}

// What a user's machine does at the least: fetch the replies and write the two files.
double CurlAndCat(const std::string& base, const std::string& folder, const std::string& scratch) {
    const std::string body = "Sample User 1,SAMPLE-0001,user1@example.org,2.0";
    const std::string jar = scratch + "/cookies";
    const std::string script =
        "curl -s -c " + jar + " -d '" + body + "' " + base + "LoGon.php >/dev/null && " +
        "curl -s -b " + jar + " " + base + "mut.php >/dev/null && " +
        "curl -s -b " + jar + " " + base + "off.php >/dev/null && " +
        "curl -s -b " + jar + " " + base + "per.php >/dev/null && " + DurableCopies(folder, scratch);
    return RunTimed({"sh", "-c", script}).seconds;
}

double CatRewrite(const std::string& folder, const std::string& scratch) {
    return RunTimed({"sh", "-c", DurableCopies(folder, scratch)}).seconds;
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


struct Figures {
    long cameras = 0;
    double full = 1e9, fullFloor = 1e9, fullPeak = 0;
    double incremental = 1e9, incrementalFloor = 1e9, incrementalPeak = 0;
};

// Both synchronisations at one size; false after saying why they could not be measured.
bool Measure(const std::string& tool, long runs, Figures& f) {
    testsupport::TempDir dir;
    const std::string db = dir.file("poi.db");
    if (!poidbbench::MakeSample(db, f.cameras)) return false;
    poidbbench::ServiceProcess service(db);
    if (!service.running()) return false;
    setenv("ZARNIK_SETTINGS", dir.file("settings.reg").c_str(), 1);
    if (RunTimed({tool, "settings", "set", "--name", "Sample User 1", "--serial", "SAMPLE-0001", "--email",
                  "user1@example.org", "--url", service.base()})
            .status != 0) {
        std::fprintf(stderr, "cannot store the settings\n");
        return false;
    }
    for (long run = 0; run <= runs; ++run) {  // run 0 warms the service's list up
        const std::string folder = dir.file("full" + std::to_string(run));
        std::filesystem::create_directories(folder);
        setenv("ZARNIK_HOME", folder.c_str(), 1);
        const Outcome ours = RunTimed(Wrapped({tool, "sync", "--pc-only"}));
        if (ours.status != 0) {
            std::fprintf(stderr, "full synchronisation failed: %d\n", ours.status);
            return false;
        }
        const double floor = CurlAndCat(service.base(), folder, dir.path());
        if (run == 0) continue;
        f.full = std::min(f.full, ours.seconds);
        f.fullFloor = std::min(f.fullFloor, floor);
        f.fullPeak = std::max(f.fullPeak, ours.peakMegabytes);
    }
    std::printf("full synchronisation, %ld cameras: %.3f s; curl + cat + sync: %.3f s; ratio %.2f; peak %.0f MiB\n",
                f.cameras, f.full, f.fullFloor, f.full / f.fullFloor, f.fullPeak);

    const std::string home = dir.file("full1");
    setenv("ZARNIK_HOME", home.c_str(), 1);
    std::mt19937 random(5);
    for (long run = 0; run < runs; ++run) {
        if (!ChangeTheService(db, random, f.cameras)) {
            std::fprintf(stderr, "cannot change the service's cameras\n");
            return false;
        }
        WriteReports(home, static_cast<int>(run));
        const Outcome ours = RunTimed(Wrapped({tool, "sync", "--pc-only"}));
        if (ours.status != 0) {
            std::fprintf(stderr, "incremental synchronisation failed: %d\n", ours.status);
            return false;
        }
        f.incremental = std::min(f.incremental, ours.seconds);
        f.incrementalFloor = std::min(f.incrementalFloor, CatRewrite(home, dir.path()));
        f.incrementalPeak = std::max(f.incrementalPeak, ours.peakMegabytes);
    }
    std::printf("incremental synchronisation (300 service changes, 100 reports): %.3f s; cat + sync: %.3f s; "
                "ratio %.2f; peak %.0f MiB\n",
                f.incremental, f.incrementalFloor, f.incremental / f.incrementalFloor, f.incrementalPeak);
    return true;
}

std::vector<long> Sizes(int argc, char** argv) {
    const long one = poidbbench::LongOption(argc, argv, "--cameras", 0);
    if (one > 0) return {one};
    return {300000, 1000000};
}

}  // namespace

int main(int argc, char** argv) {
    const long runs = poidbbench::LongOption(argc, argv, "--runs", 3);
    const std::string tool = Tool();
    std::vector<Figures> all;
    for (const long cameras : Sizes(argc, argv)) {
        Figures f;
        f.cameras = cameras;
        if (!Measure(tool, runs, f)) return 1;
        all.push_back(f);
    }
    std::printf("\n| cameras | work | ours | durable floor | ratio | target |\n|---|---|---|---|---|---|\n");
    for (const Figures& f : all) {
        const bool large = f.cameras > 300000;
        std::printf("| %ld | full synchronisation | %.3f s | %.3f s | %.2fx | <= %.2fx |\n", f.cameras, f.full,
                    f.fullFloor, f.full / f.fullFloor, large ? 1.35 : 1.25);
        std::printf("| %ld | incremental (300 changes, 100 reports) | %.3f s | %.3f s | %.2fx | <= 2x |\n", f.cameras,
                    f.incremental, f.incrementalFloor, f.incremental / f.incrementalFloor);
        if (large) {
            std::printf("| %ld | peak memory, incremental / full | %.0f / %.0f MiB | | | <= 150 MiB |\n", f.cameras,
                        f.incrementalPeak, f.fullPeak);
        } else {
            std::printf("| %ld | peak memory, incremental / full | %.0f / %.0f MiB | | | <= 60 / 64 MiB |\n",
                        f.cameras, f.incrementalPeak, f.fullPeak);
        }
    }
    return 0;
}
