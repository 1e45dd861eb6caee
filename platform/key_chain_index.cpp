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
}

void KeyChainIndex::Push(std::uint64_t key, std::uint32_t index) {
    for (std::uint64_t s = Mix(key) & mask_;; s = (s + 1) & mask_) {
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
    for (std::uint64_t s = Mix(key) & mask_;; s = (s + 1) & mask_) {
        const Slot& slot = slots_[s];
        if (slot.head == kNone) return kNone;
        if (slot.key == key) return slot.head;
    }
}

}  // namespace platform
