#include "service/mutation_filter.h"

namespace service {

MutationFilter::MutationFilter(const std::vector<CameraRecord>& mutations) : mutations_(mutations) {
    byPosition_.Build(mutations.size(), [&](std::size_t i) { return PositionKey(mutations[i]); });
}

bool MutationFilter::Apply(CameraRecord& official) const {
    const std::uint32_t m = byPosition_.First(PositionKey(official));
    if (m == platform::KeyChainIndex::kNone) return true;
    const CameraRecord& mutation = mutations_[m];
    if (mutation.flag != 1) return false;
    official.direction = mutation.direction;
    official.category = mutation.category;
    return true;
}

}  // namespace service
