#include "tools/poidb-server/admin_cli.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <limits>

#include "tools/poidb-server/change_list.h"
#include "tools/poidb-server/sample_data.h"
#include "tools/poidb-server/schema.h"
#include "tools/poidb-server/store.h"
#include "tools/poidb-server/text_rules.h"

namespace poidb {

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitFailure = 1;

// Reads a required or optional 32-bit option within [low, high]; prints why when it is missing,
// not a number, or out of range.
bool IntOption(const CommandLine& line, const std::string& name, std::int32_t& value, bool required,
               std::int32_t low = std::numeric_limits<std::int32_t>::min(),
               std::int32_t high = std::numeric_limits<std::int32_t>::max()) {
    const auto text = line.Text(name);
    if (!text || text->empty()) {
        if (required) std::fprintf(stderr, "poidb-server %s: --%s is required\n", line.command.c_str(), name.c_str());
        return !required;
    }
    if (!ParseInt32(*text, value)) {
        std::fprintf(stderr, "poidb-server %s: --%s must be a whole number, not \"%s\"\n", line.command.c_str(),
                     name.c_str(), text->c_str());
        return false;
    }
    if (value < low || value > high) {
        std::fprintf(stderr, "poidb-server %s: --%s must lie within %d..%d, not %d\n", line.command.c_str(),
                     name.c_str(), low, high, value);
        return false;
    }
    return true;
}

bool TextOption(const CommandLine& line, const std::string& name, std::string& value, bool required) {
    const auto text = line.Text(name);
    if (!text || (required && text->empty())) {
        if (required) std::fprintf(stderr, "poidb-server %s: --%s is required\n", line.command.c_str(), name.c_str());
        return !required;
    }
    value = *text;
    return true;
}

int Fail(const CommandLine& line, const std::string& why) {
    std::fprintf(stderr, "poidb-server %s: %s\n", line.command.c_str(), why.c_str());
    return kExitFailure;
}

std::string DirectionError() {
    return "--direction must be -1 (every direction), -2 (none), 0..360 (a heading) or 361..720 (both ways)";
}

// Runs `work` in one write transaction; `work` gives an error text or nothing.
int InTransaction(const CommandLine& line, Database& db, const std::function<std::optional<std::string>(Store&)>& work) {
    WriteTransaction tx(db);
    if (!tx.ok()) return Fail(line, "database is busy: " + db.LastError());
    Store store(db);
    if (const auto error = work(store)) return Fail(line, *error);
    if (!tx.Commit()) return Fail(line, "cannot save: " + db.LastError());
    return 0;
}

int AddUser(const CommandLine& line, Database& db) {
    std::string name;
    std::string serial;
    std::string email;
    if (!TextOption(line, "name", name, true) || !TextOption(line, "serial", serial, true) ||
        !TextOption(line, "email", email, true)) {
        return kExitUsage;
    }
    return InTransaction(line, db, [&](Store& store) -> std::optional<std::string> {
        const auto id = store.AddUser(name, serial, email);
        if (!id) return "user exists already, or a value is empty, too long, or holds a NUL (serial and e-mail may not hold commas)";
        std::printf("user %lld\n", static_cast<long long>(*id));
        return std::nullopt;
    });
}

int Sample(const CommandLine& line, Database& db) {
    std::int32_t cameras = 0;
    std::int32_t mutations = 0;
    std::int32_t personal = 0;
    std::int32_t users = 1;
    std::int32_t seed = 1;
    if (!IntOption(line, "cameras", cameras, true, 0, 10000000) ||
        !IntOption(line, "mutations", mutations, false, 0, std::max(cameras, 0)) ||
        !IntOption(line, "personal", personal, false, 0, 100000) || !IntOption(line, "users", users, false, 0, 100000) ||
        !IntOption(line, "seed", seed, false)) {
        return kExitUsage;
    }
    SampleOptions options{cameras, mutations, personal, users, static_cast<std::uint64_t>(static_cast<std::uint32_t>(seed))};
    std::string error;
    if (!GenerateSample(db, options, error)) return Fail(line, error);
    std::fprintf(stderr, "sample: %d cameras, %d mutations, %d users with %d personal cameras each\n", cameras,
                 mutations, users, personal);
    return 0;
}

int AddCamera(const CommandLine& line, Database& db) {
    CameraInput camera;
    if (!IntOption(line, "lat", camera.latitude, true) || !IntOption(line, "lon", camera.longitude, true) ||
        !TextOption(line, "name", camera.name, true) || !IntOption(line, "direction", camera.direction, false) ||
        !IntOption(line, "category", camera.category, false) || !IntOption(line, "extra", camera.extra, false)) {
        return kExitUsage;
    }
    if (!OnTheGlobe(camera.latitude, camera.longitude)) {
        return Fail(line, "the position lies off the globe (--lat within -90000000..90000000, --lon within "
                          "-180000000..180000000 millionths of a degree)");
    }
    if (!KnownDirection(camera.direction)) return Fail(line, DirectionError());
    return InTransaction(line, db, [&](Store& store) -> std::optional<std::string> {
        const auto id = store.AddCamera(camera, std::time(nullptr));
        if (!id) return "cannot add the camera: " + db.LastError();
        std::printf("camera %lld\n", static_cast<long long>(*id));
        return std::nullopt;
    });
}

int DeleteCamera(const CommandLine& line, Database& db) {
    std::int32_t id = 0;
    if (!IntOption(line, "id", id, true, 1)) return kExitUsage;
    return InTransaction(line, db, [&](Store& store) -> std::optional<std::string> {
        if (!store.DeleteCamera(id, std::time(nullptr))) return "no camera " + std::to_string(id);
        return std::nullopt;
    });
}

int Mutate(const CommandLine& line, Database& db) {
    std::int32_t id = 0;
    std::int32_t direction = 0;
    std::int32_t category = 0;
    const bool deleted = line.Has("delete");
    if (deleted && (line.Has("direction") || line.Has("category"))) {
        std::fprintf(stderr, "poidb-server mutate: --delete takes no --direction or --category\n");
        return kExitUsage;
    }
    if (!IntOption(line, "id", id, true, 1) || !IntOption(line, "direction", direction, !deleted) ||
        !IntOption(line, "category", category, !deleted)) {
        return kExitUsage;
    }
    if (!deleted && !KnownDirection(direction)) return Fail(line, DirectionError());
    return InTransaction(line, db, [&](Store& store) -> std::optional<std::string> {
        if (!store.MutateCamera(id, deleted, direction, category, std::time(nullptr))) {
            return "no official camera " + std::to_string(id);
        }
        return std::nullopt;
    });
}

int AddAlert(const CommandLine& line, Database& db) {
    std::string text;
    std::string language;
    std::int32_t from = 0;
    std::int32_t to = 99991231;
    if (!TextOption(line, "text", text, true) || !TextOption(line, "language", language, false) ||
        !IntOption(line, "from", from, false, 0, 99991231) || !IntOption(line, "to", to, false, 0, 99991231)) {
        return kExitUsage;
    }
    if (from > to) {
        std::fprintf(stderr, "poidb-server add-alert: --from %d lies after --to %d\n", from, to);
        return kExitUsage;
    }
    return InTransaction(line, db, [&](Store& store) -> std::optional<std::string> {
        const auto id = store.AddAlert(text, language, from, to);
        if (!id) return "cannot add the alert: " + db.LastError();
        std::printf("alert %lld\n", static_cast<long long>(*id));
        return std::nullopt;
    });
}

int AddMessage(const CommandLine& line, Database& db) {
    std::string text;
    std::string language;
    if (!TextOption(line, "text", text, true) || !TextOption(line, "language", language, false)) return kExitUsage;
    return InTransaction(line, db, [&](Store& store) -> std::optional<std::string> {
        const auto id = store.AddMessage(text, language);
        if (!id) return "cannot add the message: " + db.LastError();
        std::printf("message %lld\n", static_cast<long long>(*id));
        return std::nullopt;
    });
}

int SetVersion(const CommandLine& line, Database& db) {
    std::int32_t version = 0;
    VersionInfo info;
    if (!IntOption(line, "version", version, true, 0) || !TextOption(line, "url", info.url, true) ||
        !TextOption(line, "message", info.message, false)) {
        return kExitUsage;
    }
    info.version = version;
    return InTransaction(line, db, [&](Store& store) -> std::optional<std::string> {
        if (!store.SetVersion(info)) return "cannot save: " + db.LastError();
        return std::nullopt;
    });
}

int SetServerUrl(const CommandLine& line, Database& db) {
    std::string url;
    if (!TextOption(line, "url", url, true)) return kExitUsage;
    return InTransaction(line, db, [&](Store& store) -> std::optional<std::string> {
        if (!store.SetSetting("server_url", url)) return "cannot save: " + db.LastError();
        return std::nullopt;
    });
}

int PruneChanges(const CommandLine& line, Database& db) {
    std::int32_t days = 0;
    if (!IntOption(line, "days", days, true, 0, 36500)) return kExitUsage;
    Store store(db);
    const std::int64_t dropped = store.PruneChanges(std::time(nullptr) - static_cast<std::time_t>(days) * kSecondsPerDay);
    if (dropped < 0) return Fail(line, "cannot prune: " + db.LastError());
    std::printf("pruned %lld\n", static_cast<long long>(dropped));
    return 0;
}

int Stats(const CommandLine& line, Database& db) {
    Statement* st = db.Prepare(
        "SELECT (SELECT count(*) FROM users), (SELECT count(*) FROM cameras WHERE owner IS NULL), "
        "(SELECT count(*) FROM cameras WHERE owner IS NOT NULL), (SELECT count(*) FROM mutations), "
        "(SELECT count(*) FROM changes), (SELECT count(*) FROM reports)");
    if (st == nullptr || st->Step() != SQLITE_ROW) return Fail(line, db.LastError());
    std::printf("users %lld\nofficial %lld\npersonal %lld\nmutations %lld\nchanges %lld\nreports %lld\nrevision %lld\n",
                static_cast<long long>(st->Int(0)), static_cast<long long>(st->Int(1)),
                static_cast<long long>(st->Int(2)), static_cast<long long>(st->Int(3)),
                static_cast<long long>(st->Int(4)), static_cast<long long>(st->Int(5)),
                static_cast<long long>(Store(db).HeadRevision()));
    st->Reset();
    return 0;
}

using CommandFunction = int (*)(const CommandLine&, Database&);

const std::map<std::string, CommandFunction>& Commands() {
    static const std::map<std::string, CommandFunction> commands{
        {"add-user", AddUser},       {"sample", Sample},           {"add-camera", AddCamera},
        {"delete-camera", DeleteCamera}, {"mutate", Mutate},       {"add-alert", AddAlert},
        {"add-message", AddMessage}, {"set-version", SetVersion},  {"set-server-url", SetServerUrl},
        {"prune-changes", PruneChanges}, {"stats", Stats},
    };
    return commands;
}

}  // namespace

std::optional<std::string> CommandLine::Text(const std::string& name) const {
    const auto it = options.find(name);
    if (it == options.end()) return std::nullopt;
    return it->second;
}

int RunAdminCommand(const CommandLine& line) {
    const auto it = Commands().find(line.command);
    if (it == Commands().end()) {
        std::fprintf(stderr, "poidb-server: unknown command \"%s\"\n", line.command.c_str());
        return kExitUsage;
    }
    std::string path;
    if (!TextOption(line, "db", path, true)) return kExitUsage;
    bool creates = false;
    for (const AdminCommand& c : AdminCommands()) {
        if (line.command == c.name) creates = c.createsDatabase;
    }
    // An administration command aimed at a mistyped path must not leave an empty database there.
    struct stat info {};
    if (!creates && ::stat(path.c_str(), &info) != 0) {
        return Fail(line, "no database " + path + " (" + std::strerror(errno) +
                              "); 'poidb-server sample' or 'poidb-server add-user' creates one");
    }
    Database db;
    std::string error;
    if (!OpenStore(db, path, creates, error)) return Fail(line, "cannot open database " + path + ": " + error);
    return it->second(line, db);
}

const std::vector<AdminCommand>& AdminCommands() {
    static const AdminOption kDb{"db", "FILE", "the database file", true};
    static const std::vector<AdminCommand> commands{
        {"add-user", "add a user (creates the database when missing); prints its id", true,
         {kDb,
          {"name", "N", "registration name", true},
          {"serial", "S", "serial number (no commas)", true},
          {"email", "E", "e-mail address (no commas)", true}}},
        {"sample", "fill a new database with deterministic sample data (creates it when missing)", true,
         {kDb,
          {"cameras", "N", "official cameras, 0 to 10,000,000", true},
          {"mutations", "M", "mutations of official cameras, 0 to the number of cameras", false},
          {"personal", "P", "personal cameras of each user, 0 to 100,000", false},
          {"users", "U", "sample users, 0 to 100,000 (default 1)", false},
          {"seed", "S", "seed of the generator (default 1)", false}}},
        {"add-camera", "add an official camera; prints its id", false,
         {kDb,
          {"lat", "MICRODEG", "latitude in millionths of a degree, -90000000 to 90000000", true},
          {"lon", "MICRODEG", "longitude in millionths of a degree, -180000000 to 180000000", true},
          {"name", "N", "name", true},
          {"direction", "D", "-1 every, -2 none, 0..360 a heading, 361..720 both ways (default -1)", false},
          {"category", "C", "category", false},
          {"extra", "X", "extra value", false}}},
        {"delete-camera", "remove a camera for good", false, {kDb, {"id", "I", "camera id", true}}},
        {"mutate", "a mutation of an official camera: new direction and category, or deleted", false,
         {kDb,
          {"id", "I", "camera id", true},
          {"delete", nullptr, "the camera is deleted", false},
          {"direction", "D", "new direction", false},
          {"category", "C", "new category", false}}},
        {"add-alert", "add an alert; prints its id", false,
         {kDb,
          {"text", "T", "the alert's text", true},
          {"language", "L", "language code (default: every language)", false},
          {"from", "YYYYMMDD", "first day shown (default 0)", false},
          {"to", "YYYYMMDD", "last day shown (default 99991231)", false}}},
        {"add-message", "add an information message; prints its id", false,
         {kDb, {"text", "T", "the message", true}, {"language", "L", "language code", false}}},
        {"set-version", "the version the version check offers", false,
         {kDb,
          {"version", "V", "version number, 0 or more", true},
          {"url", "U", "where it is downloaded", true},
          {"message", "M", "the message shown with it", false}}},
        {"set-server-url", "the service address the server-address file names", false,
         {kDb, {"url", "U", "the address", true}}},
        {"prune-changes", "drop change records older than some days; prints how many", false,
         {kDb, {"days", "N", "age in days, 0 or more", true}}},
        {"stats", "counts of users, cameras, mutations, changes, reports and the head revision", false, {kDb}},
    };
    return commands;
}

}  // namespace poidb
