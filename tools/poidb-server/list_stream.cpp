#include "tools/poidb-server/list_stream.h"

#include <charconv>

namespace poidb {

namespace {

// Official cameras are most of the table, so they are read in rowid order directly; the
// owner index would cost one table lookup per row.
constexpr const char* kOfficialPage =
    "SELECT id, lat, lon, name, direction, category, extra FROM cameras "
    "WHERE id > ?1 AND +owner IS NULL ORDER BY id LIMIT ?2";
constexpr const char* kPersonalPage =
    "SELECT id, lat, lon, name, direction, category, extra FROM cameras "
    "WHERE owner = ?3 AND id > ?1 ORDER BY id LIMIT ?2";
constexpr const char* kMutationPage =
    "SELECT c.id, c.lat, c.lon, c.name, m.direction, m.category, c.extra, m.deleted "
    "FROM mutations m JOIN cameras c ON c.id = m.camera_id WHERE m.camera_id > ?1 ORDER BY m.camera_id LIMIT ?2";
constexpr const char* kChangePage =
    "SELECT rev, camera_id, lat, lon, name, direction, category, extra, action, owner IS NULL FROM changes "
    "WHERE rev > ?1 AND rev <= ?4 AND (owner IS NULL OR owner = ?3) ORDER BY rev LIMIT ?2";

// Room for three 64-bit numbers, each with its "|".
constexpr std::size_t kPieceBytes = std::size_t{3} * 21;

char* PutNumber(char* at, std::int64_t value) {
    at = std::to_chars(at, at + 20, value).ptr;
    *at++ = '|';
    return at;
}

// Fields 0 to 6 of a camera record, each ended by "|", from columns first..first+6. The
// numbers on either side of the name are written into one piece each, so a record costs three
// appends to `out`.
void AppendCameraFields(std::string& out, const Statement& st, int first) {
    char piece[kPieceBytes];
    char* at = piece;
    for (int i = 0; i < 3; ++i) at = PutNumber(at, st.Int(first + i));
    out.append(piece, at);
    out.append(st.TextView(first + 3));
    out.push_back('|');
    at = piece;
    for (int i = 4; i < 7; ++i) at = PutNumber(at, st.Int(first + i));
    out.append(piece, at);
}

void AppendRecord(std::string& out, ListKind kind, const Statement& st) {
    switch (kind) {
        case ListKind::kOfficial:
            AppendCameraFields(out, st, 0);
            out.append("1#\n");
            break;
        case ListKind::kPersonal:
            AppendCameraFields(out, st, 0);
            out.append("0#\n");
            break;
        case ListKind::kMutations:
            AppendCameraFields(out, st, 0);
            out.append(st.Int(7) != 0 ? "DT#\n" : "CH#\n");
            break;
        case ListKind::kChanges:
            AppendCameraFields(out, st, 1);
            out.append(st.TextView(8));
            out.push_back('|');
            out.append(st.Int(9) != 0 ? "1#\n" : "0#\n");
            break;
    }
}

const char* PageSql(ListKind kind) {
    switch (kind) {
        case ListKind::kOfficial: return kOfficialPage;
        case ListKind::kPersonal: return kPersonalPage;
        case ListKind::kMutations: return kMutationPage;
        case ListKind::kChanges: return kChangePage;
    }
    return kOfficialPage;
}

}  // namespace

std::string_view ListPrefix(ListKind kind) {
    switch (kind) {
        case ListKind::kMutations: return "MUT:";
        case ListKind::kOfficial: return "OFF:";
        case ListKind::kPersonal: return "PER:";
        case ListKind::kChanges: return "";
    }
    return "";
}

std::string_view ListTrailer(ListKind kind) { return kind == ListKind::kChanges ? "" : "OK:"; }

int AppendListPage(Database& db, const ListQuery& query, std::int64_t& cursor, std::string& out, int max_rows) {
    Statement* st = db.Prepare(PageSql(query.kind));
    if (st == nullptr) return -1;
    st->Bind(1, cursor).Bind(2, max_rows);
    if (query.kind == ListKind::kPersonal || query.kind == ListKind::kChanges) st->Bind(3, query.user_id);
    if (query.kind == ListKind::kChanges) st->Bind(4, query.through_rev);
    int rows = 0;
    int rc = SQLITE_ROW;
    while ((rc = st->Step()) == SQLITE_ROW) {
        AppendRecord(out, query.kind, *st);
        cursor = st->Int(0);
        ++rows;
    }
    st->Reset();
    return rc == SQLITE_DONE ? rows : -1;
}

}  // namespace poidb
