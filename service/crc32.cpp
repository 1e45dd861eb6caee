#include "service/crc32.h"

#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace service {

namespace {

// Eight tables of the reflected polynomial 0xEDB88320: eight bytes per step.
struct CrcTables {
    std::uint32_t t[8][256];
    constexpr CrcTables() : t{} {
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1U) != 0 ? 0xEDB88320U ^ (c >> 1U) : c >> 1U;
            t[0][i] = c;
        }
        for (std::uint32_t i = 0; i < 256; ++i) {
            for (int k = 1; k < 8; ++k) t[k][i] = (t[k - 1][i] >> 8U) ^ t[0][t[k - 1][i] & 0xffU];
        }
    }
};
constexpr CrcTables kCrc;

// The register as it runs: not inverted before or after.
std::uint32_t TableSteps(std::uint32_t crc, const unsigned char* p, std::size_t size) {
    for (; size >= 8; size -= 8, p += 8) {
        std::uint32_t low = 0;
        std::uint32_t high = 0;
        std::memcpy(&low, p, 4);
        std::memcpy(&high, p + 4, 4);
        low ^= crc;
        crc = kCrc.t[7][low & 0xffU] ^ kCrc.t[6][(low >> 8U) & 0xffU] ^ kCrc.t[5][(low >> 16U) & 0xffU] ^
              kCrc.t[4][low >> 24U] ^ kCrc.t[3][high & 0xffU] ^ kCrc.t[2][(high >> 8U) & 0xffU] ^
              kCrc.t[1][(high >> 16U) & 0xffU] ^ kCrc.t[0][high >> 24U];
    }
    for (; size > 0; --size, ++p) crc = kCrc.t[0][(crc ^ *p) & 0xffU] ^ (crc >> 8U);
    return crc;
}

#if defined(__x86_64__)

// Folding: the message is kept as four 128-bit lanes; each step multiplies a lane by x^512
// modulo the polynomial (as two carry-less products with precomputed constants) and adds the
// next 64 bytes. The lanes then fold into one, 128 bits reduce to 64 and then to 32, and a
// Barrett reduction gives the register. Constants are x^k mod P, bit-reflected, for the
// reflected polynomial 0x1DB710641.
constexpr long long kX512Low = 0x154442bd4;   // x^(4*128+32) mod P
constexpr long long kX512High = 0x1c6e41596;  // x^(4*128-32) mod P
constexpr long long kX128Low = 0x1751997d0;   // x^(128+32) mod P
constexpr long long kX128High = 0x0ccaa009e;  // x^(128-32) mod P
constexpr long long kX64 = 0x163cd6124;       // x^64 mod P
constexpr long long kPolynomial = 0x1db710641;
constexpr long long kBarrettMu = 0x1f7011641;  // floor(x^64 / P), reflected

__attribute__((target("pclmul,sse4.1"))) __m128i Fold(__m128i lane, __m128i constants, __m128i next) {
    const __m128i low = _mm_clmulepi64_si128(lane, constants, 0x00);
    const __m128i high = _mm_clmulepi64_si128(lane, constants, 0x11);
    return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

__attribute__((target("pclmul,sse4.1"))) __m128i Load(const unsigned char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// size >= 64 and a multiple of 16.
__attribute__((target("pclmul,sse4.1"))) std::uint32_t FoldedSteps(std::uint32_t crc, const unsigned char* p,
                                                                   std::size_t size) {
    __m128i x1 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x2 = Load(p + 16);
    __m128i x3 = Load(p + 32);
    __m128i x4 = Load(p + 48);
    p += 64;
    size -= 64;
    const __m128i by512 = _mm_set_epi64x(kX512High, kX512Low);
    for (; size >= 64; size -= 64, p += 64) {
        x1 = Fold(x1, by512, Load(p));
        x2 = Fold(x2, by512, Load(p + 16));
        x3 = Fold(x3, by512, Load(p + 32));
        x4 = Fold(x4, by512, Load(p + 48));
    }
    const __m128i by128 = _mm_set_epi64x(kX128High, kX128Low);
    x1 = Fold(x1, by128, x2);
    x1 = Fold(x1, by128, x3);
    x1 = Fold(x1, by128, x4);
    for (; size >= 16; size -= 16, p += 16) x1 = Fold(x1, by128, Load(p));

    const __m128i low32 = _mm_set_epi32(0, 0, 0, -1);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(by128, x1, 0x01));
    const __m128i by64 = _mm_set_epi64x(0, kX64);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 4), _mm_clmulepi64_si128(_mm_and_si128(x1, low32), by64, 0x00));
    const __m128i barrett = _mm_set_epi64x(kBarrettMu, kPolynomial);
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), barrett, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), barrett, 0x00);
    return static_cast<std::uint32_t>(_mm_extract_epi32(_mm_xor_si128(x1, t), 1));
}

bool CanFold() {
    static const bool can = __builtin_cpu_supports("pclmul") != 0 && __builtin_cpu_supports("sse4.1") != 0;
    return can;
}

#endif

}  // namespace

std::uint32_t Crc32(std::uint32_t crc, const void* data, std::size_t size) {
    const auto* p = static_cast<const unsigned char*>(data);
    crc = ~crc;
#if defined(__x86_64__)
    if (size >= 64 && CanFold()) {
        const std::size_t folded = size & ~std::size_t{15};
        crc = FoldedSteps(crc, p, folded);
        p += folded;
        size -= folded;
    }
#endif
    return ~TableSteps(crc, p, size);
}

std::uint32_t Crc32ByTable(std::uint32_t crc, const void* data, std::size_t size) {
    return ~TableSteps(~crc, static_cast<const unsigned char*>(data), size);
}

}  // namespace service
