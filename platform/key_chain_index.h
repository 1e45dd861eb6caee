#pragma once
#include <cstdint>
#include <vector>


namespace platform {

// Finds records by a 64-bit key in constant time while keeping the order a front-to-back scan
// would meet them in: First gives the lowest index with the key, Next the following one. Built
// once per loaded array; open addressing over a power-of-two table.
class KeyChainIndex {
public:
    static constexpr std::uint32_t kNone = 0xffffffffU;

    template <class KeyOf>
    void Build(std::size_t count, KeyOf keyOf) {
        Reset(count);
        // Walking backwards and pushing each index in front leaves every chain in ascending order.
        for (std::size_t i = count; i-- > 0;) Push(keyOf(i), static_cast<std::uint32_t>(i));
    }

    std::uint32_t First(std::uint64_t key) const;
    std::uint32_t Next(std::uint32_t index) const { return next_[index]; }
    bool empty() const { return next_.empty(); }

private:
    void Reset(std::size_t count);
    void Push(std::uint64_t key, std::uint32_t index);

    struct Slot {
        std::uint64_t key;
        std::uint32_t head;  // kNone marks an empty slot
    };
    std::vector<Slot> slots_;
    std::vector<std::uint32_t> next_;
    std::uint64_t mask_ = 0;
    std::vector<std::uint64_t> seen_;  // one bit per hash of the keys pushed
    std::uint64_t seenMask_ = 0;
};

inline std::uint64_t PositionKey(std::int32_t latitude, std::int32_t longitude) {
    return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(latitude)) << 32) |
           static_cast<std::uint32_t>(longitude);
}

inline std::uint64_t IdentifierKey(std::int32_t identifier) { return static_cast<std::uint32_t>(identifier); }

}  // namespace platform
