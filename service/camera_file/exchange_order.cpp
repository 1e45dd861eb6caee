#include "service/camera_file/exchange_order.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <thread>

// How the exchange sort treats equal keys. Pass i carries the smallest key seen so far along
// the suffix; each time a strictly smaller key turns up the two records swap, so the records
// that are strict running minima of the suffix each move one step along that chain. Seen from
// one key K, with S any record whose key is smaller than K and E the records of key K, a pass
// before all S have been placed does exactly this to the remaining suffix:
//   - if an E comes before the first S, the first E moves to where the first S stood;
//   - the first S leaves (it or a smaller record is placed at position i);
// records with larger keys never change the relative order of E and S. Once no S is left,
// the E leave one by one in their current order. Writing the suffix as
// E1 S^c1 E2 S^c2 ... Em S^cm (S before E1 do not matter), the final order of the E is what
// this gives: start empty; for t = 1..m append Et, then rotate the whole list left by ct.
//
// The rotations are replayed backwards over the m final slots with a Fenwick tree, so each
// key costs O(m log m); the ct come from the number of smaller keys before each position,
// counted in one sweep with a Fenwick tree over the distinct keys.

namespace service {

namespace {

// Fenwick tree over 0/1 marks, 1-based inside.
class Marks {
public:
    void Reset(std::size_t size, bool allSet) {
        tree_.assign(size + 1, 0);
        if (allSet) {
            for (std::size_t i = 1; i <= size; ++i) tree_[i] = static_cast<std::uint32_t>(i & (~i + 1));
        }
        top_ = 1;
        while (top_ * 2 <= size) top_ *= 2;
    }
    void Add(std::size_t index, std::uint32_t delta) {  // delta is +1 or -1 (mod 2^32)
        for (std::size_t i = index + 1; i < tree_.size(); i += i & (~i + 1)) tree_[i] += delta;
    }
    // Number of marks at indexes below `end`.
    std::uint32_t CountBelow(std::size_t end) const {
        std::uint32_t sum = 0;
        for (std::size_t i = end; i > 0; i -= i & (~i + 1)) sum += tree_[i];
        return sum;
    }
    // Index of the mark with the given rank (0-based); the rank must exist.
    std::size_t Select(std::uint32_t rank) const {
        std::size_t pos = 0;
        for (std::size_t step = top_; step > 0; step /= 2) {
            if (pos + step < tree_.size() && tree_[pos + step] <= rank) {
                pos += step;
                rank -= tree_[pos];
            }
        }
        return pos;  // 1-based position of the last index before the mark == 0-based mark index
    }

private:
    std::vector<std::uint32_t> tree_;
    std::size_t top_ = 1;
};

// Reads ahead of a walk in key order, which jumps across arrays indexed by position.
constexpr std::size_t kPrefetchDistance = 16;

// Below this many records one sweep costs less than starting a second thread.
constexpr std::size_t kTwoSweepsFrom = std::size_t{1} << 14;

struct KeyedIndex {
    std::uint32_t key;  // sign bit flipped, so unsigned order is signed order
    std::uint32_t index;
};

// Stable LSD radix sort by key: indexes (from `first`) grouped by ascending key, ascending
// within a key.
std::vector<KeyedIndex> GroupRange(std::span<const std::int32_t> keys, std::size_t first) {
    const std::size_t n = keys.size();
    std::vector<KeyedIndex> a(n);
    std::vector<KeyedIndex> b(n);
    constexpr std::array<unsigned, 3> kShift = {0, 11, 22};
    constexpr std::size_t kBuckets = 2048;
    std::array<std::array<std::uint32_t, kBuckets>, 3> count{};
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t u = static_cast<std::uint32_t>(keys[i]) ^ 0x80000000U;
        a[i] = {u, static_cast<std::uint32_t>(first + i)};
        for (std::size_t p = 0; p < 3; ++p) ++count[p][(u >> kShift[p]) & (kBuckets - 1)];
    }
    for (std::size_t p = 0; p < 3; ++p) {
        if (n > 0 && count[p][(a[0].key >> kShift[p]) & (kBuckets - 1)] == n) continue;  // one bucket
        std::uint32_t sum = 0;
        for (auto& c : count[p]) {
            const std::uint32_t here = c;
            c = sum;
            sum += here;
        }
        for (const KeyedIndex& e : a) b[count[p][(e.key >> kShift[p]) & (kBuckets - 1)]++] = e;
        a.swap(b);
    }
    return a;
}

// A long input is sorted in two halves at once, then merged with the first half's records
// first among equal keys, which keeps every key's indexes ascending.
std::vector<KeyedIndex> GroupByKey(std::span<const std::int32_t> keys) {
    if (keys.size() < kTwoSweepsFrom) return GroupRange(keys, 0);
    const std::size_t half = keys.size() / 2;
    std::vector<KeyedIndex> second;
    std::thread other([&] { second = GroupRange(keys.subspan(half), half); });
    const std::vector<KeyedIndex> first = GroupRange(keys.first(half), 0);
    other.join();
    std::vector<KeyedIndex> all(keys.size());
    std::merge(first.begin(), first.end(), second.begin(), second.end(), all.begin(),
               [](const KeyedIndex& a, const KeyedIndex& b) { return a.key < b.key; });
    return all;
}

// Free slots as the bits of one word, for the small groups most cells hold: the tree's
// descent costs a mispredicted branch per level, picking a bit a few steps.
class SmallMarks {
public:
    explicit SmallMarks(std::size_t size) : free_(size == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << size) - 1) {}
    std::size_t Select(std::uint32_t rank) const {
        std::uint64_t bits = free_;
        for (; rank > 0; --rank) bits &= bits - 1;
        return static_cast<std::size_t>(std::countr_zero(bits));
    }
    void Take(std::size_t slot) { free_ &= ~(std::uint64_t{1} << slot); }

private:
    std::uint64_t free_;
};

template <class FreeSlots, class TakeSlot>
void Place(std::span<const KeyedIndex> group, std::span<const std::uint32_t> rotation, const FreeSlots& slots,
           TakeSlot take, std::uint32_t* out) {
    std::uint32_t frontRank = 0;  // rank, among free slots, of the list's first element
    for (std::size_t t = group.size(); t > 0; --t) {
        const auto size = static_cast<std::uint32_t>(t);
        const std::uint32_t logical = size - 1 - rotation[t - 1];  // where record t-1 ended up
        std::uint32_t rank = frontRank + logical;
        if (rank >= size) rank -= size;
        const std::size_t slot = slots.Select(rank);
        out[slot] = group[t - 1].index;
        take(slot);
        frontRank = rank == size - 1 ? 0 : rank;  // the record after it was the front before
    }
}

// Places the records of one key (original positions `pos`, ascending) into `out` in the
// exchange sort's order; `rotation[t]` is the left rotation after appending record t,
// already reduced modulo t + 1.
void PlaceEqualKeys(std::span<const KeyedIndex> group, std::span<const std::uint32_t> rotation, Marks& slots,
                    std::uint32_t* out) {
    const std::size_t m = group.size();
    if (m <= 64) {
        SmallMarks small(m);
        Place(
            group, rotation, small, [&small](std::size_t slot) { small.Take(slot); }, out);
        return;
    }
    slots.Reset(m, true);
    Place(
        group, rotation, slots, [&slots](std::size_t slot) { slots.Add(slot, ~0U); }, out);
}

}  // namespace

std::vector<std::uint32_t> ExchangeSortOrder(std::span<const std::int32_t> keys) {
    const std::size_t n = keys.size();
    const std::vector<KeyedIndex> grouped = GroupByKey(keys);
    // Each record's rank among the distinct keys, by position.
    std::vector<std::uint32_t> rankAt(n);
    std::uint32_t ranks = 0;
    for (std::size_t k = 0; k < n; ++k) {
        if (k + kPrefetchDistance < n) __builtin_prefetch(&rankAt[grouped[k + kPrefetchDistance].index], 1);
        if (k > 0 && grouped[k].key != grouped[k - 1].key) ++ranks;
        rankAt[grouped[k].index] = ranks;
    }
    // smallerBefore[i]: records before position i with a smaller key, from a sweep over the
    // positions with a tree over the ranks (far smaller than one over the positions). A long
    // sweep is cut in two halves swept at once; the second then adds the first half's records
    // of smaller keys, counted by rank.
    std::vector<std::uint32_t> smallerBefore(n);
    const auto sweep = [&](std::size_t from, std::size_t to) {
        Marks seen;
        seen.Reset(ranks + 1, false);
        for (std::size_t i = from; i < to; ++i) {
            smallerBefore[i] = seen.CountBelow(rankAt[i]);
            seen.Add(rankAt[i], 1);
        }
    };
    if (n < kTwoSweepsFrom) {
        sweep(0, n);
    } else {
        const std::size_t half = n / 2;
        std::thread second([&] {
            std::vector<std::uint32_t> firstBelow(std::size_t{ranks} + 2, 0);
            for (std::size_t i = 0; i < half; ++i) ++firstBelow[rankAt[i] + 1];
            for (std::size_t r = 1; r < firstBelow.size(); ++r) firstBelow[r] += firstBelow[r - 1];
            sweep(half, n);
            for (std::size_t i = half; i < n; ++i) smallerBefore[i] += firstBelow[rankAt[i]];
        });
        sweep(0, half);
        second.join();
    }

    // The counts in key order, gathered once: rankAt is done with and takes them.
    std::vector<std::uint32_t>& smallerInOrder = rankAt;
    for (std::size_t k = 0; k < n; ++k) {
        if (k + kPrefetchDistance < n) __builtin_prefetch(&smallerBefore[grouped[k + kPrefetchDistance].index]);
        smallerInOrder[k] = smallerBefore[grouped[k].index];
    }
    std::vector<std::uint32_t>().swap(smallerBefore);

    std::vector<std::uint32_t> order(n);
    // The groups from position `from` to position `to` (both where a key starts).
    const auto place = [&](std::size_t from, std::size_t to) {
        Marks slots;
        std::vector<std::uint32_t> rotation;
        for (std::size_t begin = from; begin < to;) {
            std::size_t end = begin + 1;
            while (end < n && grouped[end].key == grouped[begin].key) ++end;
            const std::span<const KeyedIndex> group(grouped.data() + begin, end - begin);
            const std::size_t m = group.size();
            // Every record of a smaller key sorts before this group: begin of them in all.
            const auto placed = static_cast<std::uint32_t>(begin);

            bool scrambled = false;
            if (m > 1 && placed > 0) {
                rotation.assign(m, 0);
                std::uint32_t before = smallerInOrder[begin];
                for (std::size_t t = 0; t < m; ++t) {
                    const std::uint32_t upTo = t + 1 < m ? smallerInOrder[begin + t + 1] : placed;
                    rotation[t] = (upTo - before) % static_cast<std::uint32_t>(t + 1);
                    scrambled = scrambled || rotation[t] != 0;
                    before = upTo;
                }
            }
            if (scrambled) {
                PlaceEqualKeys(group, rotation, slots, order.data() + begin);
            } else {
                for (std::size_t t = 0; t < m; ++t) order[begin + t] = group[t].index;
            }
            begin = end;
        }
    };
    // Groups are independent of each other: a long input is placed in two halves at once.
    std::size_t middle = n < kTwoSweepsFrom ? n : n / 2;
    while (middle < n && middle > 0 && grouped[middle].key == grouped[middle - 1].key) ++middle;
    std::thread second;
    if (middle < n) second = std::thread(place, middle, n);
    place(0, middle);
    if (second.joinable()) second.join();
    return order;
}

}  // namespace service
