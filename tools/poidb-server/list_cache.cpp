#include "tools/poidb-server/list_cache.h"

#include <optional>

namespace poidb {

namespace {

constexpr int kRowsPerBlock = 4000;

std::optional<std::int64_t> OfficialVersion(Database& db) {
    Statement* st = db.Prepare("SELECT coalesce((SELECT official_version FROM list_state WHERE id = 1), 0)");
    if (st == nullptr || st->Step() != SQLITE_ROW) return std::nullopt;
    const std::int64_t version = st->Int(0);
    st->Reset();
    return version;
}

}  // namespace

std::shared_ptr<const RenderedList> RenderList(Database& db, const ListQuery& query) {
    auto list = std::make_shared<RenderedList>();
    std::int64_t cursor = query.after_rev;
    std::string block(ListPrefix(query.kind));
    for (;;) {
        const int rows = AppendListPage(db, query, cursor, block, kRowsPerBlock);
        if (rows < 0) return nullptr;
        if (rows == 0) break;
        list->bytes += block.size();
        const std::size_t room = block.size();
        list->blocks.push_back(std::move(block));
        block.clear();
        block.reserve(room + room / 8);
    }
    block.append(ListTrailer(query.kind));
    list->bytes += block.size();
    list->blocks.push_back(std::move(block));
    return list;
}

std::shared_ptr<const RenderedList> OfficialListCache::Current(Database& db) {
    std::lock_guard lock(mutex_);
    // The version and the records come from one state of the file.
    ReadTransaction read(db);
    const auto version = read.ok() ? OfficialVersion(db) : std::nullopt;
    if (!version) return nullptr;
    if (*version != version_ || list_ == nullptr) {
        // Freed first, when no request holds it, so two renderings never weigh on memory at once.
        list_.reset();
        auto list = RenderList(db, ListQuery{ListKind::kOfficial, 0, 0, 0});
        if (list == nullptr) return nullptr;
        list_ = std::move(list);
        version_ = *version;
    }
    return list_;
}

}  // namespace poidb
