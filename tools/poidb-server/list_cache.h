#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tools/poidb-server/list_stream.h"
#include "tools/poidb-server/sqlite_db.h"

namespace poidb {

// A whole list reply held in memory: prefix, records and trailer, in blocks of about equal
// size that are never copied again.
struct RenderedList {
    std::vector<std::string> blocks;
    std::size_t bytes = 0;
};

// Reads every record of the list within one read transaction; nullptr when the database failed.
std::shared_ptr<const RenderedList> RenderList(Database& db, const ListQuery& query);

// The official list is the same for every user and by far the longest reply, and it changes
// only when an administrator changes official cameras. It is rendered once for each state of
// the official cameras (list_state.official_version) and shared by every request while that
// state lasts, so a retrieval costs what sending the bytes costs. A request holds its own
// reference: a new rendering never disturbs one being sent.
class OfficialListCache {
public:
    // The reply for the state the database is in now; nullptr when the database failed.
    std::shared_ptr<const RenderedList> Current(Database& db);

private:
    std::mutex mutex_;  // one rendering at a time; the requests that wait then share it
    std::int64_t version_ = -1;
    std::shared_ptr<const RenderedList> list_;
};

}  // namespace poidb
