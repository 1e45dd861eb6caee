#include "engine/change_list.h"

#include <cstdio>

namespace engine {

namespace {

// Wide enough for the longest line: a letter, six 32-bit numbers, "Nothing" and separators.
constexpr std::size_t kLineCapacity = 96;

void AppendLine(std::string& text, const char* format, std::int32_t latitude, std::int32_t longitude,
                const char* name, std::int32_t direction, std::int32_t category, std::int32_t extra) {
    char line[kLineCapacity];
    const int length = std::snprintf(line, sizeof line, format, latitude, longitude, name, direction,
                                     category, extra);
    if (length > 0) text.append(line, static_cast<std::size_t>(length));
}

void AppendAdd(std::string& text, const ChangeRecord& r) {
    AppendLine(text, "A;%d;%d;%s;%d;%d;%d\n", r.latitude, r.longitude, " ", r.direction, r.category, r.extra);
}

void AppendUpdate(std::string& text, const ChangeRecord& r, const CachedCameraIndex& cache) {
    const auto known = FindCachedCamera(cache, r.latitude, r.longitude);
    const std::int32_t latitude = known ? known->latitude : r.latitude;
    const std::int32_t longitude = known ? known->longitude : r.longitude;
    AppendLine(text, "U;%d;%d;%s;%d;%d;%d\n", latitude, longitude, " ", r.direction, r.category, 0);
}

void AppendDelete(std::string& text, const ChangeRecord& r, const CachedCameraIndex& cache) {
    const auto known = FindCachedCamera(cache, r.latitude, r.longitude);
    const CachedCamera from = known ? *known : CachedCamera{r.latitude, r.longitude, r.category};
    AppendLine(text, "D;%d;%d;%s;%d;%d;%d\n", from.latitude, from.longitude, "Nothing", 0, from.category, 0);
}

}  // namespace

std::string BuildChangeList(const std::vector<ChangeRecord>& records, const CachedCameraIndex& cache) {
    std::string text(kChangeListHeader);
    for (const ChangeRecord& r : records) {
        switch (r.action) {
            case ChangeAction::kAdd: AppendAdd(text, r); break;
            case ChangeAction::kUpdate: AppendUpdate(text, r, cache); break;
            case ChangeAction::kDelete: AppendDelete(text, r, cache); break;
            default: break;  // skipped duplicates and actions this tool does not know
        }
    }
    return text;
}

bool ChangeListHoldsNoChange(std::string_view changeList) { return changeList == kChangeListHeader; }

bool SplitChangeList(std::string_view changeList, std::vector<std::string>& parts, std::size_t partLimit) {
    parts.clear();
    if (changeList.substr(0, kChangeListHeader.size()) != kChangeListHeader) return false;
    std::string_view lines = changeList.substr(kChangeListHeader.size());
    if (!lines.empty() && lines.back() != '\n') return false;
    // Room for the lines of one part: the limit less the header and the terminating zero.
    if (partLimit <= kChangeListHeader.size() + 1) return lines.empty();
    const std::size_t room = partLimit - kChangeListHeader.size() - 1;
    std::vector<std::string> out;
    while (!lines.empty()) {
        std::size_t take = 0;
        while (take < lines.size()) {
            const std::size_t end = lines.find('\n', take) + 1;  // every line ends with one
            if (end > room) break;
            take = end;
        }
        if (take == 0) return false;  // a single line longer than a part can hold
        out.emplace_back(kChangeListHeader).append(lines.substr(0, take));
        lines.remove_prefix(take);
    }
    parts = std::move(out);
    return true;
}

}  // namespace engine
