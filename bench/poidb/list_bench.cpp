// The official list of the reference service against a static server sending the very same
// bytes, both fetched over loopback by the same libcurl client that reads every byte. The
// static server is this program's own: one thread that answers each GET on a kept-alive
// connection with a Content-Length header and the bytes of a file, either through sendfile or
// with send() from a copy in memory in 256 KiB pieces; the faster of the two is the measure.
//   poidb_list_bench [--cameras N] [--runs R]
#include <fcntl.h>
#include <poll.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <utility>

#include "bench/poidb/bench_support.h"
#include "loopback.h"
#include "temp_dir.h"

namespace {

using poidbbench::Received;

class StaticServer {
public:
    // `content` is what the file at `path` holds.
    StaticServer(int listen_fd, std::string path, const std::string& content, bool use_sendfile)
        : listen_fd_(listen_fd), path_(std::move(path)), use_sendfile_(use_sendfile) {
        if (!use_sendfile_) content_ = content;
        thread_ = std::thread([this] { Loop(); });
    }
    ~StaticServer() {
        stop_ = true;
        thread_.join();
        close(listen_fd_);
    }
    StaticServer(const StaticServer&) = delete;
    StaticServer& operator=(const StaticServer&) = delete;

private:
    void Loop() {
        while (!stop_) {
            pollfd p{listen_fd_, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            const int client = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) continue;
            Serve(client);
            close(client);
        }
    }

    // Answers the requests of one kept-alive connection until the client closes it.
    void Serve(int client) const {
        std::string request;
        char buffer[4096];
        for (;;) {
            const std::size_t end = request.find("\r\n\r\n");
            if (end != std::string::npos) {
                request.erase(0, end + 4);
                if (!Reply(client)) return;
                continue;
            }
            pollfd p{client, POLLIN, 0};
            if (request.size() > 65536 || poll(&p, 1, 5000) <= 0) return;
            const ssize_t n = recv(client, buffer, sizeof buffer, 0);
            if (n <= 0) return;
            request.append(buffer, static_cast<std::size_t>(n));
        }
    }

    bool Reply(int client) const {
        const int file = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat info {};
        if (file < 0 || fstat(file, &info) != 0) {
            if (file >= 0) close(file);
            return false;
        }
        const std::string header = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
                                   std::to_string(info.st_size) + "\r\n\r\n";
        bool ok = send(client, header.data(), header.size(), MSG_NOSIGNAL | MSG_MORE) ==
                  static_cast<ssize_t>(header.size());
        off_t offset = 0;
        while (ok && offset < info.st_size) {
            const std::size_t left = static_cast<std::size_t>(info.st_size - offset);
            const ssize_t n =
                use_sendfile_ ? sendfile(client, file, &offset, left)
                              : send(client, content_.data() + offset, std::min(left, kPiece), MSG_NOSIGNAL);
            ok = n > 0;
            if (ok && !use_sendfile_) offset += n;
        }
        close(file);
        return ok;
    }

    static constexpr std::size_t kPiece = std::size_t{256} * 1024;
    int listen_fd_;
    std::string path_;
    bool use_sendfile_;
    std::string content_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The shortest of `runs` fetches of `url`, negative when any failed or differed in size.
double BestOf(long runs, CURL* curl, const std::string& url, std::size_t bytes) {
    double best = -1.0;
    for (long i = 0; i < runs; ++i) {
        Received received;
        const double took = poidbbench::TimedGet(curl, url, received);
        if (took < 0 || received.bytes != bytes) return -1.0;
        best = best < 0 ? took : std::min(best, took);
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const long cameras = std::clamp(poidbbench::LongOption(argc, argv, "--cameras", 300000), 1L, 5000000L);
    const long runs = std::clamp(poidbbench::LongOption(argc, argv, "--runs", 5), 1L, 50L);
    testsupport::TempDir dir;
    const std::string db_path = dir.file("bench.db");
    if (!poidbbench::MakeSample(db_path, cameras)) return 1;
    curl_global_init(CURL_GLOBAL_DEFAULT);
    poidbbench::ServiceProcess service(db_path);
    CURL* curl = service.running() ? poidbbench::LoggedOn(service.base()) : nullptr;
    if (curl == nullptr) return 1;
    const std::string url = service.base() + "off.php";

    // The first retrieval after the start, then one kept for the static server, then the runs.
    Received first;
    const double first_took = poidbbench::TimedGet(curl, url, first);
    std::string bytes;
    Received kept;
    kept.text = &bytes;
    if (first_took < 0 || poidbbench::TimedGet(curl, url, kept) < 0 || kept.bytes != first.bytes) {
        std::printf("official list: TRANSFER FAILED\n");
        return 1;
    }
    const double service_best = BestOf(runs, curl, url, bytes.size());
    std::printf("official list from the service: %zu records, %.1f MB; first after the start %.3f s, "
                "best of %ld %.3f s\n",
                kept.records, static_cast<double>(bytes.size()) / 1e6, first_took, runs, service_best);
    std::printf("service peak memory: %.1f MB\n", service.PeakMegabytes());
    curl_easy_cleanup(curl);
    service.Stop();

    const std::string file = dir.file("off.txt");
    std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    double static_best = -1.0;
    for (const bool use_sendfile : {true, false}) {
        std::string address;
        const int fd = testsupport::ListenOnFreeLoopback(80, address);
        if (fd < 0) return 1;
        StaticServer server(fd, file, bytes, use_sendfile);
        CURL* plain = curl_easy_init();
        const std::string static_url = "http://" + address + "/off.txt";
        // Untimed, as the service's connection was used before its runs too.
        Received warm_up;
        poidbbench::TimedGet(plain, static_url, warm_up);
        const double best = BestOf(runs, plain, static_url, bytes.size());
        curl_easy_cleanup(plain);
        std::printf("same bytes from a static server (%s): best of %ld %.3f s\n",
                    use_sendfile ? "sendfile from a file" : "send from memory", runs, best);
        if (best > 0) static_best = static_best < 0 ? best : std::min(static_best, best);
    }
    if (service_best > 0 && static_best > 0) {
        std::printf("official list: service / static = %.2f\n", service_best / static_best);
    } else {
        std::printf("official list: TRANSFER FAILED\n");
    }
    curl_global_cleanup();
    return 0;
}
