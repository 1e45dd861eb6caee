#pragma once
#include <cstddef>
#include <vector>

namespace platform {

// Asks that a large block not yet touched be backed by huge pages where the system offers them
// on request: its first touch then faults a few times instead of once per small page, and walks
// that jump across it miss the address cache less. Only advice: nothing fails, and the contents
// and size stay as they are.
void AdviseLargePages(void* data, std::size_t bytes);

// The same for the room a vector has reserved; call it after reserve, before the room is used.
template <class T>
void AdviseLargePages(std::vector<T>& v) {
    AdviseLargePages(v.data(), v.capacity() * sizeof(T));
}

}  // namespace platform
