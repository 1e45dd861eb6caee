// Cameras, mutations, alerts, messages and settings: what the administrator changes.
#include "tools/poidb-server/store.h"
#include "tools/poidb-server/text_rules.h"

namespace poidb {

namespace {

bool CameraExists(Database& db, std::int64_t id, bool official_only) {
    Statement* st = db.Prepare(official_only ? "SELECT 1 FROM cameras WHERE id = ?1 AND owner IS NULL"
                                             : "SELECT 1 FROM cameras WHERE id = ?1");
    if (st == nullptr) return false;
    st->Bind(1, id);
    const bool found = st->Step() == SQLITE_ROW;
    st->Reset();
    return found;
}

}  // namespace

bool Store::LogChange(std::int64_t camera_id, char action, std::time_t now) {
    // The logged values are those clients see: a mutation's direction and category win.
    Statement* st = db_.Prepare(
        "INSERT INTO changes (camera_id, owner, action, lat, lon, name, direction, category, extra, at) "
        "SELECT c.id, c.owner, ?2, c.lat, c.lon, c.name, coalesce(m.direction, c.direction), "
        "coalesce(m.category, c.category), c.extra, ?3 "
        "FROM cameras c LEFT JOIN mutations m ON m.camera_id = c.id WHERE c.id = ?1");
    if (st == nullptr) return false;
    st->Bind(1, camera_id).Bind(2, std::string_view(&action, 1)).Bind(3, static_cast<std::int64_t>(now));
    return st->Run() && db_.Changes() == 1;
}

std::optional<std::int64_t> Store::InsertCamera(const CameraInput& camera) {
    Statement* st = db_.Prepare(
        "INSERT INTO cameras (owner, lat, lon, name, direction, category, extra) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    if (st == nullptr) return std::nullopt;
    st->BindOptional(1, camera.owner).Bind(2, camera.latitude).Bind(3, camera.longitude);
    st->Bind(4, CleanName(camera.name)).Bind(5, camera.direction).Bind(6, camera.category).Bind(7, camera.extra);
    if (!st->Run()) return std::nullopt;
    return db_.LastInsertId();
}

std::optional<std::int64_t> Store::AddCamera(const CameraInput& camera, std::time_t now) {
    const auto id = InsertCamera(camera);
    if (!id || !LogChange(*id, 'A', now)) return std::nullopt;
    return id;
}

bool Store::DeleteCamera(std::int64_t id, std::time_t now) {
    if (!CameraExists(db_, id, false) || !LogChange(id, 'D', now)) return false;
    Statement* st = db_.Prepare("DELETE FROM cameras WHERE id = ?1");
    if (st == nullptr) return false;
    st->Bind(1, id);
    return st->Run();
}

bool Store::MutateCamera(std::int64_t id, bool deleted, std::int32_t direction, std::int32_t category, std::time_t now) {
    if (!CameraExists(db_, id, true)) return false;
    Statement* st = db_.Prepare(
        "INSERT INTO mutations (camera_id, deleted, direction, category) VALUES (?1, ?2, ?3, ?4) "
        "ON CONFLICT (camera_id) DO UPDATE SET deleted = ?2, direction = ?3, category = ?4");
    if (st == nullptr) return false;
    st->Bind(1, id).Bind(2, deleted ? 1 : 0).Bind(3, direction).Bind(4, category);
    return st->Run() && LogChange(id, deleted ? 'D' : 'U', now);
}

bool Store::MutatePersonal(std::int64_t id, std::int32_t direction, std::int32_t category, std::time_t now) {
    Statement* st = db_.Prepare("UPDATE cameras SET direction = ?2, category = ?3 WHERE id = ?1");
    if (st == nullptr) return false;
    st->Bind(1, id).Bind(2, direction).Bind(3, category);
    return st->Run() && LogChange(id, 'U', now);
}

std::optional<std::int64_t> Store::AddAlert(const std::string& text, const std::string& language, std::int32_t from,
                                            std::int32_t to) {
    Statement* st = db_.Prepare("INSERT INTO alerts (text, language, valid_from, valid_to) VALUES (?1, ?2, ?3, ?4)");
    if (st == nullptr) return std::nullopt;
    st->Bind(1, CleanText(text, kMaxTextBytes, true)).Bind(2, language).Bind(3, from).Bind(4, to);
    if (!st->Run()) return std::nullopt;
    return db_.LastInsertId();
}

std::optional<std::int64_t> Store::AddMessage(const std::string& text, const std::string& language) {
    Statement* st = db_.Prepare("INSERT INTO messages (text, language) VALUES (?1, ?2)");
    if (st == nullptr) return std::nullopt;
    st->Bind(1, CleanText(text, kMaxTextBytes, true)).Bind(2, language);
    if (!st->Run()) return std::nullopt;
    return db_.LastInsertId();
}

std::optional<TextItem> Store::NextAlert(const AlertQuery& query) {
    // An alert without a language is for everyone.
    Statement* st = db_.Prepare(
        "SELECT id, text FROM alerts WHERE id > ?1 AND valid_from <= ?2 AND valid_to >= ?2 "
        "AND (language = '' OR language = ?3) ORDER BY id LIMIT 1");
    if (st == nullptr) return std::nullopt;
    st->Bind(1, query.last_id).Bind(2, query.date).Bind(3, query.language);
    std::optional<TextItem> alert;
    if (st->Step() == SQLITE_ROW) alert = TextItem{st->Int(0), st->Text(1)};
    st->Reset();
    return alert;
}

std::vector<TextItem> Store::MessagesAfter(const InfoQuery& query, std::size_t limit) {
    std::vector<TextItem> items;
    Statement* st = db_.Prepare(
        "SELECT id, text FROM messages WHERE id > ?1 AND (language = '' OR language = ?2) ORDER BY id LIMIT ?3");
    if (st == nullptr) return items;
    st->Bind(1, query.last_id).Bind(2, query.language).Bind(3, static_cast<std::int64_t>(limit));
    while (st->Step() == SQLITE_ROW) items.push_back(TextItem{st->Int(0), st->Text(1)});
    st->Reset();
    return items;
}

bool Store::SetSetting(const std::string& key, const std::string& value) {
    Statement* st = db_.Prepare("INSERT INTO settings (key, value) VALUES (?1, ?2) ON CONFLICT (key) DO UPDATE SET value = ?2");
    if (st == nullptr) return false;
    st->Bind(1, key).Bind(2, value);
    return st->Run();
}

std::optional<std::string> Store::Setting(const std::string& key) {
    Statement* st = db_.Prepare("SELECT value FROM settings WHERE key = ?1");
    if (st == nullptr) return std::nullopt;
    st->Bind(1, key);
    std::optional<std::string> value;
    if (st->Step() == SQLITE_ROW) value = st->Text(0);
    st->Reset();
    return value;
}

std::optional<VersionInfo> Store::Version() {
    const auto version = Setting("version");
    if (!version) return std::nullopt;
    return VersionInfo{LeadingInteger(*version), Setting("version_url").value_or(""), Setting("version_message").value_or("")};
}

bool Store::SetVersion(const VersionInfo& info) {
    return SetSetting("version", std::to_string(info.version)) &&
           SetSetting("version_url", CleanText(info.url, kMaxTextBytes, false)) &&
           SetSetting("version_message", CleanText(info.message, kMaxTextBytes, true));
}

}  // namespace poidb
