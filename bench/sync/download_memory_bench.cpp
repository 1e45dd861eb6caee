// The peak memory of `zarnik-sync sync --pc-only` over a change download that adds a great many
// cameras, against its bound: twice the resulting cache plus 64 MiB. The service is a scripted
// server on loopback in this process; the tool runs as its own process, as the user runs it.
//   download_memory_bench [--mib N]     (the size of the D0Sync.php reply; default 64)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "scripted_http_server.h"
#include "service/cache_file.h"
#include "temp_dir.h"

namespace {

constexpr double kMiB = 1024.0 * 1024.0;

// Runs zarnik-sync to its end with its output dropped; its exit status and peak memory in MiB.
int RunTool(const std::vector<std::string>& args, double& peakMiB) {
    std::vector<std::string> all = {std::string(ZARNIK_BIN_DIR) + "/zarnik-sync"};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return -1;
    peakMiB = static_cast<double>(usage.ru_maxrss) * 1024.0 / kMiB;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Well-formed change records that each add a new camera, up to `bytes`.
std::string AddingReply(std::size_t bytes) {
    std::string reply;
    reply.reserve(bytes + 100);
    char line[128];
    for (long id = 1000000; reply.size() < bytes; ++id) {
        const int n = std::snprintf(line, sizeof line, "%ld|%ld|%ld|camera %ld|90|1|0|A|1#", id,
                                    40000000 + id % 10000000, 5000000 + id % 7000000, id);
        reply.append(line, static_cast<std::size_t>(n));
    }
    return reply;
}

}  // namespace

int main(int argc, char** argv) {
    long mib = 64;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--mib") == 0) mib = std::atol(argv[i + 1]);
    }
    const std::string download = AddingReply(static_cast<std::size_t>(mib) * 1024 * 1024);
    std::string self;
    testsupport::ScriptedHttpServer server([&](const testsupport::HttpRequest& r, testsupport::HttpConnection& c) {
        if (r.path == "/vyosync.txt") {
            testsupport::SendReply(c, "http://" + self + "/");
        } else if (r.path == "/POIDataBase/LoGon.php") {
            testsupport::SendReply(c, "OK:", "Set-Cookie: sid=s1\r\n");
        } else if (r.path == "/POIDataBase/D0Sync.php") {
            testsupport::SendReply(c, download);
        } else {
            testsupport::SendReply(c, "");
        }
    });
    if (!server.ok()) {
        std::fprintf(stderr, "download_memory_bench: no loopback server\n");
        return 1;
    }
    self = server.address();
    const testsupport::TempDir work;
    const std::string home = work.file("home");
    std::filesystem::create_directories(home);
    setenv("ZARNIK_SETTINGS", work.file("settings.reg").c_str(), 1);
    setenv("ZARNIK_HOME", home.c_str(), 1);
    // A small cache to start from, so that the download is merged rather than a full retrieval.
    std::vector<service::CameraRecord> cached(1000);
    for (std::size_t i = 0; i < cached.size(); ++i) {
        cached[i].identifier = static_cast<std::int32_t>(i + 1);
        cached[i].latitude = static_cast<std::int32_t>(50000000 + i * 1000);
        cached[i].flag = 1;
    }
    service::WriteCacheFile(home + "/local.cache", cached.data(), cached.size());
    double peak = 0;
    if (RunTool({"settings", "set", "--url", server.BaseUrl(), "--name", "Ann", "--serial", "S", "--email", "a@b.c"},
                peak) != 0) {
        std::fprintf(stderr, "download_memory_bench: settings could not be stored\n");
        return 1;
    }
    const int status = RunTool({"sync", "--pc-only"}, peak);
    const double cache = static_cast<double>(std::filesystem::file_size(home + "/local.cache")) / kMiB;
    const double bound = 2 * cache + 64;
    std::printf("change download of %.0f MiB: exit %d, resulting cache %.1f MiB, peak memory %.1f MiB, bound %.1f MiB: %s\n",
                static_cast<double>(download.size()) / kMiB, status, cache, peak, bound,
                status == 0 && peak <= bound ? "within" : "OVER");
    return status == 0 && peak <= bound ? 0 : 1;
}
