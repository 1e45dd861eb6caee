// export and import-reports as a user runs them: the cameras out to a map program and back in as
// reports, through real files; a bad file changes nothing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <tuple>

#include "device_reports.h"
#include "engine/change_record.h"
#include "run_tool.h"
#include "service/cache_file.h"
#include "temp_dir.h"
#include "tool_fixture.h"

namespace {

using service::CameraRecord;
using testsupport::ReadWholeFile;
using testsupport::TempDir;
using testsupport::WriteWholeFile;
using tooltest::RunProgram;
using tooltest::RunZarnikSync;

// Cameras that try every corner: the poles and the date line, negative positions below one
// degree, every kind of direction, names that need escaping in XML and CSV, and 8-bit bytes.
std::vector<CameraRecord> SampleCameras(std::size_t count) {
    std::mt19937 random(7);
    const char* names[] = {"Plain", "A & B <C>", "Quote \"here\", comma", ("Gr\xfc\xdf" "e"), "tab\there", ""};
    const std::int32_t directions[] = {-1, -2, 0, 90, 360, 361, 450, 720};
    std::vector<CameraRecord> cameras(count);
    for (std::size_t i = 0; i < count; ++i) {
        CameraRecord& r = cameras[i];
        r = {};
        r.latitude = static_cast<std::int32_t>(random() % 180000001) - 90000000;
        r.longitude = static_cast<std::int32_t>(random() % 360000001) - 180000000;
        r.direction = directions[i % 8];
        r.category = static_cast<std::int32_t>(random() % 60000) - 100;
        r.extra = static_cast<std::int32_t>(random() % 1000) - 500;
        r.identifier = static_cast<std::int32_t>(i + 1);
        r.flag = i % 3 == 0 ? 0 : 1;
        std::strncpy(r.name, names[i % 6], sizeof r.name - 1);
    }
    cameras[0].latitude = 90000000;
    cameras[0].longitude = -180000000;
    cameras[1].latitude = -500;
    cameras[1].longitude = -1;
    return cameras;
}

class Exchange : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("ZARNIK_HOME", work_.file("home").c_str(), 1);
        std::filesystem::create_directories(work_.file("home"));
        cameras_ = SampleCameras(3000);
        ASSERT_TRUE(service::WriteCacheFile(work_.file("cameras.cache"), cameras_.data(), cameras_.size()));
    }
    void TearDown() override { unsetenv("ZARNIK_HOME"); }

    std::vector<engine::ChangeRecord> Reports() {
        std::vector<engine::ChangeRecord> records;
        EXPECT_TRUE(engine::ReadChangeRecords(work_.file("home/poiupdates.upd"), records));
        return records;
    }

    TempDir work_;
    std::vector<CameraRecord> cameras_;
};

TEST_F(Exchange, ExportedCamerasComeBackAsAddedReports) {
    for (const char* format : {"gpx", "csv", "geojson", "kml"}) {
        SCOPED_TRACE(format);
        const std::string file = work_.file(std::string("cameras.") + format);
        const auto out = RunZarnikSync({"export", "--format", format, "--cache", "cameras.cache", "--out", file},
                                       work_.path());
        ASSERT_EQ(out.status, 0) << out.err;
        // The same bytes on standard output.
        const auto piped = RunZarnikSync({"export", "--format", format, "--cache", "cameras.cache"}, work_.path());
        EXPECT_EQ(piped.out, ReadWholeFile(file));

        std::remove(work_.file("home/poiupdates.upd").c_str());
        const auto in = RunZarnikSync({"import-reports", file}, work_.path());
        ASSERT_EQ(in.status, 0) << in.err;
        EXPECT_NE(in.out.find("appended 3000 reports"), std::string::npos) << in.out;
        const auto reports = Reports();
        ASSERT_EQ(reports.size(), cameras_.size());
        for (std::size_t i = 0; i < reports.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(reports[i].latitude, cameras_[i].latitude);
            EXPECT_EQ(reports[i].longitude, cameras_[i].longitude);
            EXPECT_EQ(reports[i].direction, cameras_[i].direction);
            EXPECT_EQ(reports[i].category, cameras_[i].category);
            EXPECT_EQ(reports[i].extra, cameras_[i].extra);
            EXPECT_EQ(reports[i].action, engine::ChangeAction::kAdd);
        }
    }
    const std::string gpx = ReadWholeFile(work_.file("cameras.gpx"));
    EXPECT_NE(gpx.find("<wpt lat=\"90.000000\" lon=\"-180.000000\">"), std::string::npos);
    EXPECT_NE(gpx.find("<wpt lat=\"-0.000500\" lon=\"-0.000001\">"), std::string::npos);
    EXPECT_NE(gpx.find("<name>A &amp; B &lt;C&gt;</name>"), std::string::npos);
    EXPECT_NE(gpx.find("<name>Gr\xc3\xbc\xc3\x9f" "e</name>"), std::string::npos) << "8-bit names in UTF-8";
    const std::string csv = ReadWholeFile(work_.file("cameras.csv"));
    EXPECT_EQ(csv.rfind("latitude,longitude,name,direction,category,extra,id,personal\n", 0), 0u);
    EXPECT_NE(csv.find(",\"Quote \"\"here\"\", comma\","), std::string::npos);

    // Only the personal cameras (every third), and reports add to what is pending.
    ASSERT_EQ(RunZarnikSync({"export", "--format", "csv", "--personal", "--cache", "cameras.cache", "--out", "mine.csv"},
                            work_.path())
                  .status,
              0);
    ASSERT_EQ(RunZarnikSync({"import-reports", "mine.csv"}, work_.path()).status, 0);
    EXPECT_EQ(Reports().size(), 3000u + 1000u);
}

TEST_F(Exchange, ABadFileNamesItsLineAndAppendsNothing) {
    const std::string pending = testsupport::DeviceReports(1).substr(0, 80);
    const struct {
        const char* what;
        std::string contents;
        std::string says;
    } cases[] = {
        {"latitude beyond the pole", "lat,lon\n1.5,2\n90.000001,3\n", "x:3: the latitude"},
        {"longitude not a number", "latitude,longitude,direction\n1,2,90\n1,east,90\n", "x:3: the longitude"},
        {"direction out of range", "lat,lon,direction\n1,2,721\n", "x:2: the direction \"721\""},
        {"too few fields", "lat,lon,category\n1,2,3\n4,5\n", "x:3: 2 fields where the header names 3"},
        {"no header", "1.0,2.0\n", "x:1: the first line must be a header naming the latitude column (latitude, lat, y)"},
        {"empty file", "", "x:1: the file is empty"},
        {"quote never closed", "lat,lon,name\n1,2,\"open\n" + std::string(70000, 'a'), "x:2: a line longer than 64 KiB"},
        {"waypoint without lon", "<?xml version=\"1.0\"?>\n<gpx>\n<wpt lat=\"1\" lon=\"2\"/>\n\n<wpt lat=\"1\">\n</wpt>\n</gpx>\n",
         "x:5: a waypoint without lat and lon"},
        {"waypoint direction", "<gpx><wpt lat=\"1\" lon=\"2\"><extensions><z:direction>-3</z:direction></extensions></wpt></gpx>",
         "x:1: the direction \"-3\""},
        {"file ends in a waypoint", "<gpx>\n<wpt lat=\"1\" lon=\"2\">\n<name>cut", "x:2: the file ends inside a waypoint"},
        {"exponent", "lat,lon\n1e1,2\n", "x:2: the latitude"},
        {"quote open at the end", "lat,lon,name\n1,2,x\n3,4,\"open\n", "x:3: a quoted field that never ends"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteWholeFile(work_.file("home/poiupdates.upd"), pending);
        WriteWholeFile(work_.file("x"), c.contents);
        const auto run = RunZarnikSync({"import-reports", "x"}, work_.path());
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("nothing was appended"), std::string::npos) << run.err;
        EXPECT_EQ(ReadWholeFile(work_.file("home/poiupdates.upd")), pending);
    }
    // A damaged personal-updates file is not made worse: half a record at its end, or records
    // shifted off the globe by bytes lost before them.
    WriteWholeFile(work_.file("x"), "lat,lon\n1,2\n");
    for (const auto& [damaged, says] : {std::pair{pending + "half", "partial record"},
                                        std::pair{pending + std::string(80, '\x7f'), "holds 1 records that are no reports"}}) {
        WriteWholeFile(work_.file("home/poiupdates.upd"), damaged);
        const auto run = RunZarnikSync({"import-reports", "x"}, work_.path());
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find(says), std::string::npos) << run.err;
        EXPECT_EQ(ReadWholeFile(work_.file("home/poiupdates.upd")), damaged);
    }
    // A file without a single camera is not the file meant: refused, and nothing is created.
    std::remove(work_.file("home/poiupdates.upd").c_str());
    for (const char* empty : {"<?xml version=\"1.0\"?><kml><Placemark><LineString><coordinates>8,47 9,48</coordinates>"
                              "</LineString></Placemark></kml>",
                              "{\"type\":\"FeatureCollection\",\"features\":[]}", "<gpx></gpx>", "lat,lon,name\n\n"}) {
        WriteWholeFile(work_.file("x"), empty);
        const auto run = RunZarnikSync({"import-reports", "x"}, work_.path());
        EXPECT_EQ(run.status, 1) << empty;
        EXPECT_NE(run.err.find("x holds no camera"), std::string::npos) << run.err;
        EXPECT_FALSE(testsupport::FileExists(work_.file("home/poiupdates.upd"))) << empty;
    }
    EXPECT_EQ(RunZarnikSync({"import-reports", "missing.gpx"}, work_.path()).status, 1);
    EXPECT_EQ(RunZarnikSync({"export", "--format", "gpx", "--cache", "missing.cache", "--out", "o.gpx"}, work_.path()).status,
              1);
    EXPECT_FALSE(testsupport::FileExists(work_.file("o.gpx")));
}

// One table per format read: each case is a file, and either the reports it gives
// ("lat,lon,direction,category,extra" each) or the failure it is refused with.
struct ImportCase {
    const char* what;
    std::string contents;
    std::vector<std::string> reports;  // empty: refused
    std::string says;
};

void ExpectImports(const std::string& folder, const std::vector<ImportCase>& cases) {
    const std::string updates = folder + "/home/poiupdates.upd";
    for (const ImportCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::remove(updates.c_str());
        WriteWholeFile(folder + "/x", c.contents);
        const auto run = RunZarnikSync({"import-reports", "x"}, folder);
        if (c.reports.empty()) {
            EXPECT_EQ(run.status, 1);
            EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
            EXPECT_FALSE(testsupport::FileExists(updates));
            continue;
        }
        ASSERT_EQ(run.status, 0) << run.err;
        std::vector<engine::ChangeRecord> records;
        ASSERT_TRUE(engine::ReadChangeRecords(updates, records));
        std::vector<std::string> got;
        for (const auto& r : records) {
            got.push_back(std::to_string(r.latitude) + "," + std::to_string(r.longitude) + "," + std::to_string(r.direction) +
                          "," + std::to_string(r.category) + "," + std::to_string(r.extra));
        }
        EXPECT_EQ(got, c.reports);
    }
}

TEST_F(Exchange, KmlPointPlacemarksImport) {
    const std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- a <gpx> in a comment -->\n<kml:kml><Document>\n";
    const auto doc = [&](const std::string& body) { return head + body + "</Document></kml:kml>\n"; };
    ExpectImports(work_.path(), {
        {"Data and SimpleData, altitude, blanks, a line passed over",
         doc("<Placemark><ExtendedData><Data name=\"direction\"><value> 90 </value></Data><SchemaData><SimpleData "
             "name=\"category\">7</SimpleData></SchemaData></ExtendedData><Point>\n<coordinates>\n 5.5,52.25,10\n"
             "</coordinates></Point></Placemark>\n<Placemark><LineString><coordinates>1,2 3,4</coordinates>"
             "</LineString></Placemark>\n<Placemark><Point><coordinates>-0.000001,-90</coordinates></Point></Placemark>"),
         {"52250000,5500000,90,7,0", "-90000000,-1,-1,0,0"}, ""},
        {"two positions in a Point",
         doc("\n<Placemark><Point><coordinates>1,2 3,4</coordinates></Point></Placemark>"), {},
         "x:5: the Point's coordinates \"1,2 3,4\" are not one longitude,latitude"},
        {"a Point without coordinates", doc("<Placemark><Point/></Placemark>"), {}, "x:4: a Point without coordinates"},
        {"latitude beyond the pole", doc("<Placemark><Point><coordinates>1,90.5</coordinates></Point></Placemark>"), {},
         "the latitude \"90.5\""},
        {"a direction that is none", doc("<Placemark><ExtendedData><Data name=\"direction\"><value>-5</value></Data>"
                                         "</ExtendedData><Point><coordinates>1,2</coordinates></Point></Placemark>"),
         {}, "the direction \"-5\""},
        {"a placemark that never ends", doc("<Placemark><Point><coordinates>1,2" + std::string(70000, ' ')), {},
         "x:4: a placemark longer than 64 KiB"},
        {"cut inside a placemark", head + "<Placemark><Point>", {}, "x:4: the file ends inside a placemark"},
        {"no Point at all", doc(""), {}, "x holds no camera"},
    });
}

TEST_F(Exchange, GeoJsonPointsImport) {
    ExpectImports(work_.path(), {
        {"a collection: any key order, texts and null as properties, other geometries passed over",
         "\xef\xbb\xbf {\"type\":\"FeatureCollection\",\"features\":[\n"
         "{\"properties\":{\"direction\":\"450\",\"category\":3,\"extra\":null,\"name\":\"a \\\"b\\\" \\u00e9\"},"
         "\"geometry\":{\"coordinates\":[4.1,51.2,7],\"type\":\"Point\"},\"type\":\"Feature\"},\n"
         "{\"type\":\"Feature\",\"geometry\":{\"type\":\"LineString\",\"coordinates\":[[1,2],[3,4]]},\"properties\":null},\n"
         "{\"type\":\"Feature\",\"geometry\":null},\n"
         "{\"type\":\"Feature\",\"geometry\":{\"type\":\"Point\",\"coordinates\":[-180,-0.5]}}]}\n",
         {"51200000,4100000,450,3,0", "-500000,-180000000,-1,0,0"}, ""},
        {"one feature", "{\"type\":\"Feature\",\"geometry\":{\"type\":\"Point\",\"coordinates\":[1,2]},\"properties\":{\"extra\":5}}",
         {"2000000,1000000,-1,0,5"}, ""},
        {"a bare Point", "{\"coordinates\":[10.25,-33.5],\"type\":\"Point\"}", {"-33500000,10250000,-1,0,0"}, ""},
        {"one number", "{\"type\":\"FeatureCollection\",\"features\":[\n\n{\"type\":\"Feature\",\"geometry\":"
                       "{\"type\":\"Point\",\"coordinates\":[1]}}]}",
         {}, "x:3: a Point whose coordinates are not one [longitude, latitude]"},
        {"positions of a line in a Point", "{\"type\":\"Point\",\"coordinates\":[[1,2],[3,4]]}", {},
         "x:1: a Point whose coordinates are not one"},
        {"a category that is an object", "{\"type\":\"Feature\",\"geometry\":{\"type\":\"Point\",\"coordinates\":[1,2]},"
                                         "\"properties\":{\"category\":{}}}",
         {}, "the category \"{...}\" is no whole number"},
        {"exponents, as gpsbabel writes them", "{\"type\":\"Point\",\"coordinates\":[-1e-06,2.5E+1]}",
         {"25000000,-1,-1,0,0"}, ""},
        {"an exponent beyond every degree", "{\"type\":\"Point\",\"coordinates\":[1e400,2]}", {},
         "the longitude \"1e400\""},
        {"not JSON", "{\"type\":\"Point\",\n\"coordinates\":[1,2]]}", {}, "x:2: not JSON: unexpected \"]\""},
        {"a missing comma", "{\"type\":\"Point\" \"coordinates\":[1,2]}", {}, "x:1: not JSON: unexpected"},
        {"more after the end", "{\"type\":\"Point\",\"coordinates\":[1,2]} {}", {}, "more after the end"},
        {"cut off", "{\"type\":\"Point\",\"coordinates\":[1,2", {}, "the file ends inside the JSON document"},
        {"a text that never ends", "{\"type\":\"" + std::string(70000, 'a'), {}, "longer than 64 KiB"},
        {"a bad escape", "{\"type\":\"Po\\int\"}", {}, "a text with a bad escape"},
        {"nested too deep", "{\"a\":" + std::string(100, '[') + std::string(100, ']') + "}", {}, "deeper than 64 levels"},
        {"nothing but a list", "[1,2]", {}, "x holds no camera"},
    });
}

// A dry run lists each point with the duplicate test's verdict against local.cache and writes
// nothing; a file the import would refuse lists nothing.
TEST_F(Exchange, DryRunListsWhatWouldBeAppendedAndWhatWouldBeDropped) {
    const std::vector<CameraRecord> known = {{52000000, 5000000, 90, 30000, "wide", 0, 1, 1},
                                             {48000000, 11000000, 90, 3, "narrow", 0, 2, 1}};
    ASSERT_TRUE(service::WriteCacheFile(work_.file("home/local.cache"), known.data(), known.size()));
    const std::string pending = testsupport::DeviceReports(1).substr(0, 80);
    WriteWholeFile(work_.file("home/poiupdates.upd"), pending);
    // 0.0003 degrees of latitude is about 33 m: within the wide radius, beyond the narrow one.
    WriteWholeFile(work_.file("r.csv"), "lat,lon,category,direction\n"
                                        "52.0003,5,30000,100\n"   // a duplicate
                                        "52.0003,5,30000,270\n"   // the other way
                                        "48.0003,11,3,90\n"       // too far for its class
                                        "48.00001,11,3,-1\n");    // a duplicate
    const auto before = std::filesystem::directory_iterator(work_.file("home"));
    const std::size_t files = static_cast<std::size_t>(std::distance(before, std::filesystem::directory_iterator()));
    const auto run = RunZarnikSync({"import-reports", "--dry-run", "r.csv"}, work_.path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "drop   52.000300,5.000000 line 2 direction 100 category 30000 (near a camera of local.cache)\n"
              "append 52.000300,5.000000 line 3 direction 270 category 30000\n"
              "append 48.000300,11.000000 line 4 direction 90 category 3\n"
              "drop   48.000010,11.000000 line 5 direction -1 category 3 (near a camera of local.cache)\n");
    EXPECT_NE(run.err.find("4 reports would be appended"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("would drop 2 of them against the 2 cameras"), std::string::npos) << run.err;
    EXPECT_EQ(ReadWholeFile(work_.file("home/poiupdates.upd")), pending);
    const auto after = std::filesystem::directory_iterator(work_.file("home"));
    EXPECT_EQ(static_cast<std::size_t>(std::distance(after, std::filesystem::directory_iterator())), files);

    WriteWholeFile(work_.file("r.csv"), "lat,lon\n1,2\n91,2\n");
    const auto bad = RunZarnikSync({"import-reports", "--dry-run", "r.csv"}, work_.path());
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.out, "");
    EXPECT_NE(bad.err.find("r.csv:3: the latitude"), std::string::npos) << bad.err;
    EXPECT_EQ(ReadWholeFile(work_.file("home/poiupdates.upd")), pending);
}

// --out names what the user means: a link's target is replaced and the link stays, a FIFO's
// reader gets the export, a full device and a folder are failures and stay what they were.
TEST_F(Exchange, OutWritesWhatTheNameStandsFor) {
    ASSERT_TRUE(service::WriteCacheFile(work_.file("few.cache"), cameras_.data(), 5));
    const auto expected = RunZarnikSync({"export", "--format", "csv", "--cache", "few.cache"}, work_.path()).out;
    ASSERT_FALSE(expected.empty());
    const auto exportTo = [&](const std::string& out) {
        return RunZarnikSync({"export", "--format", "csv", "--cache", "few.cache", "--out", out}, work_.path());
    };
    WriteWholeFile(work_.file("target.csv"), "old");
    ASSERT_EQ(::symlink("target.csv", work_.file("link.csv").c_str()), 0);
    ASSERT_EQ(exportTo("link.csv").status, 0);
    struct stat info {};
    ASSERT_EQ(::lstat(work_.file("link.csv").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(ReadWholeFile(work_.file("target.csv")), expected);

    ASSERT_EQ(::mkfifo(work_.file("fifo").c_str(), 0600), 0);
    const int reader = ::open(work_.file("fifo").c_str(), O_RDONLY | O_NONBLOCK);  // the export fits the pipe
    ASSERT_GE(reader, 0);
    ASSERT_EQ(exportTo("fifo").status, 0);
    std::string got(expected.size() + 1, '\0');
    got.resize(static_cast<std::size_t>(std::max<ssize_t>(0, ::read(reader, got.data(), got.size()))));
    ::close(reader);
    EXPECT_EQ(got, expected);

    ASSERT_EQ(::mknod(work_.file("full").c_str(), S_IFCHR | 0600, makedev(1, 7)), 0);  // as /dev/full
    ASSERT_EQ(::mkdir(work_.file("folder").c_str(), 0700), 0);
    for (const auto& [out, says, kind] : {std::tuple{"full", "No space left on device", S_IFCHR},
                                          std::tuple{"folder", "Is a directory", S_IFDIR},
                                          std::tuple{"fifo", "", S_IFIFO}}) {
        if (*says != '\0') {
            const auto run = exportTo(out);
            EXPECT_EQ(run.status, 1) << out;
            EXPECT_NE(run.err.find(says), std::string::npos) << run.err;
        }
        ASSERT_EQ(::lstat(work_.file(out).c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & S_IFMT, static_cast<mode_t>(kind)) << out << " is still what it was";
    }
}

// One table for the formats: what each writes for a camera, and what the filters keep.
TEST_F(Exchange, EachFormatWritesWhatItsReadersExpect) {
    const std::vector<CameraRecord> cameras = {{48137000, 11575000, 90, 3, "Say \"Hi\" \\ <x>", 50, 7, 0},
                                               {-33900000, 151200000, 90, 27515, "Sydney", 50, 8, 1},
                                               {10000000, 179500000, 90, 3, "East", 50, 9, 1},
                                               {10000000, -179500000, 90, 5, "West", 50, 10, 1}};
    ASSERT_TRUE(service::WriteCacheFile(work_.file("four.cache"), cameras.data(), cameras.size()));
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> has;
        std::vector<std::string> hasNot;
    } cases[] = {
        {{"--format", "gpx"}, {"<name>Say &quot;Hi&quot; \\ &lt;x&gt;</name><type>3</type><extensions>", "<type>27515</type>"}, {}},
        {{"--format", "geojson"},
         {"{\"type\":\"FeatureCollection\",\"features\":[\n{\"type\":\"Feature\",\"geometry\":{\"type\":\"Point\","
          "\"coordinates\":[11.575000,48.137000]},\"properties\":{\"name\":\"Say \\\"Hi\\\" \\\\ <x>\",\"direction\":90,"
          "\"category\":3,\"extra\":50,\"id\":7,\"personal\":true}},\n{",
          "\"personal\":false}}]}\n"},
         {}},
        {{"--format", "kml"},
         {"<Placemark><name>Say &quot;Hi&quot; \\ &lt;x&gt;</name><ExtendedData><Data name=\"direction\"><value>90</value>"
          "</Data><Data name=\"category\"><value>3</value></Data>",
          "<Point><coordinates>151.200000,-33.900000</coordinates></Point></Placemark>\n", "</Document></kml>\n"},
         {}},
        {{"--format", "csv", "--bbox", "0,179,20,-179"}, {"\"East\"", "\"West\""}, {"Sydney", "Say"}},
        {{"--format", "csv", "--bbox=-34,151,-33,152"}, {"\"Sydney\""}, {"East", "West", "Say"}},
        {{"--format", "csv", "--category", "3"}, {"\"Say", "\"East\""}, {"Sydney", "West"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"export", "--cache", "four.cache"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto run = RunZarnikSync(args, work_.path());
        SCOPED_TRACE(run.out);
        ASSERT_EQ(run.status, 0) << run.err;
        for (const auto& text : c.has) EXPECT_NE(run.out.find(text), std::string::npos) << text;
        for (const auto& text : c.hasNot) EXPECT_EQ(run.out.find(text), std::string::npos) << text;
    }
    const auto refused = RunZarnikSync({"export", "--format", "csv", "--cache", "four.cache", "--bbox", "20,0,10,5"}, work_.path());
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("--bbox: the south edge lies north of the north edge"), std::string::npos) << refused.err;
    // Headers as map programs spell them.
    WriteWholeFile(work_.file("x.csv"), "Name,Y,LONG\nA,1.5,-2\n");
    ASSERT_EQ(RunZarnikSync({"import-reports", "x.csv"}, work_.path()).status, 0);
    ASSERT_EQ(Reports().size(), 1u);
    EXPECT_EQ(Reports()[0].latitude, 1500000);
    EXPECT_EQ(Reports()[0].longitude, -2000000);
}

// Programs nobody here wrote, GDAL's ogrinfo and gpsbabel (scripts/setup installs both), find
// every camera of each format at its position, and the files gpsbabel writes import whole.
TEST_F(Exchange, MapProgramsReadEveryExportAndWriteFilesTheImportTakes) {
    const auto degrees = [](std::int32_t micro) {
        const std::string digits = std::to_string(std::llabs(micro) + 1000000000LL);  // 1 and ten digits
        return (micro < 0 ? "-" : "") + std::to_string(std::llabs(micro) / 1000000) + "." + digits.substr(digits.size() - 6);
    };
    std::string expected;  // "lat,lon" lines, as gpsbabel's unicsv writes them
    for (const CameraRecord& r : cameras_) expected += degrees(r.latitude) + "," + degrees(r.longitude) + "\n";
    const auto positions = [](const std::string& unicsv) {  // No,Latitude,Longitude,Name...
        std::string lines;
        for (std::size_t at = unicsv.find('\n'); at + 1 < unicsv.size(); at = unicsv.find('\n', at + 1)) {
            const std::size_t lat = unicsv.find(',', at) + 1;
            lines += unicsv.substr(lat, unicsv.find(',', unicsv.find(',', lat) + 1) - lat) + "\n";
        }
        return lines;
    };
    for (const auto& [format, babel] : {std::pair{"gpx", "gpx"}, std::pair{"csv", "unicsv"}, std::pair{"geojson", "geojson"},
                                        std::pair{"kml", "kml"}}) {
        SCOPED_TRACE(format);
        const std::string file = std::string("cameras.") + format;
        ASSERT_EQ(RunZarnikSync({"export", "--format", format, "--cache", "cameras.cache", "--out", file}, work_.path()).status, 0);
        const auto info = RunProgram("ogrinfo", {"-ro", "-so", "-al", file}, work_.path());
        EXPECT_NE(info.out.find("Feature Count: 3000"), std::string::npos) << "ogrinfo (gdal-bin): " << info.out << info.err;
        const auto read = RunProgram("gpsbabel", {"-i", babel, "-f", file, "-o", "unicsv", "-F", "-"}, work_.path());
        ASSERT_EQ(read.status, 0) << "gpsbabel: " << read.err;
        EXPECT_EQ(positions(read.out), expected);
    }
    for (const char* written : {"gpx", "unicsv", "kml", "geojson"}) {
        SCOPED_TRACE(written);
        std::remove(work_.file("home/poiupdates.upd").c_str());
        ASSERT_EQ(RunProgram("gpsbabel", {"-i", "unicsv", "-f", "cameras.csv", "-o", written, "-F", "babel"}, work_.path()).status, 0);
        ASSERT_EQ(RunZarnikSync({"import-reports", "babel"}, work_.path()).status, 0);
        std::string imported;
        for (const auto& r : Reports()) imported += degrees(r.latitude) + "," + degrees(r.longitude) + "\n";
        EXPECT_EQ(imported, expected);
    }
}

class ExchangeFromService : public tooltest::ToolWithService {};

// Names as the service sends them reach the exported files as it meant them: UTF-8 unchanged,
// anything else read as Windows-1252, a character the 52-byte field cut in half dropped.
TEST_F(ExchangeFromService, NamesReachTheExportedFilesUnchanged) {
    std::string tokyo20 = "a", tokyo16 = "a";
    for (int i = 0; i < 20; ++i) tokyo20 += "\xe6\x9d\xb1";
    for (int i = 0; i < 16; ++i) tokyo16 += "\xe6\x9d\xb1";
    const std::pair<std::string, std::string> names[] = {
        {"M\xc3\xbcnchen Ring", "M\xc3\xbcnchen Ring"},
        {"\xe6\x9d\xb1\xe4\xba\xac Ginza", "\xe6\x9d\xb1\xe4\xba\xac Ginza"},
        {"Caf\xe9 \x80 5", "Caf\xc3\xa9 \xe2\x82\xac 5"},
        {tokyo20, tokyo16},
    };
    for (std::size_t i = 0; i < std::size(names); ++i) AddOfficial(50000000, 10000000 + static_cast<int>(i), names[i].first);
    ASSERT_EQ(RunZarnikSync({"settings", "set", "--name", poidbtest::kName, "--serial", poidbtest::kSerial, "--email",
                             poidbtest::kEmail, "--url", "http://" + address_ + "/POIDataBase/"},
                            work_.path())
                  .status,
              0);
    const auto sync = RunZarnikSync({"sync", "--pc-only"}, work_.path());
    ASSERT_EQ(sync.status, 0) << sync.err;
    for (const auto& [format, before, after] : {std::tuple{"gpx", "<name>", "</name>"}, std::tuple{"csv", ",\"", "\","}}) {
        const auto run = RunZarnikSync({"export", "--format", format}, work_.path());
        ASSERT_EQ(run.status, 0) << run.err;
        for (const auto& [sent, exported] : names) {
            EXPECT_NE(run.out.find(before + exported + after), std::string::npos) << format << ": " << exported;
        }
    }
}

}  // namespace
