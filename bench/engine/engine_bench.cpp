// Cached-camera look-ups on a 1,000,000-record cache: building the index once, then 10,000
// position look-ups, 10,000 duplicate tests and a 10,000-record change list, timed and printed
// next to a few plain front-to-back scans for scale.
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#include "engine/change_list.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Cameras around a few hundred towns; one in ten repeats an earlier camera's position.
std::vector<service::CameraRecord> Cache(std::mt19937& rng, std::size_t n) {
    std::vector<service::CameraRecord> out(n);
    std::uniform_int_distribution<int> town(0, 299), spread(-200000, 200000);
    for (std::size_t i = 0; i < n; ++i) {
        service::CameraRecord& r = out[i];
        if (i > 0 && rng() % 10 == 0) {
            r = out[rng() % i];
        } else {
            const int t = town(rng);
            r.latitude = 40000000 + t * 60000 + spread(rng);
            r.longitude = -5000000 + t * 90000 + spread(rng);
        }
        r.direction = static_cast<std::int32_t>(rng() % 361);
        r.category = static_cast<std::int32_t>(rng() % 55000);
    }
    return out;
}

// A quarter of the reports repeat a cached position, a quarter lie within a few metres of a
// cached camera, half anywhere in the towns.
std::vector<engine::ChangeRecord> Reports(std::mt19937& rng, const std::vector<service::CameraRecord>& cache, std::size_t n) {
    std::vector<engine::ChangeRecord> out(n);
    for (std::size_t i = 0; i < n; ++i) {
        engine::ChangeRecord& r = out[i];
        const service::CameraRecord& c = cache[rng() % cache.size()];
        const auto jitter = [&rng](int width) { return static_cast<std::int32_t>(rng() % width) - width / 2; };
        const int width = i % 4 == 0 ? 1 : i % 2 == 0 ? 200 : 400000;
        r.latitude = c.latitude + jitter(width);
        r.longitude = c.longitude + jitter(width);
        r.category = static_cast<std::int32_t>(rng() % 55000);
        r.direction = static_cast<std::int32_t>(rng() % 723) - 2;
        r.action = static_cast<std::int32_t>(rng() % 3);
    }
    return out;
}

bool PlainScanNear(const std::vector<service::CameraRecord>& cache, const engine::ChangeRecord& added) {
    bool duplicate = false;
    for (const service::CameraRecord& r : cache) {
        duplicate = engine::IsDuplicatePair({added.latitude, added.longitude, added.category, added.direction},
                                            {r.latitude, r.longitude, r.category, r.direction}) ||
                    duplicate;
    }
    return duplicate;
}

}  // namespace

int main() {
    constexpr std::size_t kCache = 1000000, kLookups = 10000, kPlainScans = 20;
    std::mt19937 rng(42);
    const std::vector<service::CameraRecord> cache = Cache(rng, kCache);
    const std::vector<engine::ChangeRecord> reports = Reports(rng, cache, kLookups);

    auto start = std::chrono::steady_clock::now();
    const engine::CachedCameraIndex index(cache);
    const double build = Seconds(start);

    start = std::chrono::steady_clock::now();
    std::size_t found = 0;
    for (const engine::ChangeRecord& r : reports) found += engine::FindCachedCamera(index, r.latitude, r.longitude) ? 1 : 0;
    const double find = Seconds(start);

    start = std::chrono::steady_clock::now();
    std::size_t near = 0;
    for (const engine::ChangeRecord& r : reports) near += engine::IsNearExistingCamera(index, r) ? 1 : 0;
    const double duplicate = Seconds(start);

    start = std::chrono::steady_clock::now();
    const std::string list = engine::BuildChangeList(reports, index);
    std::vector<std::string> parts;
    engine::SplitChangeList(list, parts);
    const double listing = Seconds(start);

    start = std::chrono::steady_clock::now();
    std::vector<bool> plainNear;
    for (std::size_t i = 0; i < kPlainScans; ++i) plainNear.push_back(PlainScanNear(cache, reports[i]));
    const double plain = Seconds(start) / kPlainScans;
    std::size_t agree = 0;
    for (std::size_t i = 0; i < kPlainScans; ++i) {
        agree += engine::IsNearExistingCamera(index, reports[i]) == plainNear[i] ? 1 : 0;
    }

    std::printf("cache of %zu cameras: index built in %.3f s\n", kCache, build);
    std::printf("FindCachedCamera: %zu look-ups in %.4f s (%zu found)\n", kLookups, find, found);
    std::printf("IsNearExistingCamera: %zu tests in %.4f s (%zu duplicates)\n", kLookups, duplicate, near);
    std::printf("BuildChangeList + SplitChangeList: %zu records, %zu bytes, %zu parts in %.4f s\n", kLookups,
                list.size(), parts.size(), listing);
    std::printf("plain scan for comparison: %.4f s per duplicate test (%zu of %zu agree)\n", plain,
                agree, kPlainScans);
    return 0;
}
