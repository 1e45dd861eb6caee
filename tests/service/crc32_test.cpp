// The folded CRC-32 against a bit-at-a-time reference and the table form: known values, every
// length around the folding's 16- and 64-byte steps, unaligned starts and inputs fed in pieces.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "service/crc32.h"

namespace {

std::uint32_t BitByBit(const unsigned char* p, std::size_t size) {
    std::uint32_t crc = 0xffffffffU;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k) crc = (crc & 1U) != 0 ? (crc >> 1U) ^ 0xEDB88320U : crc >> 1U;
    }
    return ~crc;
}

TEST(Crc32, KnownValues) {
    const struct {
        std::string text;
        std::uint32_t crc;
    } cases[] = {
        {"", 0},
        {"123456789", 0xCBF43926U},
        {"The quick brown fox jumps over the lazy dog", 0x414FA339U},
        {std::string(32, '\0'), 0x190A55ADU},
        {std::string(4096, 'a'), BitByBit(reinterpret_cast<const unsigned char*>(std::string(4096, 'a').data()), 4096)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(service::Crc32(0, c.text.data(), c.text.size()), c.crc) << c.text.size();
        EXPECT_EQ(service::Crc32ByTable(0, c.text.data(), c.text.size()), c.crc) << c.text.size();
    }
}

TEST(Crc32, FoldedEqualsReferenceAtEveryLengthAndStart) {
    std::mt19937 rng(11);
    std::vector<unsigned char> bytes(70000);
    for (auto& b : bytes) b = static_cast<unsigned char>(rng());
    std::vector<std::size_t> lengths;
    for (std::size_t n = 0; n <= 300; ++n) lengths.push_back(n);
    for (const std::size_t n : {1023U, 1024U, 1025U, 65535U, 65536U, 69000U}) lengths.push_back(n);
    for (const std::size_t size : lengths) {
        const std::size_t start = rng() % 17;
        const unsigned char* p = bytes.data() + start;
        const std::uint32_t expected = BitByBit(p, size);
        ASSERT_EQ(service::Crc32(0, p, size), expected) << size << " from " << start;
        // In pieces of random sizes, as the cache's blocks feed it.
        std::uint32_t crc = 0;
        for (std::size_t at = 0; at < size;) {
            const std::size_t piece = std::min<std::size_t>(size - at, 1 + rng() % 200);
            crc = service::Crc32(crc, p + at, piece);
            at += piece;
        }
        ASSERT_EQ(crc, expected) << size << " in pieces";
        ASSERT_EQ(service::Crc32ByTable(0, p, size), expected) << size;
    }
}

}  // namespace
