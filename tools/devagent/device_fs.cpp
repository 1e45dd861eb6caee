#include "tools/devagent/device_fs.h"

#include <dirent.h>
#include <sys/stat.h>

#include <vector>

#include "devicekit/wire/text_codec.h"

namespace devagent {

using klxpwire::Status;

namespace {

// The longest name a folder entry can have on the host (NAME_MAX, in UTF-8 bytes).
constexpr std::size_t kMaxNameBytes = 255;

bool ValidComponent(std::string_view name) {
    if (name.empty() || name.size() > kMaxNameBytes) return false;
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

// Finds an entry of `folder` that names the same file as `name`.
bool FindEntry(const std::string& folder, std::string_view name, std::string& found) {
    struct stat st {};
    const std::string exact = folder + "/" + std::string(name);
    if (lstat(exact.c_str(), &st) == 0) {
        found = std::string(name);
        return true;
    }
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return false;
    const std::u16string key = FoldUnits(name);
    bool hit = false;
    while (const dirent* entry = readdir(dir)) {
        if (FoldUnits(TrimName(entry->d_name)) == key) {
            found = entry->d_name;
            hit = true;
            break;
        }
    }
    closedir(dir);
    return hit;
}

}  // namespace

char16_t UpperCaseUnit(char16_t u) {
    if (u >= 'a' && u <= 'z') return static_cast<char16_t>(u - 0x20);
    if (u < 0xB5) return u;
    if (u == 0xB5 || u == 0x3BC) return 0x39C;  // micro sign and Greek mu: capital mu
    if (u >= 0xE0 && u <= 0xFE && u != 0xF7) return static_cast<char16_t>(u - 0x20);
    if (u == 0xFF) return 0x178;
    if (u < 0x100 || u > 0x17F) return u;
    // Latin Extended-A: pairs of capital and small letter, in two alternations, and a few
    // letters of their own.
    if (u == 0x131) return 'I';  // dotless i
    if (u == 0x17F) return 'S';  // long s
    if (u == 0x130 || u == 0x138 || u == 0x149 || u == 0x178) return u;
    const bool small_is_odd = u <= 0x137 || (u >= 0x14A && u <= 0x177);
    if (small_is_odd) return (u & 1U) != 0 ? static_cast<char16_t>(u - 1) : u;
    return (u & 1U) == 0 ? static_cast<char16_t>(u - 1) : u;
}

std::u16string FoldUnits(std::string_view utf8) {
    std::u16string units;
    if (!klxpwire::Utf8ToUtf16(utf8, units)) {
        // Not UTF-8 (a host name no device could have given): compared byte for byte.
        units.assign(utf8.begin(), utf8.end());
        return units;
    }
    for (char16_t& u : units) u = UpperCaseUnit(u);
    return units;
}

std::string FoldName(std::string_view utf8) { return klxpwire::Utf16ToUtf8(FoldUnits(utf8)); }

std::string_view TrimName(std::string_view name) {
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.remove_suffix(1);
    return name;
}

bool SameName(std::string_view a, std::string_view b) { return FoldUnits(a) == FoldUnits(b); }

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
    for (const std::string_view given : SplitDevicePath(device_path)) {
        if (given == "." || given == "..") return Status::kBadPath;
        // As on the device, "name." and "name " are "name".
        const std::string_view part = TrimName(given);
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
    const std::u16string n = FoldUnits(name);
    const std::u16string p = FoldUnits(pattern);
    // Iterative glob with one backtrack point for the last "*"; "?" is one character.
    std::size_t ni = 0, pi = 0, star = std::u16string::npos, resume = 0;
    while (ni < n.size()) {
        if (pi < p.size() && (p[pi] == u'?' || p[pi] == n[ni])) {
            ++ni;
            ++pi;
        } else if (pi < p.size() && p[pi] == u'*') {
            star = pi++;
            resume = ni;
        } else if (star != std::u16string::npos) {
            pi = star + 1;
            ni = ++resume;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == u'*') ++pi;
    return pi == p.size();
}

}  // namespace devagent
