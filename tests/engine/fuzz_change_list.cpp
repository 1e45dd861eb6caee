// Arbitrary personal-updates bytes through the reader, the duplicate test and the change list:
// the indexed look-ups must agree with plain scans, every record with a known action must give
// exactly one line, and every split must give back every line once, in order, within the limit.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/change_list.h"
#include "literal_engine.h"

namespace {

std::size_t Lines(const std::string& text) {
    std::size_t n = 0;
    for (char c : text) n += c == '\n' ? 1 : 0;
    return n;
}

// The records double as the cache, so that positions and radii are met.
std::vector<service::CameraRecord> CacheOf(const std::vector<engine::ChangeRecord>& records) {
    std::vector<service::CameraRecord> cache;
    for (const engine::ChangeRecord& r : records) {
        // Moved by up to 500 micro-degrees, wrapping at the ends of the 32-bit range.
        const auto moved = static_cast<std::uint32_t>(r.latitude) + static_cast<std::uint32_t>(r.extra % 500);
        cache.push_back(sample::Cached(static_cast<std::int32_t>(moved), r.longitude, r.category, r.action));
    }
    return cache;
}

void CheckSplit(const std::string& list, std::size_t limit) {
    std::vector<std::string> parts;
    if (!engine::SplitChangeList(list, parts, limit)) {
        if (limit > 100) std::abort();  // lines are at most 70 bytes
        return;
    }
    std::string rejoined(engine::kChangeListHeader);
    for (const std::string& part : parts) {
        if (part.size() + 1 > limit || part.compare(0, 16, engine::kChangeListHeader) != 0) std::abort();
        if (part.size() == 16 || part.back() != '\n') std::abort();
        rejoined += part.substr(16);
    }
    if (rejoined != list) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<engine::ChangeRecord> records = engine::ParseChangeRecords(data, size);
    if (records.size() != size / 80) std::abort();
    const std::vector<service::CameraRecord> cache = CacheOf(records);
    const engine::CachedCameraIndex index(cache);
    std::size_t lines = 0;
    for (const engine::ChangeRecord& r : records) {
        const auto got = engine::FindCachedCamera(index, r.latitude, r.longitude);
        const auto expected = literal::FindCachedCamera(cache, r.latitude, r.longitude);
        if (got.has_value() != expected.has_value()) std::abort();
        if (got && (got->latitude != expected->latitude || got->category != expected->category)) std::abort();
        if (engine::IsNearExistingCamera(index, r) != literal::IsNearExistingCamera(cache, r)) std::abort();
        lines += r.action >= 0 && r.action <= 2 ? 1 : 0;
    }
    const std::string list = engine::BuildChangeList(records, index);
    if (Lines(list) != lines + 1) std::abort();
    CheckSplit(list, engine::kChangeListPartLimit);
    CheckSplit(list, 17 + 70 + (size > 0 ? data[0] % 200U : 0U));
    return 0;
}
