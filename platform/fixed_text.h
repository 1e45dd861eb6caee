#pragma once
#include <cstddef>

namespace platform {

// Copies text into a fixed-size field, cutting it to fit and always terminating it. Only for
// texts whose cutting is harmless (names from a list, messages); a credential or an address that
// does not fit must be refused by the caller instead.
void CopyToField(char* field, std::size_t fieldSize, const char* text);
template <std::size_t N>
void CopyToField(char (&field)[N], const char* text) {
    CopyToField(field, N, text);
}

}  // namespace platform
