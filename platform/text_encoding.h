#pragma once
#include <string>
#include <string_view>

namespace platform {

// The one rule for a text from outside (a camera name from the service or a cache, a device
// model's name, a message) on its way to a person or a file, which always take UTF-8: a text
// that is valid UTF-8 stays as it is; anything else is taken as Windows-1252, the 8-bit code
// page the service's older texts are written in, byte for byte. A fixed-size field may have cut
// the last character of a UTF-8 text in half: that half character is dropped rather than the
// whole text taken as Windows-1252. Never fails; the result is always valid UTF-8.
std::string ReadableUtf8(std::string_view text);

}  // namespace platform
