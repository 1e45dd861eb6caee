#include "service/camera_file/exchange_order.h"

#include <array>
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

// Below this many records one sweep costs less than starting a second thread.
constexpr std::size_t kTwoSweepsFrom = std::size_t{1} << 14;

struct KeyedIndex {
    std::uint32_t key;  // sign bit flipped, so unsigned order is signed order
    std::uint32_t index;
};

// Stable LSD radix sort by key: indexes grouped by ascending key, ascending within a key.
std::vector<KeyedIndex> GroupByKey(std::span<const std::int32_t> keys) {
    const std::size_t n = keys.size();
    std::vector<KeyedIndex> a(n);
    std::vector<KeyedIndex> b(n);
    constexpr std::array<unsigned, 3> kShift = {0, 11, 22};
    constexpr std::size_t kBuckets = 2048;
    std::array<std::array<std::uint32_t, kBuckets>, 3> count{};
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t u = static_cast<std::uint32_t>(keys[i]) ^ 0x80000000U;
        a[i] = {u, static_cast<std::uint32_t>(i)};
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

// Places the records of one key (original positions `pos`, ascending) into `out` in the
// exchange sort's order; `rotation[t]` is the left rotation after appending record t,
// already reduced modulo t + 1.
void PlaceEqualKeys(std::span<const KeyedIndex> group, std::span<const std::uint32_t> rotation, Marks& slots,
                    std::uint32_t* out) {
    const std::size_t m = group.size();
    slots.Reset(m, true);
    std::uint32_t frontRank = 0;  // rank, among free slots, of the list's first element
    for (std::size_t t = m; t > 0; --t) {
        const auto size = static_cast<std::uint32_t>(t);
        const std::uint32_t logical = size - 1 - rotation[t - 1];  // where record t-1 ended up
        std::uint32_t rank = frontRank + logical;
        if (rank >= size) rank -= size;
        const std::size_t slot = slots.Select(rank);
        out[slot] = group[t - 1].index;
        slots.Add(slot, ~0U);
        frontRank = rank == size - 1 ? 0 : rank;  // the record after it was the front before
    }
}

}  // namespace

std::vector<std::uint32_t> ExchangeSortOrder(std::span<const std::int32_t> keys) {
    const std::size_t n = keys.size();
    const std::vector<KeyedIndex> grouped = GroupByKey(keys);
    // Each record's rank among the distinct keys, by position.
    std::vector<std::uint32_t> rankAt(n);
    std::uint32_t ranks = 0;
    for (std::size_t k = 0; k < n; ++k) {
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

    std::vector<std::uint32_t> order(n);
    Marks slots;
    std::vector<std::uint32_t> rotation;
    for (std::size_t begin = 0; begin < n;) {
        std::size_t end = begin + 1;
        while (end < n && grouped[end].key == grouped[begin].key) ++end;
        const std::span<const KeyedIndex> group(grouped.data() + begin, end - begin);
        const std::size_t m = group.size();
        // Every record of a smaller key sorts before this group: begin of them in all.
        const auto placed = static_cast<std::uint32_t>(begin);

        bool scrambled = false;
        if (m > 1 && placed > 0) {
            rotation.assign(m, 0);
            std::uint32_t before = smallerBefore[group[0].index];
            for (std::size_t t = 0; t < m; ++t) {
                const std::uint32_t upTo = t + 1 < m ? smallerBefore[group[t + 1].index] : placed;
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
    return order;
}

}  // namespace service
