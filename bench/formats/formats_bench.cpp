// Cameras out to map programs and back: a million cameras exported as GPX and as CSV (the
// formatting alone, and zarnik-sync export writing the file), imported again with
// zarnik-sync import-reports, and the reports compared with the cameras, field by field.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "engine/map_formats.h"
#include "engine/change_record.h"
#include "service/cache_file.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

std::vector<service::CameraRecord> Cameras(std::size_t n) {
    std::mt19937 rng(11);
    std::vector<service::CameraRecord> out(n);
    for (std::size_t i = 0; i < n; ++i) {
        service::CameraRecord& r = out[i];
        r = {};
        r.latitude = static_cast<std::int32_t>(rng() % 180000001) - 90000000;
        r.longitude = static_cast<std::int32_t>(rng() % 360000001) - 180000000;
        r.direction = static_cast<std::int32_t>(rng() % 723) - 2;
        r.category = static_cast<std::int32_t>(rng() % 40000);
        r.extra = static_cast<std::int32_t>(rng() % 100);
        r.identifier = static_cast<std::int32_t>(i + 1);
        r.flag = i % 10 == 0 ? 0 : 1;
        std::snprintf(r.name, sizeof r.name, "Camera %zu & co", i);
    }
    return out;
}

// Runs zarnik-sync with the arguments, its standard output dropped; gives the wall time, or -1.
double RunTool(const std::vector<std::string>& args) {
    const std::string tool = std::string(ZARNIK_BIN_DIR) + "/zarnik-sync";
    std::vector<char*> argv{const_cast<char*>(tool.c_str())};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::fflush(stdout);  // the child would write what is still buffered once more
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        if (std::freopen("/dev/null", "w", stdout) == nullptr) _exit(126);
        execv(tool.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? Seconds(start) : -1;
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t count = 1000000;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--cameras") == 0) count = std::strtoull(argv[i + 1], nullptr, 10);
    }
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("zarnik-formats-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir / "home");
    setenv("ZARNIK_HOME", (dir / "home").c_str(), 1);
    const auto cameras = Cameras(count);
    const std::string cache = dir / "local.cache";
    if (!service::WriteCacheFile(cache, cameras.data(), cameras.size())) return 1;

    bool identical = true;
    for (const char* format : {"gpx", "csv"}) {
        const engine::MapFormat kind = std::strcmp(format, "gpx") == 0 ? engine::MapFormat::kGpx
                                                                            : engine::MapFormat::kCsv;
        std::size_t bytes = 0;
        engine::ExportSummary summary;
        auto start = std::chrono::steady_clock::now();
        engine::ExportCameras(cache, kind, engine::ExportFilter{}, [&](const char*, std::size_t size) { return (bytes += size, true); },
                              summary);
        const double formatting = Seconds(start);
        const std::string file = dir / (std::string("cameras.") + format);
        const double exported = RunTool({"export", "--format", format, "--cache", cache, "--out", file, "-q"});
        std::filesystem::remove(dir / "home" / "poiupdates.upd");
        const double imported = RunTool({"import-reports", file, "-q"});

        std::vector<engine::ChangeRecord> reports;
        engine::ReadChangeRecords(dir / "home" / "poiupdates.upd", reports);
        bool same = reports.size() == cameras.size();
        for (std::size_t i = 0; same && i < reports.size(); ++i) {
            same = reports[i].latitude == cameras[i].latitude && reports[i].longitude == cameras[i].longitude &&
                   reports[i].direction == cameras[i].direction && reports[i].category == cameras[i].category &&
                   reports[i].extra == cameras[i].extra && reports[i].action == engine::ChangeAction::kAdd;
        }
        identical = identical && same;
        std::printf("%s, %zu cameras (%.1f MB): formatting %.3f s, zarnik-sync export to a file %.3f s, "
                    "import-reports %.3f s; round trip %s\n",
                    format, summary.cameras, static_cast<double>(bytes) / 1e6, formatting, exported, imported,
                    same ? "identical" : "DIFFERS");
    }
    std::filesystem::remove_all(dir);
    return identical ? 0 : 1;
}
