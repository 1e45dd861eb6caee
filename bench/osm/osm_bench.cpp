// The OpenStreetMap import on a country-sized extract, against osmium tags-filter with the same
// filter on the same file in the same run: both read it twice (relations, then what they name),
// so the ratio says what our decoding and record making cost beyond libosmium's own. Also our
// peak memory, which must not grow with the file.
//
// The extract is generated on first use (libosmium's writer: random-walk roads of nodes and
// ways, a few tagged nodes, speed cameras and enforcement relations scattered through it) and
// kept for later runs; --megabytes sets its least size, --file another place.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <osmium/builder/attr.hpp>
#include <osmium/io/any_output.hpp>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace osmium::builder::attr;  // NOLINT(google-build-using-namespace): the builder's own idiom
using osmium::builder::add_node;
using osmium::builder::add_relation;
using osmium::builder::add_way;

struct Run {
    double seconds = -1;
    double peakMiB = 0;
};

// Runs a program, its output dropped; wall time and the child's peak resident memory.
Run RunProgram(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::fflush(stdout);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        if (std::freopen("/dev/null", "w", stdout) == nullptr) _exit(126);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    Run run;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        run.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    }
    return run;
}

struct Made {
    std::size_t cameras = 0;
    std::size_t relations = 0;
};

// Nodes along random-walk roads (as dense as real extracts), a way per road, a tagged node now
// and then; one node in 4000 a speed camera, one road in 3000 an enforcement relation naming a
// road node as its device (some of them cameras already). Nodes first, then ways, then
// relations, each in id order, as extracts come.
Made Generate(const std::string& path, std::uint64_t megabytes) {
    std::mt19937_64 rng(26);
    osmium::io::Header header;
    header.set("generator", "zarnik osm_bench");
    const std::string partial = path + ".partial";
    osmium::io::Writer writer(osmium::io::File(partial, "pbf"), header, osmium::io::overwrite::allow);
    const std::uint64_t roadsPerMegabyte = 11500;  // 20 nodes and a way each: about 87 bytes a road
    const std::uint64_t roads = megabytes * roadsPerMegabyte;
    const int kNodesPerRoad = 20;
    Made made;
    std::vector<std::pair<std::int64_t, std::int64_t>> devices;  // (relation's road, device node)
    osmium::memory::Buffer buffer(1 << 24, osmium::memory::Buffer::auto_grow::yes);
    auto flush = [&](bool always) {
        if (always || buffer.committed() > (1 << 23)) {
            writer(std::move(buffer));
            buffer = osmium::memory::Buffer(1 << 24, osmium::memory::Buffer::auto_grow::yes);
        }
    };
    std::int64_t node = 1;
    for (std::uint64_t road = 0; road < roads; ++road) {
        double lat = 47.0 + static_cast<double>(rng() % 8000000) / 1e6;
        double lon = 6.0 + static_cast<double>(rng() % 9000000) / 1e6;
        for (int i = 0; i < kNodesPerRoad; ++i, ++node) {
            lat += static_cast<double>(static_cast<std::int64_t>(rng() % 2001) - 1000) / 1e6;
            lon += static_cast<double>(static_cast<std::int64_t>(rng() % 2001) - 1000) / 1e6;
            const osmium::Location where{lon, lat};
            const std::uint64_t dice = rng() % 4000;
            if (dice == 0) {
                add_node(buffer, _id(node), _version(1), _location(where), _tag("highway", "speed_camera"),
                         _tag("maxspeed", "50"), _tag("direction", "NE"));
                ++made.cameras;
            } else if (dice < 120) {
                add_node(buffer, _id(node), _version(1), _location(where), _tag("highway", "crossing"),
                         _tag("crossing", "zebra"));
            } else {
                add_node(buffer, _id(node), _version(1), _location(where));
            }
        }
        if (road % 3000 == 7) devices.emplace_back(static_cast<std::int64_t>(road), node - 1 - static_cast<std::int64_t>(rng() % kNodesPerRoad));
        flush(false);
    }
    node = 1;
    for (std::uint64_t road = 0; road < roads; ++road) {
        std::vector<osmium::object_id_type> refs;
        for (int i = 0; i < kNodesPerRoad; ++i) refs.push_back(node++);
        add_way(buffer, _id(static_cast<std::int64_t>(road) + 1), _version(1), _nodes(refs),
                _tag("highway", road % 3 == 0 ? "residential" : "service"), _tag("name", "Road " + std::to_string(road)));
        flush(false);
    }
    std::int64_t relation = 1;
    for (const auto& [road, device] : devices) {
        add_relation(buffer, _id(relation++), _version(1), _member(osmium::item_type::node, device, "device"),
                     _member(osmium::item_type::way, road + 1, "from"), _tag("type", "enforcement"),
                     _tag("enforcement", road % 2 == 0 ? "maxspeed" : "traffic_signals"), _tag("maxspeed", "30 mph"));
        ++made.relations;
        flush(false);
    }
    flush(true);
    writer.close();
    std::filesystem::rename(partial, path);
    return made;
}

}  // namespace

int main(int argc, char** argv) {
    std::uint64_t megabytes = 300;
    std::string file = std::string(ZARNIK_BENCH_DATA) + "/extract.osm.pbf";
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--megabytes") == 0) megabytes = std::strtoull(argv[i + 1], nullptr, 10);
        if (std::strcmp(argv[i], "--file") == 0) file = argv[i + 1];
    }
    std::error_code ec;
    const auto size = std::filesystem::file_size(file, ec);
    if (ec || size < megabytes * 1000000) {
        std::filesystem::create_directories(std::filesystem::path(file).parent_path(), ec);
        std::printf("generating %s (at least %llu MB) ...\n", file.c_str(), static_cast<unsigned long long>(megabytes));
        const auto start = std::chrono::steady_clock::now();
        const Made made = Generate(file, megabytes);
        std::printf("  %zu speed-camera nodes, %zu enforcement relations, %.0f s\n", made.cameras, made.relations,
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::printf("extract: %s, %.0f MB\n", file.c_str(), static_cast<double>(std::filesystem::file_size(file)) / 1e6);

    const std::filesystem::path home = std::filesystem::temp_directory_path() / ("zarnik-osm-" + std::to_string(getpid()));
    std::filesystem::create_directories(home);
    setenv("ZARNIK_HOME", home.c_str(), 1);
    const std::string filtered = (home / "filtered.osm.pbf").string();
    const std::vector<std::string> reference = {"osmium", "tags-filter", file, "n/highway=speed_camera",
                                                "r/type=enforcement", "-o", filtered, "--overwrite"};
    const std::vector<std::string> ours = {std::string(ZARNIK_BIN_DIR) + "/zarnik-sync", "import-osm", file};

    // Once each to bring the file into the page cache, then alternately; the best of each counts.
    RunProgram({"cat", file});
    Run best[2];
    for (int round = 0; round < 3; ++round) {
        for (int which = 0; which < 2; ++which) {
            const Run run = RunProgram(which == 0 ? reference : ours);
            if (run.seconds < 0) {
                std::printf("%s failed\n", which == 0 ? "osmium tags-filter" : "zarnik-sync import-osm");
                return 1;
            }
            if (best[which].seconds < 0 || run.seconds < best[which].seconds) best[which].seconds = run.seconds;
            if (run.peakMiB > best[which].peakMiB) best[which].peakMiB = run.peakMiB;
        }
    }
    std::filesystem::remove_all(home, ec);
    const double ratio = best[1].seconds / best[0].seconds;
    std::printf("osmium tags-filter:     %.2f s, peak %.0f MiB\n", best[0].seconds, best[0].peakMiB);
    std::printf("zarnik-sync import-osm: %.2f s, peak %.0f MiB\n", best[1].seconds, best[1].peakMiB);
    std::printf("ratio %.2fx (target <= 1.3x), peak memory %.0f MiB (target <= 200 MiB)\n", ratio, best[1].peakMiB);
    return ratio <= 1.3 && best[1].peakMiB <= 200 ? 0 : 2;
}
