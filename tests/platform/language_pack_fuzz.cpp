// A language pack on hostile text: only ids of the string table come out, and every text fills
// its numbers and texts without reading past them, whatever conversions a translator wrote.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/string_table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string contents(reinterpret_cast<const char*>(data), size);
    for (const auto& [id, text] : platform::ParseStringPack(contents)) {
        if (id < 101 || id > platform::kLastStringId) std::abort();
        const std::string filled = platform::FormatText(text, {"2008-06-30"}, {12, -3});
        if (filled.size() > text.size() + 64) std::abort();  // at most three short fillings
    }
    return 0;
}
