#pragma once
#include <cstring>

namespace service {

// Prefix tests look at the start of the piece being examined, nothing else.
inline bool StartsWith(const char* text, const char* prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

}  // namespace service
