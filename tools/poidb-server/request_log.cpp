#include "tools/poidb-server/request_log.h"

#include <cstdio>
#include <ctime>

namespace poidb {

void LogRequest(const RequestInfo& info) {
    const auto elapsed = std::chrono::steady_clock::now() - info.started;
    const double ms = std::chrono::duration<double, std::milli>(elapsed).count();
    const std::string user = info.user_id >= 0 ? std::to_string(info.user_id) : std::string("-");
    // When the request came in, in UTC to the millisecond, so logs of several services line up.
    const auto came = std::chrono::system_clock::now() - std::chrono::duration_cast<std::chrono::system_clock::duration>(elapsed);
    const auto sinceEpoch = std::chrono::duration_cast<std::chrono::milliseconds>(came.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(sinceEpoch / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &utc);
    // One fprintf per line: stdio locks the stream, so lines of parallel requests never mix.
    std::fprintf(stderr, "%s.%03dZ %s %s user=%s status=%d bytes=%zu time=%.1fms\n", stamp,
                 static_cast<int>(sinceEpoch % 1000), info.method.c_str(), info.path.c_str(), user.c_str(),
                 info.status, info.bytes, ms);
}

}  // namespace poidb
