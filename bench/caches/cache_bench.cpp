// Mutation filter (1,000,000 official cameras through 100,000 mutations) and change merge
// (100,000 changes into a 1,000,000-record cache, written to disk), timed and printed.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "service/mutation_filter.h"
#include "service/change_merge.h"
#include "service/service_client.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Cameras clustered around a few hundred points, with repeated positions and identifiers.
std::vector<service::CameraRecord> Cameras(std::mt19937& rng, std::size_t n, std::int32_t firstId) {
    std::vector<service::CameraRecord> out(n);
    std::uniform_int_distribution<int> city(0, 299), spread(-200000, 200000);
    for (std::size_t i = 0; i < n; ++i) {
        service::CameraRecord& r = out[i];
        const int c = city(rng);
        r.latitude = 40000000 + c * 60000 + spread(rng);
        r.longitude = -5000000 + c * 90000 + spread(rng);
        r.direction = static_cast<std::int32_t>(rng() % 361);
        r.category = static_cast<std::int32_t>(rng() % 40000);
        r.identifier = firstId + static_cast<std::int32_t>(i);
        r.flag = 1;
        std::snprintf(r.name, sizeof r.name, "Camera %zu", i);
    }
    return out;
}

}  // namespace

int main() {
    const std::string dir = std::filesystem::temp_directory_path() / ("zarnik-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::mt19937 rng(42);

    const auto official = Cameras(rng, 1000000, 1);
    auto mutations = Cameras(rng, 100000, 5000000);
    for (std::size_t i = 0; i < mutations.size(); i += 2) {  // half of them hit official cameras
        mutations[i].latitude = official[(i * 7) % official.size()].latitude;
        mutations[i].longitude = official[(i * 7) % official.size()].longitude;
        mutations[i].flag = static_cast<std::int32_t>(i % 3 != 0);
    }
    auto start = std::chrono::steady_clock::now();
    service::MutationFilter filter(mutations);
    std::size_t kept = 0;
    for (service::CameraRecord r : official) kept += filter.Apply(r) ? 1 : 0;
    std::printf("mutation filter: 1,000,000 official x 100,000 mutations: %.3f s (%zu kept)\n", Seconds(start), kept);

    auto changes = Cameras(rng, 100000, 1);
    for (std::size_t i = 0; i < changes.size(); ++i) {
        changes[i].identifier = static_cast<std::int32_t>((i * 13) % 1200000 + 1);  // some unknown
        if (i % 4 == 1) {
            changes[i].latitude = official[static_cast<std::size_t>(changes[i].identifier) % official.size()].latitude;
        }
    }
    std::vector<service::CameraRecord> local = official;
    start = std::chrono::steady_clock::now();
    service::ChangeMerge merge(local, platform::WorkFolder(dir));
    merge.OpenDelta();
    for (std::size_t i = 0; i < changes.size(); ++i) {
        merge.Apply(changes[i], static_cast<service::DownloadAction>(i % 3));
    }
    const bool ok = merge.Finish();
    std::printf("change merge: 100,000 changes into 1,000,000 cached, written to disk: %.3f s (%s)\n", Seconds(start),
                ok ? "ok" : "FAILED");

    std::filesystem::remove_all(dir);
    return ok ? 0 : 1;
}
