#include "tools/poidb-server/schema.h"

namespace poidb {

namespace {

// owner NULL marks an official camera; otherwise the user whose personal camera it is.
// Every change a client must replay is a row of `changes`, carrying the camera's values as
// clients should see them after the change; its rev is the revision number.
// list_state.official_version counts every write to an official camera, by this service or any
// other program on the file, so a reply rendered from the official cameras can be kept exactly
// as long as the count stays the same.
constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS users (
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL,
  serial TEXT NOT NULL,
  email TEXT NOT NULL COLLATE NOCASE,
  synced_rev INTEGER,
  synced_at INTEGER,
  UNIQUE (name, serial, email)
);
CREATE TABLE IF NOT EXISTS cameras (
  id INTEGER PRIMARY KEY,
  owner INTEGER REFERENCES users(id) ON DELETE CASCADE,
  lat INTEGER NOT NULL,
  lon INTEGER NOT NULL,
  name TEXT NOT NULL,
  direction INTEGER NOT NULL,
  category INTEGER NOT NULL,
  extra INTEGER NOT NULL
);
CREATE INDEX IF NOT EXISTS cameras_by_owner ON cameras (owner, id);
CREATE INDEX IF NOT EXISTS cameras_by_position ON cameras (lat, lon);
CREATE TABLE IF NOT EXISTS mutations (
  camera_id INTEGER PRIMARY KEY REFERENCES cameras(id) ON DELETE CASCADE,
  deleted INTEGER NOT NULL,
  direction INTEGER NOT NULL,
  category INTEGER NOT NULL
);
CREATE TABLE IF NOT EXISTS changes (
  rev INTEGER PRIMARY KEY AUTOINCREMENT,
  camera_id INTEGER NOT NULL,
  owner INTEGER,
  action TEXT NOT NULL,
  lat INTEGER NOT NULL,
  lon INTEGER NOT NULL,
  name TEXT NOT NULL,
  direction INTEGER NOT NULL,
  category INTEGER NOT NULL,
  extra INTEGER NOT NULL,
  at INTEGER NOT NULL
);
CREATE TABLE IF NOT EXISTS reports (
  id INTEGER PRIMARY KEY,
  user_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,
  action TEXT NOT NULL,
  camera_id INTEGER,
  lat INTEGER NOT NULL,
  lon INTEGER NOT NULL,
  text TEXT NOT NULL,
  direction INTEGER NOT NULL,
  category INTEGER NOT NULL,
  extra INTEGER NOT NULL,
  at INTEGER NOT NULL
);
CREATE TABLE IF NOT EXISTS alerts (
  id INTEGER PRIMARY KEY,
  text TEXT NOT NULL,
  language TEXT NOT NULL DEFAULT '',
  valid_from INTEGER NOT NULL DEFAULT 0,
  valid_to INTEGER NOT NULL DEFAULT 99991231
);
CREATE TABLE IF NOT EXISTS messages (
  id INTEGER PRIMARY KEY,
  text TEXT NOT NULL,
  language TEXT NOT NULL DEFAULT ''
);
CREATE TABLE IF NOT EXISTS settings (
  key TEXT PRIMARY KEY,
  value TEXT NOT NULL
);
CREATE TABLE IF NOT EXISTS list_state (
  id INTEGER PRIMARY KEY CHECK (id = 1),
  official_version INTEGER NOT NULL
);
)sql";

constexpr const char* kBumpOfficialVersion =
    "INSERT INTO list_state (id, official_version) VALUES (1, 1) "
    "ON CONFLICT (id) DO UPDATE SET official_version = official_version + 1";

constexpr const char* kOfficialTriggers = R"sql(
CREATE TRIGGER IF NOT EXISTS official_added AFTER INSERT ON cameras WHEN NEW.owner IS NULL BEGIN
  INSERT INTO list_state (id, official_version) VALUES (1, 1)
    ON CONFLICT (id) DO UPDATE SET official_version = official_version + 1;
END;
CREATE TRIGGER IF NOT EXISTS official_changed AFTER UPDATE ON cameras
WHEN OLD.owner IS NULL OR NEW.owner IS NULL BEGIN
  INSERT INTO list_state (id, official_version) VALUES (1, 1)
    ON CONFLICT (id) DO UPDATE SET official_version = official_version + 1;
END;
CREATE TRIGGER IF NOT EXISTS official_removed AFTER DELETE ON cameras WHEN OLD.owner IS NULL BEGIN
  INSERT INTO list_state (id, official_version) VALUES (1, 1)
    ON CONFLICT (id) DO UPDATE SET official_version = official_version + 1;
END;
)sql";

}  // namespace

bool SuspendOfficialCount(Database& db) {
    return db.Exec("DROP TRIGGER IF EXISTS official_added; DROP TRIGGER IF EXISTS official_changed; "
                   "DROP TRIGGER IF EXISTS official_removed");
}

bool ResumeOfficialCount(Database& db) { return db.Exec(kOfficialTriggers) && db.Exec(kBumpOfficialVersion); }

bool OpenStore(Database& db, const std::string& path, bool create, std::string& error) {
    if (!db.Open(path, create, error)) return false;
    if (!db.Exec(kSchema) || !db.Exec(kOfficialTriggers)) {
        error = db.LastError();
        return false;
    }
    return true;
}

}  // namespace poidb
