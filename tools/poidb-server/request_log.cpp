#include "tools/poidb-server/request_log.h"

#include <cstdio>

namespace poidb {

void LogRequest(const RequestInfo& info) {
    const auto elapsed = std::chrono::steady_clock::now() - info.started;
    const double ms = std::chrono::duration<double, std::milli>(elapsed).count();
    const std::string user = info.user_id >= 0 ? std::to_string(info.user_id) : std::string("-");
    // One fprintf per line: stdio locks the stream, so lines of parallel requests never mix.
    std::fprintf(stderr, "%s %s user=%s status=%d bytes=%zu time=%.1fms\n", info.method.c_str(), info.path.c_str(),
                 user.c_str(), info.status, info.bytes, ms);
}

}  // namespace poidb
