#include "platform/registry.h"

#include <cstring>
#include <string>

namespace platform {

bool QueryStringValue(HKEY key, const char* name, char* buffer, std::uint32_t size) {
    if (buffer == nullptr || size == 0) return false;
    std::uint32_t type = kRegNone;
    std::uint32_t needed = 0;
    if (RegQueryValue(key, name, &type, nullptr, &needed) != kRegSuccess || type != kRegSz) return false;
    std::string text(needed, '\0');
    if (needed > 0 && RegQueryValue(key, name, &type, text.data(), &needed) != kRegSuccess) return false;
    if (type != kRegSz) return false;
    // A stored text may or may not carry its terminator; it ends at the first NUL either way.
    // One that does not fit fails as a query into a short buffer does: a cut serial or address
    // would be used as if it were the real one.
    const size_t length = strnlen(text.data(), text.size());
    if (length >= size) return false;
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return true;
}

bool QueryDwordValue(HKEY key, const char* name, std::uint32_t& value) {
    std::uint32_t type = kRegNone;
    std::uint32_t data = 0;
    std::uint32_t size = sizeof data;
    if (RegQueryValue(key, name, &type, &data, &size) != kRegSuccess || type != kRegDword || size != 4) return false;
    value = data;
    return true;
}

CRegistry::~CRegistry() {
    // Qualified: during destruction only this class's own Close can run.
    CRegistry::Close();
}

bool CRegistry::Open(HKEY root, const char* subKey, bool create) {
    Close();
    HKEY key = nullptr;
    const RegResult r = create ? RegCreateKey(root, subKey, &key) : RegOpenKey(root, subKey, &key);
    if (r != kRegSuccess) return false;
    key_ = key;
    const size_t length = subKey ? std::strlen(subKey) : 0;
    sub_key_ = new char[length + 1];
    if (length) std::memcpy(sub_key_, subKey, length);
    sub_key_[length] = '\0';
    return true;
}

bool CRegistry::Close() {
    if (key_ == nullptr) return true;
    delete[] sub_key_;
    sub_key_ = nullptr;
    const bool ok = RegCloseKey(key_) == kRegSuccess;
    key_ = nullptr;
    return ok;
}

bool CRegistry::GetValueSize(const char* name, std::uint32_t& size) {
    return key_ && RegQueryValue(key_, name, nullptr, nullptr, &size) == kRegSuccess;
}

bool CRegistry::SetBinary(const char* name, const void* data, std::uint32_t size) {
    return key_ && RegSetValue(key_, name, kRegBinary, data, size) == kRegSuccess;
}

bool CRegistry::SetString(const char* name, const char* text) {
    if (key_ == nullptr || text == nullptr) return false;
    const auto size = static_cast<std::uint32_t>(std::strlen(text) + 1);
    return RegSetValue(key_, name, kRegSz, text, size) == kRegSuccess;
}

bool CRegistry::SetDword(const char* name, std::uint32_t value) {
    return key_ && RegSetValue(key_, name, kRegDword, &value, sizeof value) == kRegSuccess;
}

bool CRegistry::GetBinary(const char* name, void* buffer, std::uint32_t size) {
    std::uint32_t type = kRegNone;
    return key_ && RegQueryValue(key_, name, &type, buffer, &size) == kRegSuccess && type == kRegBinary;
}

bool CRegistry::GetString(const char* name, char* buffer, std::uint32_t size) {
    return key_ && QueryStringValue(key_, name, buffer, size);
}

bool CRegistry::GetDword(const char* name, std::uint32_t& value) { return key_ && QueryDwordValue(key_, name, value); }

bool CRegistry::DeleteKey(const char* subKey) {
    return key_ && RegDeleteKey(key_, subKey ? subKey : "") == kRegSuccess;
}

bool CRegistry::DeleteValue(const char* name) { return key_ && RegDeleteValue(key_, name) == kRegSuccess; }

bool CRegistry::EnumKey(std::uint32_t index, char* buffer, std::uint32_t size) {
    return key_ && RegEnumKey(key_, index, buffer, &size) == kRegSuccess;
}

bool CRegistry::EnumValue(std::uint32_t index, char* buffer, std::uint32_t size, std::uint32_t& type) {
    return key_ && RegEnumValue(key_, index, buffer, &size, &type) == kRegSuccess;
}

}  // namespace platform
