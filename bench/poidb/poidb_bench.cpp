// Figures of the reference service on loopback: a full retrieval of a large official list
// (time, bytes, peak memory of the service), an upload of change lines that each must be
// matched to a camera, and a sustained rate of logons.
//   poidb_bench [--cameras N] [--upload-lines L] [--rate R] [--seconds S] [--workers W]
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "loopback.h"
#include "temp_dir.h"
#include "tools/poidb-server/sample_data.h"
#include "tools/poidb-server/schema.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

struct Settings {
    long cameras = 1000000;
    long rate = 200;
    long seconds = 10;
    long workers = 32;
    long upload_lines = 300;
};

Settings ReadSettings(int argc, char** argv) {
    Settings s;
    for (int i = 1; i + 1 < argc; i += 2) {
        const long value = std::strtol(argv[i + 1], nullptr, 10);
        if (std::strcmp(argv[i], "--cameras") == 0) s.cameras = value;
        if (std::strcmp(argv[i], "--rate") == 0) s.rate = value;
        if (std::strcmp(argv[i], "--seconds") == 0) s.seconds = value;
        if (std::strcmp(argv[i], "--workers") == 0) s.workers = value;
        if (std::strcmp(argv[i], "--upload-lines") == 0) s.upload_lines = value;
    }
    s.upload_lines = std::clamp(s.upload_lines, 1L, 5000L);
    s.rate = std::clamp(s.rate, 1L, 5000L);
    s.seconds = std::clamp(s.seconds, 1L, 120L);
    s.workers = std::clamp(s.workers, 1L, 256L);
    return s;
}

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* target) {
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
}

// Counts bytes and records without keeping the reply.
struct Counter {
    std::size_t bytes = 0;
    std::size_t records = 0;
};
std::size_t Count(char* data, std::size_t size, std::size_t count, void* target) {
    auto* counter = static_cast<Counter*>(target);
    counter->bytes += size * count;
    counter->records += static_cast<std::size_t>(std::count(data, data + size * count, '#'));
    return size * count;
}

// Posts `body` labelled as form data, as the client does; the reply text goes to `reply`.
bool Post(CURL* curl, const std::string& url, const std::string& body, std::string& reply, long timeout) {
    curl_slist* headers = curl_slist_append(nullptr, "Content-Type: application/x-www-form-urlencoded");
    reply.clear();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, timeout);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    const bool ok = curl_easy_perform(curl) == CURLE_OK;
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(headers);
    return ok;
}

bool LogOn(CURL* curl, const std::string& base, std::string& reply) {
    static const std::string body = "Sample User 1,SAMPLE-0001,user1@example.org,2.0";
    return Post(curl, base + "LoGon.php", body, reply, 10L) && reply.rfind("OK", 0) == 0;
}

// A handle holding a logged-on session, or nullptr after saying why there is none.
CURL* LoggedOn(const std::string& base) {
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_COOKIEFILE, "");
    std::string reply;
    if (LogOn(curl, base, reply)) return curl;
    std::printf("logon failed: %s\n", reply.c_str());
    curl_easy_cleanup(curl);
    return nullptr;
}

void FullRetrieval(const std::string& base) {
    for (int round = 1; round <= 3; ++round) {
        CURL* curl = LoggedOn(base);
        if (curl == nullptr) return;
        Counter counter;
        const std::string url = base + "off.php";
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Count);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &counter);
        curl_easy_setopt(curl, CURLOPT_TIMEOUT, 60L);
        const auto start = Clock::now();
        const CURLcode rc = curl_easy_perform(curl);
        const double took = SecondsSince(start);
        std::printf("full retrieval %d: %zu records, %.1f MB in %.3f s (%.0f records/s)%s\n", round, counter.records,
                    static_cast<double>(counter.bytes) / 1e6, took, static_cast<double>(counter.records) / took,
                    rc == CURLE_OK ? "" : " TRANSFER FAILED");
        curl_easy_cleanup(curl);
    }
}

// U lines at the positions of official cameras spread over the whole table, so every line is
// matched to a camera inside the service's write transaction.
std::string UploadBody(const std::string& db_path, long cameras, long lines) {
    std::string body = "VyoSync Updates\n";
    poidb::Database db;
    std::string error;
    if (!poidb::OpenStore(db, db_path, false, error)) return body;
    poidb::Statement* st = db.Prepare("SELECT lat, lon FROM cameras WHERE id = ?1");
    if (st == nullptr) return body;
    const long step = std::max(1L, cameras / lines);
    for (long i = 0; i < lines; ++i) {
        st->Bind(1, static_cast<std::int64_t>(1 + i * step));
        if (st->Step() == SQLITE_ROW) {
            body += "U;" + std::to_string(st->Int(0)) + ";" + std::to_string(st->Int(1)) + ";Bench;90;3;50\n";
        }
        st->Reset();
    }
    return body;
}

void Upload(const std::string& base, const std::string& body, long cameras) {
    CURL* curl = LoggedOn(base);
    if (curl == nullptr) return;
    const long lines = static_cast<long>(std::count(body.begin(), body.end(), '\n')) - 1;
    std::string reply;
    const auto start = Clock::now();
    const bool sent = Post(curl, base + "upl0ad.php", body, reply, 120L);
    const double took = SecondsSince(start);
    std::printf("upload: %ld U lines (%zu bytes) against %ld cameras in %.3f s (%.2f ms a line), reply \"%s\"%s\n",
                lines, body.size(), cameras, took, took * 1e3 / static_cast<double>(std::max(1L, lines)), reply.c_str(),
                sent ? "" : " TRANSFER FAILED");
    curl_easy_cleanup(curl);
}

void LogonLoad(const std::string& base, const Settings& s) {
    const long total = s.rate * s.seconds;
    std::atomic<long> next{0};
    std::atomic<long> good{0};
    std::atomic<long> bad{0};
    std::mutex latency_mutex;
    std::vector<double> latencies;
    const auto start = Clock::now();
    const auto interval = std::chrono::duration<double>(1.0 / static_cast<double>(s.rate));
    std::vector<std::thread> workers;
    for (long w = 0; w < s.workers; ++w) {
        workers.emplace_back([&] {
            for (;;) {
                const long index = next++;
                if (index >= total) return;
                // Each logon starts at its own moment of the schedule: an open-loop load.
                std::this_thread::sleep_until(start + std::chrono::duration_cast<Clock::duration>(interval * index));
                CURL* curl = curl_easy_init();
                curl_easy_setopt(curl, CURLOPT_COOKIEFILE, "");
                std::string reply;
                const auto begun = Clock::now();
                const bool ok = LogOn(curl, base, reply);
                const double took = SecondsSince(begun);
                curl_easy_cleanup(curl);
                (ok ? good : bad)++;
                std::lock_guard lock(latency_mutex);
                latencies.push_back(took);
            }
        });
    }
    for (auto& worker : workers) worker.join();
    const double elapsed = SecondsSince(start);
    std::sort(latencies.begin(), latencies.end());
    const auto at = [&](double q) { return latencies.empty() ? 0.0 : latencies[static_cast<std::size_t>(q * (latencies.size() - 1))]; };
    std::printf("logons: %ld scheduled at %ld/s over %ld s; %ld ok, %ld failed; took %.2f s (%.0f/s); "
                "latency p50 %.1f ms, p99 %.1f ms, max %.1f ms\n",
                total, s.rate, s.seconds, good.load(), bad.load(), elapsed, static_cast<double>(good.load()) / elapsed,
                at(0.5) * 1e3, at(0.99) * 1e3, at(1.0) * 1e3);
}

pid_t StartServer(const std::string& program, const std::string& address, const std::string& db, int& err_fd) {
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipe_fds[1], 2);
        close(pipe_fds[0]);
        execl(program.c_str(), program.c_str(), "serve", "--quiet", "--address", address.c_str(), "--port", "80",
              "--db", db.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipe_fds[1]);
    err_fd = pipe_fds[0];
    std::string text;
    char buffer[256];
    while (text.find('\n') == std::string::npos) {
        const ssize_t got = read(err_fd, buffer, sizeof buffer);
        if (got <= 0) return -1;
        text.append(buffer, static_cast<std::size_t>(got));
    }
    std::printf("service: %s", text.c_str());
    return pid;
}

long PeakKilobytes(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    const Settings settings = ReadSettings(argc, argv);
    const std::string program =
        (std::filesystem::canonical("/proc/self/exe").parent_path().parent_path() / "bin" / "poidb-server").string();
    testsupport::TempDir dir;
    const std::string db_path = dir.file("bench.db");
    {
        poidb::Database db;
        std::string error;
        poidb::SampleOptions options;
        options.cameras = settings.cameras;
        options.mutations = settings.cameras / 100;
        options.personal = 10;
        const auto start = Clock::now();
        if (!poidb::OpenStore(db, db_path, true, error) || !poidb::GenerateSample(db, options, error)) {
            std::fprintf(stderr, "sample data: %s\n", error.c_str());
            return 1;
        }
        std::printf("sample data: %ld cameras in %.2f s, database %.1f MB\n", settings.cameras, SecondsSince(start),
                    static_cast<double>(std::filesystem::file_size(db_path)) / 1e6);
    }
    std::string address;
    const int fd = testsupport::ListenOnFreeLoopback(80, address);
    if (fd < 0) {
        std::fprintf(stderr, "no free loopback address\n");
        return 1;
    }
    close(fd);
    curl_global_init(CURL_GLOBAL_DEFAULT);
    int err_fd = -1;
    const pid_t server = StartServer(program, address, db_path, err_fd);
    if (server <= 0) {
        std::fprintf(stderr, "could not start %s\n", program.c_str());
        return 1;
    }
    const std::string base = "http://" + address + "/POIDataBase/";
    FullRetrieval(base);
    Upload(base, UploadBody(db_path, settings.cameras, settings.upload_lines), settings.cameras);
    std::printf("service peak memory after retrievals: %.1f MB\n", static_cast<double>(PeakKilobytes(server)) / 1024.0);
    LogonLoad(base, settings);
    std::printf("service peak memory after logons: %.1f MB\n", static_cast<double>(PeakKilobytes(server)) / 1024.0);
    kill(server, SIGTERM);
    int status = 0;
    waitpid(server, &status, 0);
    std::printf("service exit status: %d\n", WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    close(err_fd);
    curl_global_cleanup();
    return 0;
}
