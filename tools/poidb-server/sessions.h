#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace poidb {

inline constexpr std::string_view kSessionCookie = "ZSESSION";

struct Session {
    std::int64_t user_id = 0;
    std::int64_t logon_rev = 0;  // head revision when the user logged on
    std::chrono::steady_clock::time_point last_used;
};

// Logged-on users by the random token of their session cookie. Sessions live in memory: a
// restarted service asks every client to log on again, which each synchronisation does anyway.
// Every operation takes constant time under the table's lock: sessions are kept in order of
// use, so idle ones are dropped from the front, and by user, so each user holds a few at most.
class SessionTable {
public:
    explicit SessionTable(std::chrono::seconds idle_limit = std::chrono::hours(2), std::size_t capacity = 100000,
                          std::size_t per_user = 4)
        : idle_limit_(idle_limit), capacity_(capacity), per_user_(per_user) {}

    // A new session's token (32 hex digits from the kernel's random source). The user's oldest
    // session gives way when they hold `per_user` already, or when the table is full. Nothing
    // when no random bytes could be had, or when the table is full of other users' live
    // sessions: those are never pushed out for a newcomer.
    std::optional<std::string> Create(std::int64_t user_id, std::int64_t logon_rev);
    // The session of a token, refreshed; nothing when unknown or idle too long.
    std::optional<Session> Find(const std::string& token);
    std::size_t size();

private:
    struct Entry {
        std::string token;
        Session session;
    };
    using Order = std::list<Entry>;

    void Erase(Order::iterator entry);
    void DropIdle(std::chrono::steady_clock::time_point now);

    std::chrono::seconds idle_limit_;
    std::size_t capacity_;
    std::size_t per_user_;
    std::mutex mutex_;
    Order by_use_;  // least recently used first
    std::unordered_map<std::string, Order::iterator> by_token_;
    std::unordered_map<std::int64_t, std::vector<Order::iterator>> by_user_;  // oldest first
};

// The token of our cookie in a Cookie header value, or empty.
std::string SessionTokenFromCookies(std::string_view header);

}  // namespace poidb
