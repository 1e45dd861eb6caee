#pragma once
// Previews for a person to look at: each picture stretched to its window with stand-in texts
// in the colours the windows use, label rectangles outlined, and the icons on light and dark
// ground. Needs a QGuiApplication (fonts).

#include <string>

namespace artwork {

// Reads the pictures under root, writes PNG previews into folder; false on the first file
// that cannot be read or written.
bool WriteMocks(const std::string& root, const std::string& folder);

}  // namespace artwork
