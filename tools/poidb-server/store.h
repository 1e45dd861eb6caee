#pragma once
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "tools/poidb-server/change_list.h"
#include "tools/poidb-server/request_bodies.h"
#include "tools/poidb-server/sqlite_db.h"

namespace poidb {

// A user whose last synchronisation is older than this must retrieve everything again.
inline constexpr std::int64_t kReplayDays = 90;
inline constexpr std::int64_t kSecondsPerDay = 86400;

struct User {
    std::int64_t id = 0;
    std::optional<std::int64_t> synced_rev;  // revision the user's cache reflects
    std::optional<std::int64_t> synced_at;   // when that was (seconds since the epoch)
};

struct CameraInput {
    std::int32_t latitude = 0;
    std::int32_t longitude = 0;
    std::string name;
    std::int32_t direction = -1;
    std::int32_t category = 1;
    std::int32_t extra = 0;
    std::optional<std::int64_t> owner;  // a user's personal camera, else official
};

struct UploadResult {
    std::int64_t stored = 0;    // new personal cameras
    std::int64_t accepted = 0;  // lines kept as reports
};

struct TextItem {
    std::int64_t id = 0;
    std::string text;
};

struct VersionInfo {
    std::int64_t version = 0;
    std::string url;
    std::string message;
};

// Operations on one connection. Every change to a camera that clients hold is written to the
// change log together with the change; callers that make several changes wrap them in one
// WriteTransaction (the upload does so itself).
class Store {
public:
    explicit Store(Database& db) : db_(db) {}

    // ---- users and synchronisation state (store_sync.cpp)
    std::optional<User> FindUser(const Credentials& who);
    // The new user's id, or nothing when such a user exists or the values are unusable.
    std::optional<std::int64_t> AddUser(const std::string& name, const std::string& serial, const std::string& email);
    std::int64_t HeadRevision();
    // No synchronisation yet, one older than kReplayDays, or one whose changes were pruned.
    bool NeedsFullRetrieval(const User& user, std::time_t now);
    // Changes waiting for the user: official ones and the user's own personal ones.
    std::int64_t CountChangesSince(std::int64_t user_id, std::int64_t rev);
    std::optional<User> UserById(std::int64_t user_id);
    bool MarkSynced(std::int64_t user_id, std::int64_t rev, std::time_t now);
    // Puts back the state `before` a MarkSynced to `marked_rev`, unless the user has moved on.
    bool UndoMarkSynced(const User& before, std::int64_t marked_rev);
    std::optional<UploadResult> StoreUpload(std::int64_t user_id, const std::vector<ChangeLine>& lines, std::time_t now);
    // Drops change-log rows made at or before `before`; users synchronised before them must retrieve
    // everything again. Gives the number of rows dropped.
    std::int64_t PruneChanges(std::time_t before);

    // ---- administration (store.cpp)
    std::optional<std::int64_t> AddCamera(const CameraInput& camera, std::time_t now);
    bool DeleteCamera(std::int64_t id, std::time_t now);
    // Changes the direction and category of an official camera as clients see it, or deletes
    // it for them ("DT" in the mutation list).
    bool MutateCamera(std::int64_t id, bool deleted, std::int32_t direction, std::int32_t category, std::time_t now);
    std::optional<std::int64_t> AddAlert(const std::string& text, const std::string& language, std::int32_t from, std::int32_t to);
    std::optional<std::int64_t> AddMessage(const std::string& text, const std::string& language);
    std::optional<TextItem> NextAlert(const AlertQuery& query);
    std::vector<TextItem> MessagesAfter(const InfoQuery& query, std::size_t limit);
    bool SetSetting(const std::string& key, const std::string& value);
    std::optional<std::string> Setting(const std::string& key);
    std::optional<VersionInfo> Version();
    bool SetVersion(const VersionInfo& info);

    Database& db() { return db_; }

private:
    bool MutatePersonal(std::int64_t id, std::int32_t direction, std::int32_t category, std::time_t now);
    bool LogChange(std::int64_t camera_id, char action, std::time_t now);
    std::optional<std::int64_t> InsertCamera(const CameraInput& camera);

    Database& db_;
};

}  // namespace poidb
