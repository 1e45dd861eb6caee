#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "tools/poidb-server/sqlite_db.h"

namespace poidb {

enum class ListKind { kMutations, kOfficial, kPersonal, kChanges };

// What one list reply holds. Records are read page by page in key order, each page with a
// fresh query after the last key sent, so a list of any length streams in bounded memory and
// holds no read transaction open between pages.
struct ListQuery {
    ListKind kind = ListKind::kOfficial;
    std::int64_t user_id = 0;      // personal list and changes: whose
    std::int64_t after_rev = 0;    // changes: the first revision not to send
    std::int64_t through_rev = 0;  // changes: the last revision to send
};

// The text before the first record and after the last one.
std::string_view ListPrefix(ListKind kind);
std::string_view ListTrailer(ListKind kind);

// Appends up to `max_rows` records after `cursor` to `out` and moves the cursor past them.
// Gives the number of records appended, or -1 when the database failed.
int AppendListPage(Database& db, const ListQuery& query, std::int64_t& cursor, std::string& out, int max_rows);

}  // namespace poidb
