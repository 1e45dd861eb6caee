#include "tools/devagent/device_fs.h"

#include <dirent.h>
#include <sys/stat.h>

#include <vector>

#include "devicekit/wire/text_codec.h"

namespace devagent {

using klxpwire::Status;

namespace {

bool ValidComponent(std::string_view name) {
    if (name == "." || name == "..") return false;
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || c == ':' || c == '<' || c == '>' || c == '"' || c == '|' || c == '*' || c == '?') return false;
    }
    return true;
}

std::vector<std::string_view> SplitDevicePath(std::string_view path) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '\\' || path[i] == '/') {
            if (i > start) parts.push_back(path.substr(start, i - start));
            start = i + 1;
        }
    }
    return parts;
}

// Finds an entry of `folder` whose name equals `name` without regard to case.
bool FindEntry(const std::string& folder, std::string_view name, std::string& found) {
    struct stat st {};
    const std::string exact = folder + "/" + std::string(name);
    if (lstat(exact.c_str(), &st) == 0) {
        found = std::string(name);
        return true;
    }
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return false;
    const std::string folded = FoldName(name);
    bool hit = false;
    while (const dirent* entry = readdir(dir)) {
        if (FoldName(entry->d_name) == folded) {
            found = entry->d_name;
            hit = true;
            break;
        }
    }
    closedir(dir);
    return hit;
}

}  // namespace

std::string FoldName(std::string_view utf8) {
    std::u16string units;
    if (!klxpwire::Utf8ToUtf16(utf8, units)) return std::string(utf8);
    for (char16_t& u : units) {
        if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7)) u = static_cast<char16_t>(u + 0x20);
    }
    return klxpwire::Utf16ToUtf8(units);
}

bool SameName(std::string_view a, std::string_view b) { return FoldName(a) == FoldName(b); }

std::string BaseName(const std::string& host_path) {
    const auto slash = host_path.rfind('/');
    return slash == std::string::npos ? host_path : host_path.substr(slash + 1);
}

DeviceFs::DeviceFs(std::string root) : root_(std::move(root)) {
    while (root_.size() > 1 && root_.back() == '/') root_.pop_back();
}

Status DeviceFs::Resolve(std::string_view device_path, std::string& host_path) const {
    if (device_path.empty() || device_path.front() != '\\') return Status::kBadPath;
    if (device_path.find('\0') != std::string_view::npos) return Status::kBadPath;
    std::string current = root_;
    bool exists = true;
    for (const std::string_view part : SplitDevicePath(device_path)) {
        if (!ValidComponent(part)) return Status::kBadPath;
        std::string name(part);
        if (exists) {
            std::string found;
            exists = FindEntry(current, part, found);
            if (exists) name = found;
        }
        current += "/" + name;
        struct stat st {};
        if (exists && lstat(current.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) return Status::kBadPath;
    }
    host_path = current;
    return Status::kOk;
}

std::string DeviceFs::DevicePathOf(const std::string& host_path) const {
    if (host_path.size() <= root_.size()) return "\\";
    std::string out = host_path.substr(root_.size());
    for (char& c : out) {
        if (c == '/') c = '\\';
    }
    return out;
}

bool MatchesPattern(std::string_view name, std::string_view pattern) {
    if (pattern == "*.*" || pattern == "*") return true;
    const std::string n = FoldName(name);
    const std::string p = FoldName(pattern);
    // Iterative glob with one backtrack point for the last "*".
    std::size_t ni = 0, pi = 0, star = std::string::npos, resume = 0;
    while (ni < n.size()) {
        if (pi < p.size() && (p[pi] == '?' || p[pi] == n[ni])) {
            ++ni;
            ++pi;
        } else if (pi < p.size() && p[pi] == '*') {
            star = pi++;
            resume = ni;
        } else if (star != std::string::npos) {
            pi = star + 1;
            ni = ++resume;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*') ++pi;
    return pi == p.size();
}

}  // namespace devagent
