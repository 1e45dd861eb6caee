#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "engine/cached_camera_index.h"
#include "engine/camera_geometry.h"
#include "literal_engine.h"

namespace {

using engine::AngleWithin;
using engine::DirectionMatches;
using engine::DistanceKm;
using sample::Cached;
using sample::Change;

TEST(AngleWithin, WindowsAroundNorth) {
    const struct {
        std::int32_t centre, value;
        bool inside;
    } cases[] = {
        {350, 10, true},  {350, 20, false}, {350, 19, true}, {350, 320, true}, {350, 319, false},
        {350, 0, true},   {350, 359, true}, {10, 350, false}, {10, 0, true},    {10, 40, true},
        {10, 41, false},  {10, -20, true}, {90, 60, true},   {90, 120, true},  {90, 59, false},
        {90, 121, false}, {330, 0, false},  {330, 360, true},  {330, 300, true}, {0, 30, true},
        {0, 31, false},   {0, 330, false},  {360, 390, true}, {30, 0, true},    {30, 60, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AngleWithin(c.centre, 30, c.value), c.inside) << c.centre << " " << c.value;
    }
}

TEST(AngleWithin, ExtremeValuesWrapInsteadOfOverflowing) {
    // Any 32-bit heading may come from a file; these only must not trap under the sanitizers.
    const std::int32_t extremes[] = {INT32_MIN, INT32_MIN + 1, -1, 0, 359, 360, INT32_MAX - 1, INT32_MAX};
    int inside = 0;
    for (std::int32_t centre : extremes) {
        for (std::int32_t value : extremes) inside += AngleWithin(centre, 30, value) ? 1 : 0;
        for (std::int32_t value : extremes) inside += DirectionMatches(centre, value) ? 1 : 0;
    }
    EXPECT_GT(inside, 0);
}

std::vector<std::int32_t> MatchingHeadings(std::int32_t specification) {
    std::vector<std::int32_t> out;
    for (std::int32_t h = 0; h < 360; ++h) {
        if (DirectionMatches(specification, h)) out.push_back(h);
    }
    return out;
}

std::vector<std::int32_t> Range(std::int32_t from, std::int32_t to) {
    std::vector<std::int32_t> out;
    for (std::int32_t h = from; h <= to; ++h) out.push_back(h);
    return out;
}

TEST(DirectionMatches, EachKindOfSpecification) {
    EXPECT_EQ(MatchingHeadings(-1), Range(0, 359));
    EXPECT_TRUE(MatchingHeadings(-2).empty());
    EXPECT_EQ(MatchingHeadings(90), Range(60, 120));
    std::vector<std::int32_t> bothWays = Range(60, 120);
    for (std::int32_t h : Range(240, 300)) bothWays.push_back(h);
    EXPECT_EQ(MatchingHeadings(450), bothWays);
    // 361: heading 1 and its opposite 181.
    std::vector<std::int32_t> aroundOne = Range(0, 31);
    for (std::int32_t h : Range(151, 211)) aroundOne.push_back(h);
    EXPECT_EQ(MatchingHeadings(361), aroundOne);
    // 720: heading 360, where values past north count only while they stay below the
    // window's far end less 360, and its opposite 180.
    std::vector<std::int32_t> aroundNorth = Range(0, 29);
    for (std::int32_t h : Range(150, 210)) aroundNorth.push_back(h);
    for (std::int32_t h : Range(330, 359)) aroundNorth.push_back(h);
    EXPECT_EQ(MatchingHeadings(720), aroundNorth);
    // Other negative values are huge as unsigned numbers and decode as "both ways".
    // Base -363 and opposite -183: no heading from 0 to 359, but a heading of -350 does.
    EXPECT_TRUE(MatchingHeadings(-3).empty());
    EXPECT_TRUE(DirectionMatches(-3, -350));
}

TEST(Distance, KnownValues) {
    EXPECT_DOUBLE_EQ(DistanceKm(52, 4, 52, 4), 0.0);
    // One minute of arc along a meridian is one nautical mile.
    EXPECT_NEAR(DistanceKm(10, 20, 10 + 1.0 / 60, 20), 1.852, 1e-9);
    EXPECT_NEAR(DistanceKm(0, 179.9999995, 0, -179.9999995), 1.852 * 60 * 0.000001, 1e-9);
}

// The largest latitude step in micro-degrees that stays strictly below the radius.
std::int32_t LastStepInside(std::int32_t latitude, std::int32_t longitude, double radiusKm) {
    std::int32_t step = 0;
    while (DistanceKm(latitude / 1e6, longitude / 1e6, (latitude + step + 1) / 1e6, longitude / 1e6) < radiusKm) {
        ++step;
    }
    return step;
}

bool Near(const std::vector<service::CameraRecord>& cache, const engine::ChangeRecord& added) {
    const bool indexed = engine::IsNearExistingCamera(engine::CachedCameraIndex(cache), added);
    EXPECT_EQ(indexed, literal::IsNearExistingCamera(cache, added));
    return indexed;
}

TEST(Duplicate, JustInsideAndJustOutsideEachRadius) {
    const std::int32_t lat = 51000000, lon = 3000000;
    const struct {
        const char* what;
        double radius;
        std::int32_t category;
    } classes[] = {{"wide", 0.05, 30000}, {"narrow", 0.015, 100}};
    for (const auto& c : classes) {
        const std::int32_t step = LastStepInside(lat, lon, c.radius);
        EXPECT_NEAR(step, c.radius / 0.000111116, 2) << c.what;  // about 9 metres per 81 micro-degrees
        const std::vector<service::CameraRecord> cache = {Cached(lat, lon, c.category, 90)};
        EXPECT_TRUE(Near(cache, Change(0, lat + step, lon, c.category, 90))) << c.what;
        EXPECT_FALSE(Near(cache, Change(0, lat + step + 1, lon, c.category, 90))) << c.what;
        EXPECT_TRUE(Near(cache, Change(0, lat - step, lon, c.category, 90))) << c.what;
        EXPECT_FALSE(Near(cache, Change(0, lat + step, lon, c.category, 121))) << c.what;
    }
}

TEST(Duplicate, FortyMetresIsWideOnly) {
    const std::int32_t forty = 360;  // 40 m along a meridian
    ASSERT_NEAR(DistanceKm(50, 8, 50 + forty / 1e6, 8), 0.04, 0.001);
    EXPECT_TRUE(Near({Cached(50000000, 8000000, 27516, 90)}, Change(0, 50000360, 8000000, 40000, 90)));
    EXPECT_FALSE(Near({Cached(50000000, 8000000, 27514, 90)}, Change(0, 50000360, 8000000, 0, 90)));
}

TEST(Duplicate, CategoryClassesAroundTheThreshold) {
    const struct {
        std::int32_t added, cached;
        bool duplicate;
    } cases[] = {
        {27516, 27516, true}, {27514, 27514, true}, {27515, 27515, false}, {27515, 27516, false},
        {27516, 27515, false}, {27514, 27515, false}, {27514, 27516, false}, {27516, 27514, false},
        {-1, 27516, true},    {-1, 40000, true},      {0, 27514, true},      {-27515, 0, false},
    };
    for (const auto& c : cases) {
        // Same spot: both radii hold, so only the classes decide.
        EXPECT_EQ(Near({Cached(1000000, 1000000, c.cached, 45)}, Change(0, 1000000, 1000000, c.added, 45)),
                  c.duplicate)
            << c.added << " vs " << c.cached;
    }
}

TEST(Duplicate, DirectionsOfTheAddedCamera) {
    const std::vector<service::CameraRecord> cache = {Cached(1000000, 1000000, 30000, 270)};
    const struct {
        std::int32_t direction;
        bool duplicate;
    } cases[] = {{-1, true}, {-2, false}, {270, true}, {240, true}, {239, false}, {450, true},
                 {630, true}, {420, true}, {400, false}, {0, false}, {360, false}};
    for (const auto& c : cases) {
        EXPECT_EQ(Near(cache, Change(0, 1000000, 1000000, 30000, c.direction)), c.duplicate) << c.direction;
    }
    EXPECT_FALSE(Near({}, Change(0, 1000000, 1000000, 30000, -1)));
}

TEST(Duplicate, AcrossTheDateLineThePolesAndWholeTurns) {
    const struct {
        const char* what;
        std::int32_t cachedLat, cachedLon, addedLat, addedLon;
    } cases[] = {
        {"date line", 0, 179999999, 0, -179999999},
        {"north pole", 90000000, 0, 90000000, 123456789},
        {"near the south pole", -89999990, 10000000, -89999990, -170000000},
        {"one turn east", 45000000, 10000000, 45000000, 370000000},
        {"far past the date line", 45000000, -350000000, 45000000, 10000010},
        {"latitude past the pole", 89999900, 180000000, 90000100, 0},
        {"two turns of latitude", 10000000, 20000000, 730000000, 20000000},
    };
    for (const auto& c : cases) {
        const double d = DistanceKm(c.cachedLat / 1e6, c.cachedLon / 1e6, c.addedLat / 1e6, c.addedLon / 1e6);
        ASSERT_LT(d, 0.015) << c.what;
        EXPECT_TRUE(Near({Cached(c.cachedLat, c.cachedLon, 40000, -1)}, Change(0, c.addedLat, c.addedLon, 40000, -1)))
            << c.what;
        EXPECT_TRUE(Near({Cached(c.cachedLat, c.cachedLon, 100, 0)}, Change(0, c.addedLat, c.addedLon, 100, 10)))
            << c.what;
    }
}

TEST(Duplicate, MarkingSkipsOnlyDuplicateAdditions) {
    const engine::CachedCameraIndex cache({Cached(1000000, 1000000, 30000, 90)});
    std::vector<engine::ChangeRecord> records = {Change(0, 1000000, 1000000, 30000, 90), Change(2, 1000000, 1000000, 30000, 90),
                                         Change(0, 2000000, 1000000, 30000, 90), Change(1, 1000000, 1000000, 30000, 90)};
    EXPECT_EQ(engine::MarkDuplicateAdditions(records, cache), 1U);
    const std::int32_t actions[] = {4, 2, 0, 1};
    for (std::size_t i = 0; i < records.size(); ++i) EXPECT_EQ(records[i].action, actions[i]) << i;
}

}  // namespace
