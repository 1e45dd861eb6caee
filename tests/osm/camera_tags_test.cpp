#include "osm/camera_tags.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(OsmTags, DirectionValues) {
    const struct {
        const char* value;
        std::int32_t expected;
    } cases[] = {
        {"0", 0},          {"90", 90},          {"360", 360},       {"0090", 90},       {" 45 ", 45},
        {"22.5", 23},      {"22.4999", 22},     {"359.5", 360},     {"360.0", 360},     {"360.01", -1},
        {"-10", -1},       {"361", -1},         {"1e2", -1},        {"90.", -1},        {".5", -1},
        {"N", 0},          {"NNE", 23},         {"NE", 45},         {"ENE", 68},        {"E", 90},
        {"SSW", 203},      {"W", 270},          {"NNW", 338},       {"nw", 315},        {"NNNE", -1},
        {"90;270", 450},   {"270;90", 450},     {"E;W", 450},       {"0;180", 540},     {"180;360", 540},
        {"22.5;202.5", 383}, {"90;260", -1},    {"90;270;90", -1},  {"90;", -1},        {";", -1},
        {"forward", -1},   {"backward", -1},    {"", -1},           {"99999999999999999999", -1},
    };
    for (const auto& c : cases) EXPECT_EQ(osm::ParseDirection(c.value), c.expected) << '"' << c.value << '"';
}

TEST(OsmTags, MaxSpeedValues) {
    const struct {
        const char* value;
        std::int32_t expected;
    } cases[] = {
        {"50", 50},        {"130", 130},     {"30 mph", 48},    {"30mph", 48},      {"70 MPH", 113},
        {"50 km/h", 50},   {"49.5", 50},     {"20.5 mph", 33},  {"0", 0},           {"none", 0},
        {"signals", 0},    {"RU:urban", 0},  {"50;30", 0},      {"mph", 0},         {"-50", 0},
        {"9999", 9999},    {"10000", 0},     {"9999 mph", 0},   {"", 0},            {"50 knots", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(osm::ParseMaxSpeedKmh(c.value), c.expected) << '"' << c.value << '"';
}

TEST(OsmTags, NamesAreCutAtCharacterBoundaries) {
    const std::string ascii(60, 'a');
    const std::string euros = std::string(49, 'a') + "\xE2\x82\xAC";  // 52 bytes: the euro sign does not fit
    const struct {
        std::string text;
        std::size_t expected;
    } cases[] = {
        {"", 0},
        {ascii.substr(0, 51), 51},
        {ascii, 51},
        {euros, 49},
        {std::string(48, 'a') + "\xE2\x82\xAC", 51},  // ends exactly on the character
        {std::string("ab\0cd", 5), 2},
        {std::string(50, 'a') + "\xF0\x9F\x93\xB7", 50},
        // Not UTF-8: stray continuation bytes stand alone and do not take the euro sign along.
        {std::string(45, 'a') + "\xE2\x82\xAC\x82\xAC\x82\xAC", 51},
    };
    for (const auto& c : cases) EXPECT_EQ(osm::CutAtCharacter(c.text, 51).size(), c.expected) << c.text;
}

TEST(OsmTags, PositionsIdentifiersAndDefaultNames) {
    const struct {
        std::int32_t tenths;
        std::int32_t micro;
    } positions[] = {{0, 0}, {4, 0}, {5, 1}, {-4, 0}, {-5, -1}, {1800000000, 180000000}, {-1799999995, -180000000}};
    for (const auto& p : positions) EXPECT_EQ(osm::MicroDegrees(p.tenths), p.micro) << p.tenths;

    const struct {
        std::int64_t node;
        std::int32_t identifier;
    } ids[] = {{1, -1}, {2147483647, -2147483647}, {2147483648LL, 0}, {12345678901LL, -(12345678901LL & 0x7fffffff)}};
    for (const auto& i : ids) EXPECT_EQ(osm::RecordIdentifier(i.node), i.identifier) << i.node;

    EXPECT_EQ(osm::DefaultName(osm::CameraKind::kFixedSpeed, 50), "Speed camera 50");
    EXPECT_EQ(osm::DefaultName(osm::CameraKind::kRedLight, 0), "Red light camera");
    EXPECT_EQ(osm::KindOfEnforcement("average_speed"), osm::CameraKind::kAverageSpeed);
    EXPECT_EQ(osm::KindOfEnforcement("mindistance"), osm::CameraKind::kOther);
}

}  // namespace
