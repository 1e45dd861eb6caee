#include "osm/camera_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "osm/camera_tags.h"
#include "osm_files.h"
#include "temp_dir.h"

namespace {

struct Expected {
    std::int32_t latitude, longitude, direction, category;
    const char* name;
    std::int32_t extra, identifier;
};

constexpr std::int32_t kFixed = static_cast<std::int32_t>(osm::CameraKind::kFixedSpeed);
constexpr std::int32_t kRed = static_cast<std::int32_t>(osm::CameraKind::kRedLight);
constexpr std::int32_t kAverage = static_cast<std::int32_t>(osm::CameraKind::kAverageSpeed);
constexpr std::int32_t kOther = static_cast<std::int32_t>(osm::CameraKind::kOther);

std::string Node(long long id, const char* lat, const char* lon, const std::string& tags = {}) {
    return "<node id='" + std::to_string(id) + "' version='1' lat='" + lat + "' lon='" + lon + "'>" + tags + "</node>\n";
}
std::string Tag(const char* k, const std::string& v) { return std::string("<tag k='") + k + "' v='" + v + "'/>"; }
std::string Member(long long ref, const char* role, const char* type = "node") {
    return std::string("<member type='") + type + "' ref='" + std::to_string(ref) + "' role='" + role + "'/>";
}
std::string Relation(long long id, const std::string& inside) {
    return "<relation id='" + std::to_string(id) + "' version='1'>" + inside + "</relation>\n";
}

const std::string kCamera = Tag("highway", "speed_camera");
const std::string kEnforcement = Tag("type", "enforcement");
// 50 bytes, then a two-byte character that would end past the 51 the record holds.
const std::string kLongName = "Blitzer Hauptstra\xC3\x9F" "e " + std::string(29, 'x') + "\xC3\xA4 more";

const struct Case {
    const char* what;
    std::string body;
    std::vector<Expected> cameras;
} kCases[] = {
    {"a tagged node, every field",
     Node(7, "52.5000004", "-13.4000005", kCamera + Tag("maxspeed", "50") + Tag("direction", "NE") + Tag("name", "A1")),
     {{52500000, -13400001, 45, kFixed, "A1", 50, -7}}},
    {"untagged and other nodes are no cameras",
     Node(1, "1", "1") + Node(2, "1", "1", Tag("highway", "traffic_signals")) + Node(3, "1", "1", Tag("speed_camera", "yes")),
     {}},
    {"camera:direction when direction is missing, not when it is unreadable",
     Node(1, "0", "0", kCamera + Tag("camera:direction", "90")) +
         Node(2, "0", "1", kCamera + Tag("direction", "forward") + Tag("camera:direction", "90")),
     {{0, 0, 90, kFixed, "Speed camera", 0, -1}, {0, 1000000, -1, kFixed, "Speed camera", 0, -2}}},
    {"a device node gets the relation's kind, speed and name",
     Node(5, "10", "20") + Relation(9, Member(5, "device") + kEnforcement + Tag("enforcement", "traffic_signals") +
                                           Tag("maxspeed", "30 mph") + Tag("name", "Kreuzung") + Tag("direction", "90;270")),
     {{10000000, 20000000, 450, kRed, "Kreuzung", 48, -5}}},
    {"a speed camera that is also a device is one camera; its own tags come first",
     Node(5, "10", "20", kCamera + Tag("maxspeed", "70")) +
         Relation(9, Member(5, "device") + kEnforcement + Tag("enforcement", "average_speed") + Tag("maxspeed", "80")),
     {{10000000, 20000000, -1, kAverage, "Average speed camera 70", 70, -5}}},
    {"without a device the from node; ways and to nodes are not cameras",
     Node(1, "1", "2") + Node(2, "3", "4") +
         Relation(9, Member(1, "from") + Member(2, "to") + Member(8, "device", "way") + kEnforcement +
                         Tag("enforcement", "mindistance")),
     {{1000000, 2000000, -1, kOther, "Enforcement camera", 0, -1}}},
    {"every device of a relation; the relation of smaller id names a shared node",
     Node(1, "1", "1") + Node(2, "2", "2") +
         Relation(20, Member(1, "device") + kEnforcement + Tag("enforcement", "traffic_signals")) +
         Relation(10, Member(1, "device") + Member(2, "device") + kEnforcement + Tag("enforcement", "maxspeed")),
     {{1000000, 1000000, -1, kFixed, "Speed camera", 0, -1}, {2000000, 2000000, -1, kFixed, "Speed camera", 0, -2}}},
    {"relations of another type, and members missing from the file, give nothing",
     Node(1, "1", "1") + Relation(9, Member(1, "device") + Tag("type", "restriction")) +
         Relation(10, Member(99, "device") + kEnforcement),
     {}},
    {"names are cut at a character boundary; ids pass 2^31",
     Node(4294967297LL, "-33.1234565", "179.9999999", kCamera + Tag("name", kLongName)),
     {{-33123457, 180000000, -1, kFixed, "Blitzer Hauptstra\xC3\x9F" "e xxxxxxxxxxxxxxxxxxxxxxxxxxxxx", 0, -1}}},
};

void ExpectCameras(const std::vector<service::CameraRecord>& got, const std::vector<Expected>& expected) {
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        SCOPED_TRACE(i);
        const service::CameraRecord& r = got[i];
        const Expected& e = expected[i];
        EXPECT_EQ(r.latitude, e.latitude);
        EXPECT_EQ(r.longitude, e.longitude);
        EXPECT_EQ(r.direction, e.direction);
        EXPECT_EQ(r.category, e.category);
        EXPECT_STREQ(r.name, e.name);
        EXPECT_EQ(r.extra, e.extra);
        EXPECT_EQ(r.identifier, e.identifier);
        EXPECT_EQ(r.flag, osm::kOsmFlag);
        for (std::size_t b = std::strlen(r.name); b < sizeof r.name; ++b) EXPECT_EQ(r.name[b], '\0');
    }
}

// Each case as XML, and as PBF, gzip and bzip2 files made from it, gives the same cameras.
TEST(OsmReader, EveryRuleInEveryFormat) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        testsupport::TempDir dir;
        const std::string xml = osmtest::WriteXml(dir, "case.osm", c.body);
        for (const std::string& file : {xml, osmtest::Convert(xml, dir.file("case.osm.pbf")),
                                        osmtest::Convert(xml, dir.file("case.osm.gz")),
                                        osmtest::Convert(xml, dir.file("case.osm.bz2"))}) {
            SCOPED_TRACE(file);
            std::vector<service::CameraRecord> cameras;
            osm::ReadFailure failure;
            ASSERT_TRUE(osm::ReadCameras({file}, cameras, failure)) << failure.cause;
            ExpectCameras(cameras, c.cameras);
        }
    }
}

// Files are read together: a relation in one file names a node in another, and a node that
// two overlapping extracts hold is one camera.
TEST(OsmReader, FilesAreReadTogether) {
    testsupport::TempDir dir;
    const std::string nodes = osmtest::WriteXml(dir, "nodes.osm", Node(1, "1", "1") + Node(2, "2", "2", kCamera));
    const std::string relations = osmtest::WriteXml(
        dir, "relations.osm", Node(2, "2", "2", kCamera) + Relation(5, Member(1, "device") + kEnforcement));
    const std::string pbf = osmtest::Convert(relations, dir.file("relations.osm.pbf"));
    std::vector<service::CameraRecord> cameras;
    osm::ReadFailure failure;
    osm::ReadCounts counts;
    ASSERT_TRUE(osm::ReadCameras({nodes, pbf}, cameras, failure, &counts)) << failure.cause;
    ExpectCameras(cameras, {{1000000, 1000000, -1, kOther, "Enforcement camera", 0, -1},
                            {2000000, 2000000, -1, kFixed, "Speed camera", 0, -2}});
    EXPECT_EQ(counts.relations, 1U);
    EXPECT_EQ(counts.relationCameras, 1U);
}

}  // namespace
