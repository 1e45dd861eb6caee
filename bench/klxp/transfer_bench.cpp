// Upload and download of a 75 MB speed-camera file through CKlxpClient to a devagent on
// loopback; prints the rate of each direction (best of three runs).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "klxpxclnt/klxp_xclient.h"
#include "temp_dir.h"
#include "tools/devagent/agent.h"

namespace {

constexpr std::size_t kFileBytes = std::size_t{75} * 1000U * 1000U;

template <typename F>
double BestSeconds(F&& run, bool& ok) {
    double best = 1e9;
    for (int i = 0; i < 3; ++i) {
        const auto start = std::chrono::steady_clock::now();
        ok = run() && ok;
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

}  // namespace

int main() {
    testsupport::TempDir device_folder, pc;
    devagent::AgentOptions options;
    options.root = device_folder.path();
    options.listen = "127.0.0.1:0";
    options.navigator_running = false;
    options.log_commands = false;
    devagent::Agent agent(options);
    std::string error;
    if (!agent.Start(error)) {
        std::fprintf(stderr, "agent: %s\n", error.c_str());
        return 1;
    }
    std::string bytes(kFileBytes, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 2654435761U >> 13);
    testsupport::WriteWholeFile(pc.file("zarniks.mtc"), bytes);

    klxp::CKlxpXClient client;
    client.SetAddress(agent.address().c_str());
    if (!client.Connect()) {
        std::fprintf(stderr, "connect: %s\n", client.GetStringResult());
        return 1;
    }
    const std::string remote = "\\My Flash Disk\\VyoMap\\VyoMap\\VyoTC\\pois\\zarniks.mtc";
    const std::string local = pc.file("zarniks.mtc");
    const std::string back = pc.file("back.mtc");
    bool ok = true;
    client.SetBlocking(true);
    const double up = BestSeconds([&] { return client.Upload(local.c_str(), remote.c_str(), 1); }, ok);
    const double down = BestSeconds([&] { return client.Download(remote.c_str(), back.c_str(), 1); }, ok);
    ok = ok && std::filesystem::file_size(back) == kFileBytes;
    const double mb = static_cast<double>(kFileBytes) / 1e6;
    std::printf("klxp transfer of %.0f MB over loopback (best of 3)\n", mb);
    std::printf("  upload:   %8.1f MB/s  (%.3f s)\n", mb / up, up);
    std::printf("  download: %8.1f MB/s  (%.3f s)\n", mb / down, down);
    std::printf("  goal:     200 MB/s each way -> %s\n", ok && mb / up >= 200 && mb / down >= 200 ? "met" : "NOT met");
    return ok ? 0 : 1;
}
