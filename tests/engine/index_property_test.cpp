// The indexed look-ups against the literal scans on random caches crowded with equal positions,
// cameras at the radii, around the truncation to ten micro-degrees, the date line and the poles.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <vector>

#include "engine/change_list.h"
#include "literal_engine.h"

namespace {

struct Spot {
    std::int32_t latitude, longitude;
};

// Places where the grid's coordinates are least like plain latitude and longitude.
const Spot kSpots[] = {{52000000, 4000000},   {0, 0},          {-5, 5},           {0, 179999990},
                       {0, -179999995},       {89999995, 0},   {-89999990, 50},   {45000000, 370000000},
                       {45000000, 10000000},  {90000150, 20},  {89999850, 180000020}, {-33000000, -70000000}};

std::int32_t Pick(std::mt19937& rng, std::initializer_list<std::int32_t> values) {
    return *(values.begin() + rng() % values.size());
}

// Offsets that put a camera just inside or just outside 15 m and 50 m of its spot along either
// axis (about 9 m per 81 micro-degrees of latitude), on both sides of a truncation step, or on
// the spot itself.
std::int32_t Offset(std::mt19937& rng) {
    switch (rng() % 4) {
        case 0: return 0;
        case 1: return Pick(rng, {-450, -449, -135, -134, 134, 135, 449, 450, 636, 637, -637, -636});
        case 2: return static_cast<std::int32_t>(rng() % 31) - 15;
        default: return static_cast<std::int32_t>(rng() % 1401) - 700;
    }
}

Spot Near(std::mt19937& rng, std::size_t spots) {
    const Spot& s = kSpots[rng() % spots];
    return {s.latitude + Offset(rng), s.longitude + Offset(rng)};
}

std::int32_t Category(std::mt19937& rng) { return Pick(rng, {100, 27514, 27515, 27516, 40000, -1, 0}); }

std::int32_t Direction(std::mt19937& rng) {
    if (rng() % 3 == 0) return Pick(rng, {-1, -2, 0, 360, 450, 720, 90, 270});
    return static_cast<std::int32_t>(rng() % 721);
}

TEST(CachedCameraIndex, AnswersLikeTheFrontToBackScans) {
    std::size_t found = 0, missing = 0, near = 0, far = 0;
    for (std::uint32_t seed = 1; seed <= 6; ++seed) {
        std::mt19937 rng(seed);
        const std::size_t spots = seed % 2 == 0 ? std::size(kSpots) : 3;
        std::vector<service::CameraRecord> cache;
        for (int i = 0; i < 3000; ++i) {
            const Spot p = Near(rng, spots);
            cache.push_back(sample::Cached(p.latitude, p.longitude, Category(rng), Direction(rng)));
        }
        std::vector<engine::ChangeRecord> asked;
        for (int q = 0; q < 3000; ++q) {
            const Spot p = Near(rng, spots);
            asked.push_back(sample::Change(0, p.latitude, p.longitude, Category(rng), Direction(rng)));
        }
        if (seed > 4) {
            // Questions at real latitudes only, the cache around every spot: the index then passes
            // over the cameras far from them by latitude, which must change no answer.
            std::stable_partition(asked.begin(), asked.end(),
                                  [](const engine::ChangeRecord& r) { return std::abs(r.latitude) <= 90000000; });
        }
        const engine::CachedCameraIndex whole(cache);
        // Built around a few of the questions only, as a synchronisation with few reports does.
        engine::CachedCameraIndex focused;
        const std::vector<engine::ChangeRecord> few(asked.begin(), asked.begin() + 100);
        focused.BuildFor(cache.data(), cache.size(), few);
        for (std::size_t q = 0; q < asked.size(); ++q) {
            const engine::CachedCameraIndex& index = q < few.size() ? focused : whole;
            const engine::ChangeRecord& added = asked[q];
            const Spot p{added.latitude, added.longitude};
            const auto expected = literal::FindCachedCamera(cache, p.latitude, p.longitude);
            const auto got = engine::FindCachedCamera(index, p.latitude, p.longitude);
            ASSERT_EQ(got.has_value(), expected.has_value()) << seed << " " << p.latitude << " " << p.longitude;
            if (expected) {
                EXPECT_EQ(got->latitude, expected->latitude);
                EXPECT_EQ(got->longitude, expected->longitude);
                EXPECT_EQ(got->category, expected->category);
                ++found;
            } else {
                ++missing;
            }
            const bool duplicate = literal::IsNearExistingCamera(cache, added);
            ASSERT_EQ(engine::IsNearExistingCamera(index, added), duplicate)
                << seed << " " << p.latitude << " " << p.longitude << " " << added.category << " "
                << added.direction;
            ++(duplicate ? near : far);
        }
    }
    // Both answers must be common, or the comparison proves little.
    EXPECT_GT(found, 1000U);
    EXPECT_GT(missing, 1000U);
    EXPECT_GT(near, 1000U);
    EXPECT_GT(far, 1000U);
}

TEST(CachedCameraIndex, EmptyCacheFindsNothing) {
    const engine::CachedCameraIndex index(std::vector<service::CameraRecord>{});
    EXPECT_FALSE(engine::FindCachedCamera(index, 0, 0).has_value());
    EXPECT_FALSE(engine::IsNearExistingCamera(index, sample::Change(0, 0, 0, 100, -1)));
    EXPECT_EQ(engine::BuildChangeList({sample::Change(2, 7, 8, 9, 10, 11)}, index),
              "VyoSync Updates\nU;7;8; ;10;9;0\n");
}

}  // namespace
