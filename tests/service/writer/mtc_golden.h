#pragma once
#include <cstdlib>
#include <string>

namespace samples {

// A file of tests/data/mtc, the hand-computed caches and camera files.
inline std::string MtcGolden(const std::string& file) {
    const char* root = std::getenv("ZARNIK_SOURCE_DIR");
    return std::string(root != nullptr ? root : ".") + "/tests/data/mtc/" + file;
}

}  // namespace samples
