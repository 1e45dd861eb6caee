// Users, revisions and uploads: the part of the store a synchronisation touches.
#include <string_view>

#include "tools/poidb-server/store.h"
#include "tools/poidb-server/text_rules.h"

namespace poidb {

namespace {

constexpr std::string_view kPersonalDefaultName = "Personal camera";
// Positions are compared at the client's resolution of ten millionths of a degree.
constexpr std::int32_t kMatchTolerance = 9;

struct MatchedCamera {
    std::int64_t id = 0;
    std::optional<std::int64_t> owner;
};

std::optional<MatchedCamera> MatchCamera(Database& db, std::int64_t user_id, const ChangeLine& line) {
    // Left to itself the planner answers the owner test from the owner index, and "owner IS
    // NULL" is every official camera: a scan of the table per line, under the write lock.
    Statement* st = db.Prepare(
        "SELECT id, owner FROM cameras INDEXED BY cameras_by_position WHERE lat BETWEEN ?1 - ?4 AND ?1 + ?4 AND lon BETWEEN ?2 - ?4 AND ?2 + ?4 "
        "AND (owner IS NULL OR owner = ?3) "
        "ORDER BY owner IS NULL, abs(lat - ?1) + abs(lon - ?2), id LIMIT 1");
    if (st == nullptr) return std::nullopt;
    st->Bind(1, line.latitude).Bind(2, line.longitude).Bind(3, user_id).Bind(4, kMatchTolerance);
    std::optional<MatchedCamera> found;
    if (st->Step() == SQLITE_ROW) {
        found = MatchedCamera{st->Int(0), st->IsNull(1) ? std::nullopt : std::optional<std::int64_t>(st->Int(1))};
    }
    st->Reset();
    return found;
}

bool HasPersonalAt(Database& db, std::int64_t user_id, const ChangeLine& line) {
    Statement* st = db.Prepare("SELECT 1 FROM cameras WHERE lat = ?1 AND lon = ?2 AND owner = ?3 LIMIT 1");
    if (st == nullptr) return false;
    st->Bind(1, line.latitude).Bind(2, line.longitude).Bind(3, user_id);
    const bool found = st->Step() == SQLITE_ROW;
    st->Reset();
    return found;
}

bool InsertReport(Database& db, std::int64_t user_id, const ChangeLine& line, const std::optional<MatchedCamera>& match,
                  std::time_t now) {
    Statement* st = db.Prepare(
        "INSERT INTO reports (user_id, action, camera_id, lat, lon, text, direction, category, extra, at) "
        "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
    if (st == nullptr) return false;
    st->Bind(1, user_id).Bind(2, std::string_view(&line.action, 1));
    st->BindOptional(3, match ? std::optional<std::int64_t>(match->id) : std::nullopt);
    st->Bind(4, line.latitude).Bind(5, line.longitude).Bind(6, line.text);
    st->Bind(7, line.direction).Bind(8, line.category).Bind(9, line.extra).Bind(10, static_cast<std::int64_t>(now));
    return st->Run();
}

std::string PersonalName(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return std::string(kPersonalDefaultName);
    return text.substr(first);
}

}  // namespace

std::optional<User> Store::FindUser(const Credentials& who) {
    Statement* st = db_.Prepare("SELECT id FROM users WHERE name = ?1 AND serial = ?2 AND email = ?3");
    if (st == nullptr) return std::nullopt;
    st->Bind(1, who.name).Bind(2, who.serial).Bind(3, who.email);
    const std::int64_t id = st->Step() == SQLITE_ROW ? st->Int(0) : -1;
    st->Reset();
    if (id < 0) return std::nullopt;
    return UserById(id);
}

std::optional<std::int64_t> Store::AddUser(const std::string& name, const std::string& serial, const std::string& email) {
    // Users are found by the exact values the client sends, so nothing is cleaned here; values a
    // logon could never carry are refused instead.
    for (const auto* value : {&name, &serial, &email}) {
        if (value->empty() || value->size() > kMaxCredentialBytes || value->find('\0') != std::string::npos) {
            return std::nullopt;
        }
    }
    if (serial.find(',') != std::string::npos || email.find(',') != std::string::npos) return std::nullopt;
    Statement* st = db_.Prepare("INSERT INTO users (name, serial, email) VALUES (?1, ?2, ?3)");
    if (st == nullptr) return std::nullopt;
    st->Bind(1, name).Bind(2, serial).Bind(3, email);
    if (!st->Run()) return std::nullopt;
    return db_.LastInsertId();
}

std::int64_t Store::HeadRevision() {
    Statement* st = db_.Prepare("SELECT seq FROM sqlite_sequence WHERE name = 'changes'");
    std::int64_t head = 0;
    if (st != nullptr && st->Step() == SQLITE_ROW) head = st->Int(0);
    if (st != nullptr) st->Reset();
    return head;
}

bool Store::NeedsFullRetrieval(const User& user, std::time_t now) {
    if (!user.synced_rev || !user.synced_at) return true;
    if (now - *user.synced_at > kReplayDays * kSecondsPerDay) return true;
    const auto pruned = Setting("pruned_rev");
    return pruned && *user.synced_rev < LeadingInteger(*pruned);
}

std::int64_t Store::CountChangesSince(std::int64_t user_id, std::int64_t rev) {
    Statement* st = db_.Prepare("SELECT count(*) FROM changes WHERE rev > ?1 AND (owner IS NULL OR owner = ?2)");
    if (st == nullptr) return 0;
    st->Bind(1, rev).Bind(2, user_id);
    const std::int64_t count = st->Step() == SQLITE_ROW ? st->Int(0) : 0;
    st->Reset();
    return count;
}

std::optional<User> Store::UserById(std::int64_t user_id) {
    Statement* st = db_.Prepare("SELECT id, synced_rev, synced_at FROM users WHERE id = ?1");
    if (st == nullptr) return std::nullopt;
    st->Bind(1, user_id);
    std::optional<User> user;
    if (st->Step() == SQLITE_ROW) {
        user = User{st->Int(0), st->IsNull(1) ? std::nullopt : std::optional<std::int64_t>(st->Int(1)),
                    st->IsNull(2) ? std::nullopt : std::optional<std::int64_t>(st->Int(2))};
    }
    st->Reset();
    return user;
}

bool Store::UndoMarkSynced(const User& before, std::int64_t marked_rev) {
    Statement* st = db_.Prepare("UPDATE users SET synced_rev = ?2, synced_at = ?3 WHERE id = ?1 AND synced_rev = ?4");
    if (st == nullptr) return false;
    st->Bind(1, before.id).BindOptional(2, before.synced_rev).BindOptional(3, before.synced_at).Bind(4, marked_rev);
    return st->Run();
}

bool Store::MarkSynced(std::int64_t user_id, std::int64_t rev, std::time_t now) {
    Statement* st = db_.Prepare("UPDATE users SET synced_rev = ?2, synced_at = ?3 WHERE id = ?1");
    if (st == nullptr) return false;
    st->Bind(1, user_id).Bind(2, rev).Bind(3, static_cast<std::int64_t>(now));
    return st->Run();
}

std::optional<UploadResult> Store::StoreUpload(std::int64_t user_id, const std::vector<ChangeLine>& lines, std::time_t now) {
    WriteTransaction tx(db_);
    if (!tx.ok()) return std::nullopt;
    UploadResult result;
    for (const ChangeLine& line : lines) {
        std::optional<MatchedCamera> match;
        if (line.action == 'A') {
            if (!HasPersonalAt(db_, user_id, line)) {
                CameraInput camera{line.latitude, line.longitude, PersonalName(line.text), line.direction,
                                   line.category, line.extra, user_id};
                const auto id = AddCamera(camera, now);
                if (!id) return std::nullopt;
                match = MatchedCamera{*id, user_id};
                ++result.stored;
            }
        } else {
            match = MatchCamera(db_, user_id, line);
            // A user's report on a personal camera of their own is applied at once; reports on
            // official cameras wait for the service's editors.
            if (match && match->owner == user_id) {
                const bool applied = line.action == 'D'
                                         ? DeleteCamera(match->id, now)
                                         : MutatePersonal(match->id, line.direction, line.category, now);
                if (!applied) return std::nullopt;
            }
        }
        if (!InsertReport(db_, user_id, line, match, now)) return std::nullopt;
        ++result.accepted;
    }
    if (!tx.Commit()) return std::nullopt;
    return result;
}

std::int64_t Store::PruneChanges(std::time_t before) {
    WriteTransaction tx(db_);
    if (!tx.ok()) return -1;
    Statement* last = db_.Prepare("SELECT max(rev) FROM changes WHERE at <= ?1");
    if (last == nullptr) return -1;
    last->Bind(1, static_cast<std::int64_t>(before));
    const bool any = last->Step() == SQLITE_ROW && !last->IsNull(0);
    const std::int64_t through = any ? last->Int(0) : 0;
    last->Reset();
    if (!any) return 0;
    Statement* drop = db_.Prepare("DELETE FROM changes WHERE rev <= ?1");
    if (drop == nullptr) return -1;
    drop->Bind(1, through);
    if (!drop->Run()) return -1;
    const std::int64_t dropped = db_.Changes();
    if (!SetSetting("pruned_rev", std::to_string(through)) || !tx.Commit()) return -1;
    return dropped;
}

}  // namespace poidb
