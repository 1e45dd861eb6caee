#include "platform/key_chain_index.h"

namespace platform {

namespace {
std::uint64_t Mix(std::uint64_t x) {
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ULL;
    x ^= x >> 33;
    return x;
}
}  // namespace

void KeyChainIndex::Reset(std::size_t count) {
    std::size_t capacity = 16;
    while (capacity < count * 2) capacity <<= 1;
    slots_.assign(capacity, Slot{0, kNone});
    next_.assign(count, kNone);
    mask_ = capacity - 1;
    // Eight bits a slot: a key never pushed is turned away here nearly always, from a table
    // small enough to stay in the cache, before its probe of the slots.
    seen_.assign(capacity * 8 / 64, 0);
    seenMask_ = capacity * 8 - 1;
}

void KeyChainIndex::Push(std::uint64_t key, std::uint32_t index) {
    const std::uint64_t mixed = Mix(key);
    const std::uint64_t bit = (mixed >> 32U) & seenMask_;
    seen_[bit / 64] |= std::uint64_t{1} << (bit % 64);
    for (std::uint64_t s = mixed & mask_;; s = (s + 1) & mask_) {
        Slot& slot = slots_[s];
        if (slot.head == kNone) {
            slot = Slot{key, index};
            return;
        }
        if (slot.key == key) {
            next_[index] = slot.head;
            slot.head = index;
            return;
        }
    }
}

std::uint32_t KeyChainIndex::First(std::uint64_t key) const {
    if (slots_.empty()) return kNone;
    const std::uint64_t mixed = Mix(key);
    const std::uint64_t bit = (mixed >> 32U) & seenMask_;
    if ((seen_[bit / 64] & (std::uint64_t{1} << (bit % 64))) == 0) return kNone;
    for (std::uint64_t s = mixed & mask_;; s = (s + 1) & mask_) {
        const Slot& slot = slots_[s];
        if (slot.head == kNone) return kNone;
        if (slot.key == key) return slot.head;
    }
}

}  // namespace platform
