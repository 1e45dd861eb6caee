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
    DropIdle(now);
    const auto mine = by_user_.find(user_id);
    // In a full table the user's own oldest session makes room too.
    if (mine != by_user_.end() && (mine->second.size() >= per_user_ || by_token_.size() >= capacity_)) {
        Erase(mine->second.front());
    }
    if (by_token_.size() >= capacity_) return std::nullopt;
    by_use_.push_back(Entry{*token, Session{user_id, logon_rev, now}});
    const auto entry = std::prev(by_use_.end());
    if (!by_token_.try_emplace(*token, entry).second) {
        by_use_.pop_back();
        return std::nullopt;
    }
    by_user_[user_id].push_back(entry);
    return token;
}

std::optional<Session> SessionTable::Find(const std::string& token) {
    if (token.empty()) return std::nullopt;
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard lock(mutex_);
    const auto it = by_token_.find(token);
    if (it == by_token_.end()) return std::nullopt;
    const auto entry = it->second;
    if (now - entry->session.last_used > idle_limit_) {
        Erase(entry);
        return std::nullopt;
    }
    entry->session.last_used = now;
    by_use_.splice(by_use_.end(), by_use_, entry);
    return entry->session;
}

std::size_t SessionTable::size() {
    std::lock_guard lock(mutex_);
    return by_token_.size();
}

void SessionTable::Erase(Order::iterator entry) {
    by_token_.erase(entry->token);
    const auto user = by_user_.find(entry->session.user_id);
    if (user != by_user_.end()) {
        std::erase(user->second, entry);
        if (user->second.empty()) by_user_.erase(user);
    }
    by_use_.erase(entry);
}

void SessionTable::DropIdle(std::chrono::steady_clock::time_point now) {
    while (!by_use_.empty() && now - by_use_.front().session.last_used > idle_limit_) Erase(by_use_.begin());
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
