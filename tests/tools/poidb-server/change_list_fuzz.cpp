// Uploaded change lists come from any client: parsing must never crash, and every line it
// keeps must satisfy the rules the store relies on.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "tools/poidb-server/change_list.h"
#include "tools/poidb-server/request_bodies.h"
#include "tools/poidb-server/text_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    const poidb::ParsedChangeList list = poidb::ParseChangeList(body);
    for (const auto& line : list.lines) {
        const bool letter_ok = line.action == 'A' || line.action == 'U' || line.action == 'D';
        const bool range_ok = line.latitude >= -90000000 && line.latitude <= 90000000 &&
                              line.longitude >= -180000000 && line.longitude <= 180000000 &&
                              line.direction >= -2 && line.direction <= 720;
        const bool text_ok = line.text.size() <= poidb::kMaxNameBytes &&
                             line.text.find_first_of(std::string_view("|#\n\0", 4)) == std::string::npos;
        if (!letter_ok || !range_ok || !text_ok) std::abort();
    }
    // The other bodies the service parses take the same bytes.
    (void)poidb::ParseCredentials(body);
    (void)poidb::ParseAlertQuery(body);
    (void)poidb::ParseInfoQuery(body);
    return 0;
}
