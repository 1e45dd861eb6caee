#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace poidb {

inline constexpr std::string_view kSessionCookie = "ZSESSION";

struct Session {
    std::int64_t user_id = 0;
    std::int64_t logon_rev = 0;  // head revision when the user logged on
    std::chrono::steady_clock::time_point last_used;
};

// Logged-on users by the random token of their session cookie. Sessions live in memory: a
// restarted service asks every client to log on again, which each synchronisation does anyway.
class SessionTable {
public:
    explicit SessionTable(std::chrono::seconds idle_limit = std::chrono::hours(2), std::size_t capacity = 100000)
        : idle_limit_(idle_limit), capacity_(capacity) {}

    // A new session's token (32 hex digits from the kernel's random source), or nothing when
    // no random bytes could be had.
    std::optional<std::string> Create(std::int64_t user_id, std::int64_t logon_rev);
    // The session of a token, refreshed; nothing when unknown or idle too long.
    std::optional<Session> Find(const std::string& token);
    std::size_t size();

private:
    void DropIdle(std::chrono::steady_clock::time_point now);

    std::chrono::seconds idle_limit_;
    std::size_t capacity_;
    std::mutex mutex_;
    std::unordered_map<std::string, Session> sessions_;
};

// The token of our cookie in a Cookie header value, or empty.
std::string SessionTokenFromCookies(std::string_view header);

}  // namespace poidb
