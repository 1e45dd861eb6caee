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
    const auto begin = (reinterpret_cast<std::uintptr_t>(data) + kHugePage - 1) & ~(kHugePage - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(kHugePage - 1);
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

}  // namespace platform
