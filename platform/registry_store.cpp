#include "platform/registry_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/atomic_file.h"

namespace platform {

struct RegKeyHandle {
    std::string path;
};

namespace {

RegKeyHandle g_localMachine{"HKEY_LOCAL_MACHINE"};
RegKeyHandle g_currentUser{"HKEY_CURRENT_USER"};

struct Value {
    std::string name;
    std::uint32_t type = kRegNone;
    std::string bytes;
};

struct Key {
    std::string path;
    std::vector<Value> values;
};

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

bool IsRoot(HKEY key) { return key == &g_localMachine || key == &g_currentUser; }

// ---- the text form of the store -------------------------------------------------------------

std::string Escape(const std::string& bytes) {
    std::string out;
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && c < 0x7f && c != '\\' && c != '"') {
            out.push_back(ch);
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        }
    }
    return out;
}

// Reads a quoted, escaped text starting at line[pos] == '"'; pos ends after the closing quote.
bool Unescape(const std::string& line, size_t& pos, std::string& out) {
    if (pos >= line.size() || line[pos] != '"') return false;
    for (++pos; pos < line.size(); ++pos) {
        const char c = line[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c != '\\') {
            // The writer escapes every control byte: a raw one means the text is not ours.
            const auto byte = static_cast<unsigned char>(c);
            if (byte < 0x20 || byte == 0x7f) return false;
            out.push_back(c);
            continue;
        }
        if (pos + 3 >= line.size() || line[pos + 1] != 'x') return false;
        const std::string hex = line.substr(pos + 2, 2);
        char* end = nullptr;
        const long v = std::strtol(hex.c_str(), &end, 16);
        if (end != hex.c_str() + 2) return false;
        out.push_back(static_cast<char>(v));
        pos += 3;
    }
    return false;
}

std::string FormatValue(const Value& v) {
    std::string line = "\"" + Escape(v.name) + "\"=";
    // A text is written as the user would type it: its one terminator is implied, never spelt
    // out. A text value that is not exactly one terminated text keeps every byte in hex.
    const std::size_t nul = v.bytes.find('\0');
    if (v.type == kRegSz && nul != std::string::npos && nul + 1 == v.bytes.size()) {
        return line + "sz:\"" + Escape(v.bytes.substr(0, nul)) + "\"";
    }
    if (v.type == kRegDword && v.bytes.size() == 4) {
        std::uint32_t n;
        std::memcpy(&n, v.bytes.data(), 4);
        char text[16];
        std::snprintf(text, sizeof text, "dword:%08x", n);
        return line + text;
    }
    char head[32];
    std::snprintf(head, sizeof head, "hex(%u):", v.type);
    line += head;
    for (size_t i = 0; i < v.bytes.size(); ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, i ? ",%02x" : "%02x", static_cast<unsigned char>(v.bytes[i]));
        line += hex;
    }
    return line;
}

bool ParseValue(const std::string& line, Value& v) {
    size_t pos = 0;
    if (!Unescape(line, pos, v.name) || pos >= line.size() || line[pos] != '=') return false;
    if (v.name.find('\0') != std::string::npos) return false;  // no caller could ever name it
    const std::string rest = line.substr(pos + 1);
    if (rest.rfind("sz:", 0) == 0) {
        size_t p = 3;
        v.type = kRegSz;
        if (!Unescape(rest, p, v.bytes)) return false;
        // Older stores spelt the terminator out; both forms hold the same text.
        if (v.bytes.empty() || v.bytes.back() != '\0') v.bytes.push_back('\0');
        return true;
    }
    if (rest.rfind("dword:", 0) == 0) {
        char* end = nullptr;
        const unsigned long n = std::strtoul(rest.c_str() + 6, &end, 16);
        if (end == rest.c_str() + 6 || n > 0xffffffffUL) return false;
        const auto value = static_cast<std::uint32_t>(n);
        v.type = kRegDword;
        v.bytes.assign(reinterpret_cast<const char*>(&value), 4);
        return true;
    }
    unsigned type = 0;
    int used = 0;
    if (std::sscanf(rest.c_str(), "hex(%u):%n", &type, &used) != 1 || used == 0) return false;
    v.type = type;
    std::istringstream in(rest.substr(static_cast<size_t>(used)));
    std::string byte;
    while (std::getline(in, byte, ',')) {
        if (byte.empty()) continue;
        v.bytes.push_back(static_cast<char>(std::strtoul(byte.c_str(), nullptr, 16)));
    }
    return true;
}

enum class StoreState { kAbsent, kRead, kUnreadable, kDamaged };

struct LoadedStore {
    std::vector<Key> keys;
    StoreState state = StoreState::kAbsent;
    std::string problem;  // what is wrong with a store that is unreadable or damaged
};

// The store is a few hundred bytes; anything far larger is not ours.
constexpr std::size_t kStoreLimit = 1 << 20;

bool ReadStoreText(const std::string& path, std::string& text, LoadedStore& store) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return false;
        store.state = StoreState::kUnreadable;
        store.problem = "cannot read the settings store " + path + ": " + std::strerror(errno);
        return false;
    }
    char chunk[4096];
    ssize_t n = 0;
    while ((n = ::read(fd, chunk, sizeof chunk)) > 0 && text.size() <= kStoreLimit) {
        text.append(chunk, static_cast<std::size_t>(n));
    }
    const int readError = n < 0 ? errno : 0;
    ::close(fd);
    if (readError != 0 || text.size() > kStoreLimit) {
        store.state = StoreState::kUnreadable;
        store.problem = "cannot read the settings store " + path + ": " +
                        (readError != 0 ? std::strerror(readError) : "it is far too large to be one");
        return false;
    }
    return true;
}

// Reads every value it can; a line it cannot make sense of marks the store damaged, so that
// no write replaces the file and drops what that line held.
LoadedStore LoadStore() {
    LoadedStore store;
    const std::string path = SettingsStorePath();
    std::string text;
    if (!ReadStoreText(path, text, store)) return store;
    store.state = StoreState::kRead;
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        bool understood = line.empty() || line.front() == ';';
        if (line.size() > 2 && line.front() == '[' && line.back() == ']') {
            store.keys.push_back(Key{line.substr(1, line.size() - 2), {}});
            understood = true;
        } else if (!store.keys.empty() && !line.empty() && line.front() == '"') {
            Value v;
            understood = ParseValue(line, v);
            if (understood) store.keys.back().values.push_back(std::move(v));
        }
        if (!understood && store.state == StoreState::kRead) {
            store.state = StoreState::kDamaged;
            store.problem = "the settings store " + path + " is damaged at line " + std::to_string(number) +
                            "; repair or remove it";
        }
    }
    return store;
}

// Writes go only to a store that was read whole: anything else would lose what it holds.
RegResult WriteRefusal(const LoadedStore& store) {
    if (store.state == StoreState::kUnreadable) return kRegAccessDenied;
    if (store.state == StoreState::kDamaged) return kRegCorrupt;
    return kRegSuccess;
}

void MakeParentFolders(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        mkdir(path.substr(0, slash).c_str(), 0700);
    }
}

bool SaveStore(const std::vector<Key>& keys) {
    const std::string path = SettingsStorePath();
    MakeParentFolders(path);
    std::string text = "; Zarnik settings store: registry keys and their typed values\n";
    for (const Key& k : keys) {
        text += "[" + k.path + "]\n";
        for (const Value& v : k.values) text += FormatValue(v) + "\n";
    }
    AtomicFile file;
    return file.Open(path, 0600) && file.Write(text.data(), text.size()) && file.Commit();
}

Key* FindKey(std::vector<Key>& keys, const std::string& path) {
    for (Key& k : keys) {
        if (SameName(k.path, path)) return &k;
    }
    return nullptr;
}

Value* FindValue(Key& key, const char* name) {
    const std::string wanted = name ? name : "";
    for (Value& v : key.values) {
        if (SameName(v.name, wanted)) return &v;
    }
    return nullptr;
}

bool IsBelow(const std::string& path, const std::string& parent) {
    return path.size() > parent.size() + 1 && path[parent.size()] == '\\' &&
           SameName(path.substr(0, parent.size()), parent);
}

bool KeyExists(std::vector<Key>& keys, const std::string& path) {
    if (FindKey(keys, path) != nullptr) return true;
    for (const Key& k : keys) {
        if (IsBelow(k.path, path)) return true;
    }
    return false;
}

std::string ChildPath(HKEY root, const char* subKey) {
    std::string sub = subKey ? subKey : "";
    while (!sub.empty() && sub.front() == '\\') sub.erase(0, 1);
    while (!sub.empty() && sub.back() == '\\') sub.pop_back();
    return sub.empty() ? root->path : root->path + "\\" + sub;
}

bool Valid(HKEY key) { return key != nullptr; }

RegResult CopyOut(const std::string& bytes, void* data, std::uint32_t* size) {
    const auto needed = static_cast<std::uint32_t>(bytes.size());
    if (data == nullptr) {
        if (size) *size = needed;
        return kRegSuccess;
    }
    if (size == nullptr) return kRegAccessDenied;
    if (*size < needed) {
        *size = needed;
        return kRegMoreData;
    }
    std::memcpy(data, bytes.data(), needed);
    *size = needed;
    return kRegSuccess;
}

}  // namespace

HKEY LocalMachineRoot() { return &g_localMachine; }

std::string SettingsStoreProblem() { return LoadStore().problem; }
HKEY CurrentUserRoot() { return &g_currentUser; }

std::string SettingsStorePath() {
    if (const char* env = std::getenv("ZARNIK_SETTINGS"); env && *env) return env;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) return std::string(xdg) + "/zarnik/settings.reg";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.config/zarnik/settings.reg";
}

RegResult RegOpenKey(HKEY root, const char* subKey, HKEY* out) {
    if (!Valid(root) || out == nullptr) return kRegInvalidHandle;
    *out = nullptr;
    LoadedStore store = LoadStore();
    if (store.state == StoreState::kUnreadable) return kRegAccessDenied;
    auto& keys = store.keys;
    const std::string path = ChildPath(root, subKey);
    if (!KeyExists(keys, path)) return kRegFileNotFound;
    *out = new RegKeyHandle{path};
    return kRegSuccess;
}

RegResult RegCreateKey(HKEY root, const char* subKey, HKEY* out) {
    if (!Valid(root) || out == nullptr) return kRegInvalidHandle;
    *out = nullptr;
    LoadedStore store = LoadStore();
    if (const RegResult refused = WriteRefusal(store); refused != kRegSuccess) return refused;
    auto& keys = store.keys;
    const std::string path = ChildPath(root, subKey);
    if (FindKey(keys, path) == nullptr) {
        keys.push_back(Key{path, {}});
        if (!SaveStore(keys)) return kRegAccessDenied;
    }
    *out = new RegKeyHandle{path};
    return kRegSuccess;
}

RegResult RegCloseKey(HKEY key) {
    if (!Valid(key)) return kRegInvalidHandle;
    if (!IsRoot(key)) delete key;
    return kRegSuccess;
}

RegResult RegQueryValue(HKEY key, const char* name, std::uint32_t* type, void* data, std::uint32_t* size) {
    if (!Valid(key)) return kRegInvalidHandle;
    auto keys = LoadStore().keys;
    Key* k = FindKey(keys, key->path);
    Value* v = k ? FindValue(*k, name) : nullptr;
    if (v == nullptr) return kRegFileNotFound;
    if (type) *type = v->type;
    return CopyOut(v->bytes, data, size);
}

RegResult RegSetValue(HKEY key, const char* name, std::uint32_t type, const void* data, std::uint32_t size) {
    if (!Valid(key) || (data == nullptr && size > 0)) return kRegInvalidHandle;
    LoadedStore store = LoadStore();
    if (const RegResult refused = WriteRefusal(store); refused != kRegSuccess) return refused;
    auto& keys = store.keys;
    Key* k = FindKey(keys, key->path);
    if (k == nullptr) {
        keys.push_back(Key{key->path, {}});
        k = &keys.back();
    }
    Value* v = FindValue(*k, name);
    if (v == nullptr) {
        k->values.push_back(Value{name ? name : "", type, {}});
        v = &k->values.back();
    }
    v->type = type;
    v->bytes.assign(static_cast<const char*>(data), size);
    return SaveStore(keys) ? kRegSuccess : kRegAccessDenied;
}

RegResult RegDeleteValue(HKEY key, const char* name) {
    if (!Valid(key)) return kRegInvalidHandle;
    LoadedStore store = LoadStore();
    if (const RegResult refused = WriteRefusal(store); refused != kRegSuccess) return refused;
    auto& keys = store.keys;
    Key* k = FindKey(keys, key->path);
    Value* v = k ? FindValue(*k, name) : nullptr;
    if (v == nullptr) return kRegFileNotFound;
    k->values.erase(k->values.begin() + (v - k->values.data()));
    return SaveStore(keys) ? kRegSuccess : kRegAccessDenied;
}

RegResult RegDeleteKey(HKEY key, const char* subKey) {
    if (!Valid(key)) return kRegInvalidHandle;
    LoadedStore store = LoadStore();
    if (const RegResult refused = WriteRefusal(store); refused != kRegSuccess) return refused;
    auto& keys = store.keys;
    const std::string path = ChildPath(key, subKey);
    for (const Key& k : keys) {
        if (IsBelow(k.path, path)) return kRegAccessDenied;  // keys with sub-keys stay, as on Windows
    }
    Key* k = FindKey(keys, path);
    if (k == nullptr) return kRegFileNotFound;
    keys.erase(keys.begin() + (k - keys.data()));
    return SaveStore(keys) ? kRegSuccess : kRegAccessDenied;
}

RegResult RegEnumKey(HKEY key, std::uint32_t index, char* name, std::uint32_t* size) {
    if (!Valid(key) || name == nullptr || size == nullptr) return kRegInvalidHandle;
    auto keys = LoadStore().keys;
    std::vector<std::string> children;
    for (const Key& k : keys) {
        if (!IsBelow(k.path, key->path)) continue;
        std::string child = k.path.substr(key->path.size() + 1);
        child = child.substr(0, child.find('\\'));
        bool seen = false;
        for (const auto& c : children) seen = seen || SameName(c, child);
        if (!seen) children.push_back(child);
    }
    if (index >= children.size()) return kRegNoMoreItems;
    const std::string& child = children[index];
    if (*size <= child.size()) return kRegMoreData;
    std::memcpy(name, child.c_str(), child.size() + 1);
    *size = static_cast<std::uint32_t>(child.size());
    return kRegSuccess;
}

RegResult RegEnumValue(HKEY key, std::uint32_t index, char* name, std::uint32_t* size, std::uint32_t* type) {
    if (!Valid(key) || name == nullptr || size == nullptr) return kRegInvalidHandle;
    auto keys = LoadStore().keys;
    Key* k = FindKey(keys, key->path);
    if (k == nullptr || index >= k->values.size()) return kRegNoMoreItems;
    const Value& v = k->values[index];
    if (*size <= v.name.size()) return kRegMoreData;
    std::memcpy(name, v.name.c_str(), v.name.size() + 1);
    *size = static_cast<std::uint32_t>(v.name.size());
    if (type) *type = v.type;
    return kRegSuccess;
}

}  // namespace platform
