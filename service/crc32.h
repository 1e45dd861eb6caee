#pragma once
#include <cstddef>
#include <cstdint>

namespace service {

// CRC-32 (IEEE 802.3, reflected, as zlib's crc32); start with 0 and feed the bytes in order, in
// pieces of any size. Where the processor multiplies without carries, long inputs are folded 64
// bytes a step; the value is the same either way.
std::uint32_t Crc32(std::uint32_t crc, const void* data, std::size_t size);

// The same computed a table step per eight bytes on every processor, for comparison.
std::uint32_t Crc32ByTable(std::uint32_t crc, const void* data, std::size_t size);

}  // namespace service
