#include "tools/poidb-server/sample_data.h"

#include <array>
#include <cstdio>
#include <optional>
#include <string_view>

#include "tools/poidb-server/schema.h"
#include "tools/poidb-server/text_rules.h"

namespace poidb {

namespace {

struct City {
    std::string_view name;
    std::int32_t latitude;   // micro-degrees
    std::int32_t longitude;
};

constexpr std::array<City, 24> kCities{{
    {"Amsterdam", 52370216, 4895168},  {"Rotterdam", 51924420, 4477733}, {"Utrecht", 52090737, 5121420},
    {"Brussels", 50850340, 4351710},   {"Antwerp", 51219448, 4402464},   {"Paris", 48856614, 2352222},
    {"Lyon", 45764043, 4835659},       {"Marseille", 43296482, 5369780}, {"Berlin", 52520007, 13404954},
    {"Hamburg", 53551085, 9993682},    {"Munich", 48135125, 11581981},   {"Cologne", 50937531, 6960279},
    {"Vienna", 48208174, 16373819},    {"Zurich", 47376887, 8541694},    {"Milan", 45464204, 9189982},
    {"Rome", 41902783, 12496366},      {"Madrid", 40416775, -3703790},   {"Barcelona", 41385064, 2173403},
    {"Lisbon", 38722252, -9139337},    {"London", 51507351, -127758},    {"Copenhagen", 55676097, 12568337},
    {"Stockholm", 59329323, 18068581}, {"Warsaw", 52229676, 21012229},   {"Prague", 50075538, 14437800},
}};

constexpr std::array<std::string_view, 8> kRoads{"A1", "A7", "N7", "E40", "B27", "Ring", "Main Street", "Harbour Road"};
constexpr std::array<std::int32_t, 9> kCategories{2, 3, 4, 7, 27514, 27515, 27516, 27600, 30001};
constexpr std::array<std::int32_t, 9> kSpeeds{30, 50, 70, 80, 90, 100, 110, 120, 130};
// About a quarter of a degree around a city centre.
constexpr std::int64_t kSpreadMicroDegrees = 250000;

// splitmix64: tiny, fast and the same everywhere (std:: distributions are not).
class SampleRandom {
public:
    explicit SampleRandom(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30U)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27U)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31U);
    }
    std::int64_t Below(std::int64_t bound) { return static_cast<std::int64_t>(Next() % static_cast<std::uint64_t>(bound)); }
    // Roughly bell-shaped offset in [-spread, spread].
    std::int64_t Offset(std::int64_t spread) {
        return (Below(2 * spread + 1) + Below(2 * spread + 1) + Below(2 * spread + 1)) / 3 - spread;
    }

private:
    std::uint64_t state_;
};

std::int32_t SampleDirection(SampleRandom& random) {
    const auto pick = random.Below(100);
    if (pick < 10) return -1;
    if (pick < 15) return -2;
    if (pick < 30) return static_cast<std::int32_t>(361 + random.Below(360));
    return static_cast<std::int32_t>(random.Below(361));
}

std::string SampleName(SampleRandom& random, const City& city, std::int64_t index) {
    const auto& road = kRoads[static_cast<std::size_t>(random.Below(kRoads.size()))];
    std::string name = std::string(city.name) + " " + std::string(road) + " km " + std::to_string(random.Below(300));
    if (index % 50 == 0) {
        // Long descriptive names as editors write them; the store cuts them to 51 bytes.
        name += " towards " + std::string(kCities[static_cast<std::size_t>(random.Below(kCities.size()))].name) +
                " after the junction, section control";
    }
    return name;
}

bool InsertSampleCamera(Statement& insert, SampleRandom& random, std::int64_t index, std::optional<std::int64_t> owner) {
    const City& city = kCities[static_cast<std::size_t>(random.Below(kCities.size()))];
    insert.Reset();
    insert.BindOptional(1, owner);
    insert.Bind(2, city.latitude + random.Offset(kSpreadMicroDegrees));
    insert.Bind(3, city.longitude + random.Offset(kSpreadMicroDegrees));
    insert.Bind(4, CleanName(SampleName(random, city, index)));
    insert.Bind(5, SampleDirection(random));
    insert.Bind(6, kCategories[static_cast<std::size_t>(random.Below(kCategories.size()))]);
    insert.Bind(7, kSpeeds[static_cast<std::size_t>(random.Below(kSpeeds.size()))]);
    return insert.Run();
}

bool InsertMutations(Database& db, SampleRandom& random, const SampleOptions& options) {
    Statement* mutate = db.Prepare(
        "INSERT OR IGNORE INTO mutations (camera_id, deleted, direction, category) VALUES (?1, ?2, ?3, ?4)");
    if (mutate == nullptr) return false;
    const std::int64_t wanted = options.mutations < options.cameras ? options.mutations : options.cameras;
    std::int64_t made = 0;
    // Official cameras are numbered 1..N in a fresh database; repeats are ignored and retried.
    for (std::int64_t attempt = 0; made < wanted && attempt < wanted * 20; ++attempt) {
        const bool deleted = random.Below(3) == 0;
        mutate->Reset();
        mutate->Bind(1, 1 + random.Below(options.cameras)).Bind(2, deleted ? 1 : 0);
        mutate->Bind(3, SampleDirection(random));
        mutate->Bind(4, kCategories[static_cast<std::size_t>(random.Below(kCategories.size()))]);
        if (!mutate->Run()) return false;
        made += db.Changes();
    }
    return true;
}

bool InsertUsers(Database& db, SampleRandom& random, const SampleOptions& options, Statement& camera) {
    for (std::int64_t u = 1; u <= options.users; ++u) {
        Statement* user = db.Prepare("INSERT OR IGNORE INTO users (name, serial, email) VALUES (?1, ?2, ?3)");
        if (user == nullptr) return false;
        char serial[32];
        std::snprintf(serial, sizeof serial, "SAMPLE-%04lld", static_cast<long long>(u));
        user->Bind(1, "Sample User " + std::to_string(u)).Bind(2, std::string_view(serial));
        user->Bind(3, "user" + std::to_string(u) + "@example.org");
        if (!user->Run()) return false;
        Statement* find = db.Prepare("SELECT id FROM users WHERE serial = ?1");
        if (find == nullptr) return false;
        find->Bind(1, std::string_view(serial));
        const std::int64_t id = find->Step() == SQLITE_ROW ? find->Int(0) : -1;
        find->Reset();
        if (id < 0) return false;
        for (std::int64_t p = 0; p < options.personal; ++p) {
            if (!InsertSampleCamera(camera, random, p + 1, id)) return false;
        }
    }
    return true;
}

}  // namespace

bool GenerateSample(Database& db, const SampleOptions& options, std::string& error) {
    if (options.cameras < 0 || options.mutations < 0 || options.personal < 0 || options.users < 0) {
        error = "counts must not be negative";
        return false;
    }
    Statement* count = db.Prepare("SELECT count(*) FROM cameras");
    if (count == nullptr || count->Step() != SQLITE_ROW) {
        error = db.LastError();
        return false;
    }
    const bool empty = count->Int(0) == 0;
    count->Reset();
    if (!empty) {
        error = "the database already holds cameras; sample data goes into a new database";
        return false;
    }
    WriteTransaction tx(db);
    if (!tx.ok() || !SuspendOfficialCount(db)) {
        error = db.LastError();
        return false;
    }
    Statement* camera = db.Prepare(
        "INSERT INTO cameras (owner, lat, lon, name, direction, category, extra) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    if (camera == nullptr) {
        error = db.LastError();
        return false;
    }
    SampleRandom random(options.seed);
    for (std::int64_t i = 1; i <= options.cameras; ++i) {
        if (!InsertSampleCamera(*camera, random, i, std::nullopt)) {
            error = db.LastError();
            return false;
        }
    }
    if (!InsertMutations(db, random, options) || !InsertUsers(db, random, options, *camera) ||
        !ResumeOfficialCount(db) || !tx.Commit()) {
        error = db.LastError();
        return false;
    }
    return true;
}

}  // namespace poidb
