#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace poidb {

// What the log line of one request tells.
struct RequestInfo {
    std::string method;
    std::string path;
    std::int64_t user_id = -1;  // -1 when nobody is logged on
    int status = 0;
    std::size_t bytes = 0;
    bool deferred = false;  // a streamed reply logs itself when done
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
};

// One line on standard error: when the request came (UTC), method, path, user, status, bytes
// and time taken.
void LogRequest(const RequestInfo& info);

}  // namespace poidb
