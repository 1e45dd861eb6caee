#include "platform/large_memory.h"

#include <cstdint>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace platform {

void AdviseLargePages(void* data, std::size_t bytes) {
#ifdef __linux__
    // Below a few huge pages the advice gains nothing worth a system call.
    constexpr std::uintptr_t kHugePage = std::uintptr_t{1} << 21;
    if (data == nullptr || bytes < 4 * kHugePage) return;
    // Whole huge pages inside the block, found by offsets from its start.
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t skip = (kHugePage - start % kHugePage) % kHugePage;
    if (bytes <= skip) return;
    const std::size_t whole = (bytes - skip) / kHugePage * kHugePage;
    if (whole > 0) madvise(static_cast<char*>(data) + skip, whole, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

}  // namespace platform
