#pragma once
#include <cstdint>
#include <span>
#include <vector>

namespace service {

// The order in which this exchange sort leaves records:
//
//     for i in 0 .. n-1:  for j in i+1 .. n-1:  if key[j] < key[i]: swap(i, j)
//
// computed in O(n log n). Keys end up ascending; records with equal keys end up in the
// particular order the exchange sort scrambles them into, which the device file has always
// had and which therefore has to be reproduced exactly.
//
// Result: order[k] is the original index of the record that ends at position k.
// Precondition: keys.size() < 2^32.
std::vector<std::uint32_t> ExchangeSortOrder(std::span<const std::int32_t> keys);

}  // namespace service
