#pragma once
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace service {

// Splits reply text into fields ended by "|" or "#". A field may begin in one piece of the
// reply and end in the next; characters after the last separator never form a field. A field
// keeps at most `Capacity` - 1 characters (the rest is counted, not kept), so no reply can
// overflow it. The list replies drop line feeds; the start-up replies keep them.
template <std::size_t Capacity>
class FieldReader {
public:
    explicit FieldReader(bool dropLineFeeds) : dropLineFeeds_(dropLineFeeds) {}

    // Calls onField(text, keptLength, fullLength) for each field completed by these bytes; the
    // text is terminated. onField gives false to stop reading this reply.
    template <class OnField>
    bool Feed(const char* data, std::size_t size, OnField&& onField) {
        return Run<false>(data, size, onField);
    }

    // The same fields from bytes the reader may change: a field that lies whole within them
    // (no line feed in it, shorter than its room) is handed over where it stands, its separator
    // overwritten by the terminating NUL, instead of being copied.
    template <class OnField>
    bool FeedInPlace(char* data, std::size_t size, OnField&& onField) {
        return Run<true>(data, size, onField);
    }

private:
    template <bool kInPlace, class Byte, class OnField>
    bool Run(Byte* data, std::size_t size, OnField& onField) {
        Byte* end = data + size;
        while (data < end) {
            Byte* stop = FindSeparatorOrLineFeed(data, end);
            const auto length = static_cast<std::size_t>(stop - data);
            if constexpr (kInPlace) {
                // Nothing of this field came before: it needs no room of its own.
                if (full_ == 0 && stop != end && *stop != '\n' && length < Capacity) {
                    *stop = '\0';
                    if (!onField(static_cast<const char*>(data), length, length)) return false;
                    data = stop + 1;
                    continue;
                }
            }
            Keep(data, length);
            if (stop == end) break;
            data = stop + 1;
            if (*stop == '\n') {
                if (!dropLineFeeds_) Keep(stop, 1);
                continue;
            }
            field_[kept_] = '\0';
            const std::size_t full = full_;
            kept_ = 0;
            full_ = 0;
            if (!onField(static_cast<const char*>(field_), full < Capacity ? full : Capacity - 1, full)) return false;
        }
        return true;
    }

    // Sixteen bytes a step where the processor compares them at once: a list is some 60 bytes
    // a record in eight short fields, and the byte loop's mispredicted exit cost more than
    // the comparisons.
    template <class Byte>
    static Byte* FindSeparatorOrLineFeed(Byte* p, Byte* end) {
#if defined(__SSE2__)
        const __m128i bar = _mm_set1_epi8('|');
        const __m128i hash = _mm_set1_epi8('#');
        const __m128i lineFeed = _mm_set1_epi8('\n');
        while (end - p >= 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            const __m128i stops = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, bar), _mm_cmpeq_epi8(v, hash)),
                                               _mm_cmpeq_epi8(v, lineFeed));
            const auto mask = static_cast<unsigned>(_mm_movemask_epi8(stops));
            if (mask != 0) return p + std::countr_zero(mask);
            p += 16;
        }
#endif
        while (p < end && !kStops.is[static_cast<unsigned char>(*p)]) ++p;
        return p;
    }

    void Keep(const char* p, std::size_t n) {
        const std::size_t room = Capacity - 1 - kept_;
        const std::size_t take = n < room ? n : room;
        // Most fields are a few characters long: a plain loop beats a call to memcpy.
        for (std::size_t i = 0; i < take; ++i) field_[kept_ + i] = p[i];
        kept_ += take;
        full_ += n;
    }

    struct Stops {
        bool is[256] = {};
        constexpr Stops() {
            is[static_cast<unsigned char>('|')] = true;
            is[static_cast<unsigned char>('#')] = true;
            is[static_cast<unsigned char>('\n')] = true;
        }
    };
    static constexpr Stops kStops{};

    bool dropLineFeeds_;
    char field_[Capacity] = {};
    std::size_t kept_ = 0;
    std::size_t full_ = 0;
};

// Reads a decimal number the way atol does (leading blanks, a sign, digits up to the first
// other character; none give 0) into a signed 32-bit value, saturating at its limits as a
// 32-bit long does. Never overflows.
std::int32_t ReadNumber(const char* text);

// Reads a count or an identifier the service gives: the whole text must be decimal digits (at
// least one, no sign, no blanks) of a value from 0 to 2^31 - 1. False, with value untouched, for
// anything else: a number that a true reply cannot carry is a reply not understood, never a
// value to clamp or to stop reading at.
bool ReadWholeNumber(std::string_view text, std::int32_t& value);

}  // namespace service
