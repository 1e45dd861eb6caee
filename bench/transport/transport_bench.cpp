// Reads a 100 MB reply from a loopback server through the transport in 500-byte pieces and
// prints the rate and the peak memory of the process.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "scripted_http_server.h"
#include "service/service_client.h"
#include "temp_dir.h"

namespace {
constexpr std::size_t kReplySize = std::size_t{100} * 1000 * 1000;

long PeakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}
}  // namespace

int main() {
    const std::string block(std::size_t{64} * 1024, 'x');
    testsupport::ScriptedHttpServer server([&](const testsupport::HttpRequest&, testsupport::HttpConnection& c) {
        const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kReplySize) + "\r\n\r\n";
        c.Write(head);
        for (std::size_t sent = 0; sent < kReplySize; sent += block.size()) {
            if (!c.Write(std::string_view(block).substr(0, std::min(block.size(), kReplySize - sent)))) return;
        }
    });
    if (!server.ok()) {
        std::fprintf(stderr, "cannot listen on a loopback address, port 80\n");
        return 1;
    }
    const long before = PeakKilobytes();
    const testsupport::TempDir folder;
    CServiceClient client{platform::WorkFolder(folder.path())};
    client.SetBaseUrl(server.BaseUrl().c_str());
    const auto start = std::chrono::steady_clock::now();
    if (client.OpenStandaloneRequest(nullptr, "POIDataBase/off.php", nullptr) != service::Result::kOk) return 1;
    std::size_t total = 0, pieces = 0;
    const bool ok = client.ReadEachPiece([&](const service::ReplyPiece& p) {
        total += p.length;
        ++pieces;
        return true;
    });
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    client.CloseHandles();
    std::printf("transport: %zu bytes in %zu pieces, %.3f s, %.0f MB/s, peak memory %ld KB (before the reply %ld KB)\n",
                total, pieces, seconds, static_cast<double>(total) / 1e6 / seconds, PeakKilobytes(), before);
    return ok && total == kReplySize ? 0 : 1;
}
