#pragma once
// Camera caches that look like the real thing: most cameras crowd around towns, many share a
// grid cell, towns lie on both sides of the equator and of the prime meridian.
#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

#include "service/camera_record.h"

namespace samples {

inline std::vector<service::CameraRecord> ClusteredCameras(std::size_t count, std::uint32_t seed, std::size_t towns = 400) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<std::int32_t> townLatitude(-45000000, 65000000);
    std::uniform_int_distribution<std::int32_t> townLongitude(-120000000, 150000000);
    std::vector<std::pair<std::int32_t, std::int32_t>> centres(towns);
    for (auto& c : centres) c = {townLatitude(rng), townLongitude(rng)};
    std::uniform_int_distribution<std::size_t> pickTown(0, towns - 1);
    std::normal_distribution<double> spread(0.0, 60000.0);  // a few kilometres
    std::uniform_int_distribution<int> percent(0, 99);

    std::vector<service::CameraRecord> cameras(count);
    for (std::size_t i = 0; i < count; ++i) {
        service::CameraRecord& c = cameras[i];
        c = {};
        if (i > 0 && percent(rng) < 3) {
            c = cameras[i - 1];  // a second camera on the same spot (other direction)
        } else {
            const auto& town = centres[pickTown(rng)];
            c.latitude = town.first + static_cast<std::int32_t>(spread(rng));
            c.longitude = town.second + static_cast<std::int32_t>(spread(rng));
        }
        c.direction = percent(rng) < 20 ? -1 : static_cast<std::int32_t>(rng() % 361);
        c.category = percent(rng) < 10 ? 27515 : static_cast<std::int32_t>(rng() % 8);
        std::snprintf(c.name, sizeof c.name, "Camera %zu on road %u", i, static_cast<unsigned>(rng() % 1000));
        c.extra = static_cast<std::int32_t>(rng());
        c.identifier = static_cast<std::int32_t>(i + 1);
        c.flag = percent(rng) < 5 ? 0 : 1;
    }
    return cameras;
}

}  // namespace samples
