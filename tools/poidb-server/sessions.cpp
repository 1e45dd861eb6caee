#include "tools/poidb-server/sessions.h"

#include <sys/random.h>

#include <array>

namespace poidb {

namespace {

constexpr std::size_t kTokenBytes = 16;

std::optional<std::string> RandomToken() {
    std::array<unsigned char, kTokenBytes> bytes{};
    std::size_t filled = 0;
    for (int attempt = 0; attempt < 8 && filled < bytes.size(); ++attempt) {
        const ssize_t got = getrandom(bytes.data() + filled, bytes.size() - filled, 0);
        if (got > 0) filled += static_cast<std::size_t>(got);
    }
    if (filled < bytes.size()) return std::nullopt;
    static constexpr char kHex[] = "0123456789abcdef";
    std::string token;
    token.reserve(kTokenBytes * 2);
    for (const unsigned char b : bytes) {
        token.push_back(kHex[b >> 4U]);
        token.push_back(kHex[b & 15U]);
    }
    return token;
}

}  // namespace

std::optional<std::string> SessionTable::Create(std::int64_t user_id, std::int64_t logon_rev) {
    auto token = RandomToken();
    if (!token) return std::nullopt;
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard lock(mutex_);
    if (sessions_.size() >= capacity_) DropIdle(now);
    if (sessions_.size() >= capacity_) {
        // Still full of live sessions: the least recently used one gives way.
        auto oldest = sessions_.begin();
        for (auto it = sessions_.begin(); it != sessions_.end(); ++it) {
            if (it->second.last_used < oldest->second.last_used) oldest = it;
        }
        sessions_.erase(oldest);
    }
    sessions_[*token] = Session{user_id, logon_rev, now};
    return token;
}

std::optional<Session> SessionTable::Find(const std::string& token) {
    if (token.empty()) return std::nullopt;
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard lock(mutex_);
    const auto it = sessions_.find(token);
    if (it == sessions_.end()) return std::nullopt;
    if (now - it->second.last_used > idle_limit_) {
        sessions_.erase(it);
        return std::nullopt;
    }
    it->second.last_used = now;
    return it->second;
}

std::size_t SessionTable::size() {
    std::lock_guard lock(mutex_);
    return sessions_.size();
}

void SessionTable::DropIdle(std::chrono::steady_clock::time_point now) {
    std::erase_if(sessions_, [&](const auto& entry) { return now - entry.second.last_used > idle_limit_; });
}

std::string SessionTokenFromCookies(std::string_view header) {
    while (!header.empty()) {
        const auto end = header.find(';');
        std::string_view pair = header.substr(0, end);
        header = end == std::string_view::npos ? std::string_view{} : header.substr(end + 1);
        while (!pair.empty() && pair.front() == ' ') pair.remove_prefix(1);
        const auto eq = pair.find('=');
        if (eq != std::string_view::npos && pair.substr(0, eq) == kSessionCookie) {
            return std::string(pair.substr(eq + 1));
        }
    }
    return {};
}

}  // namespace poidb
