// Figures of the reference service on loopback: a full retrieval of a large official list
// (time, bytes, peak memory of the service), an upload of change lines that each must be
// matched to a camera, and a sustained rate of logons.
//   poidb_bench [--cameras N] [--upload-lines L] [--rate R] [--seconds S] [--workers W]
#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/poidb/bench_support.h"
#include "temp_dir.h"
#include "tools/poidb-server/schema.h"

namespace {

using poidbbench::Clock;
using poidbbench::LoggedOn;
using poidbbench::LogOn;
using poidbbench::Post;
using poidbbench::Received;
using poidbbench::SecondsSince;

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

void FullRetrieval(const std::string& base) {
    for (int round = 1; round <= 3; ++round) {
        CURL* curl = LoggedOn(base);
        if (curl == nullptr) return;
        Received received;
        const double took = poidbbench::TimedGet(curl, base + "off.php", received);
        if (took < 0) {
            std::printf("full retrieval %d: TRANSFER FAILED after %zu bytes\n", round, received.bytes);
        } else {
            std::printf("full retrieval %d: %zu records, %.1f MB in %.3f s (%.0f records/s)\n", round,
                        received.records, static_cast<double>(received.bytes) / 1e6, took,
                        static_cast<double>(received.records) / took);
        }
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

}  // namespace

int main(int argc, char** argv) {
    const Settings settings = ReadSettings(argc, argv);
    testsupport::TempDir dir;
    const std::string db_path = dir.file("bench.db");
    if (!poidbbench::MakeSample(db_path, settings.cameras)) return 1;
    curl_global_init(CURL_GLOBAL_DEFAULT);
    poidbbench::ServiceProcess service(db_path);
    if (!service.running()) return 1;
    const std::string base = service.base();
    FullRetrieval(base);
    Upload(base, UploadBody(db_path, settings.cameras, settings.upload_lines), settings.cameras);
    std::printf("service peak memory after retrievals: %.1f MB\n", service.PeakMegabytes());
    LogonLoad(base, settings);
    std::printf("service peak memory after logons: %.1f MB\n", service.PeakMegabytes());
    std::printf("service exit status: %d\n", service.Stop());
    curl_global_cleanup();
    return 0;
}
