#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "engine/cached_camera_index.h"
#include "engine/change_record.h"

namespace engine {

inline constexpr std::string_view kChangeListHeader = "VyoSync Updates\n";
// The service takes a change list of at most this many bytes, its terminating zero included.
inline constexpr std::size_t kChangeListPartLimit = 100000;

// The text to upload: the header line, then one line per added (A), deleted (D) or updated (U)
// camera in file order; skipped and unknown actions give no line. Update and delete lines take
// the position (and a delete its category) from the cached camera at the reported position.
// The text has no size limit: no change is ever dropped here.
std::string BuildChangeList(const std::vector<ChangeRecord>& records, const CachedCameraIndex& cache);

// True when the text is the header line alone: there is nothing to upload.
bool ChangeListHoldsNoChange(std::string_view changeList);

// Splits a change list into complete change lists (the header line, then whole lines in their
// order) of at most partLimit bytes each with a terminating zero, every line in exactly one part.
// A list holding no change gives no parts. False, with no parts, when the text does not begin
// with the header, does not end with a line feed, or holds a line too long for any part.
bool SplitChangeList(std::string_view changeList, std::vector<std::string>& parts,
                     std::size_t partLimit = kChangeListPartLimit);

}  // namespace engine
