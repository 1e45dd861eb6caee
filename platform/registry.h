#pragma once
#include <cstdint>

#include "platform/registry_store.h"

namespace platform {

// A small wrapper of one open registry key. The virtual operations keep the order the callers
// were written against; every one gives true on success.
class CRegistry {
public:
    CRegistry() = default;
    virtual ~CRegistry();
    CRegistry(const CRegistry&) = delete;
    CRegistry& operator=(const CRegistry&) = delete;

    virtual bool Open(HKEY root, const char* subKey, bool create);
    virtual bool Close();
    virtual bool GetValueSize(const char* name, std::uint32_t& size);
    virtual bool SetBinary(const char* name, const void* data, std::uint32_t size);
    virtual bool SetString(const char* name, const char* text);
    virtual bool SetDword(const char* name, std::uint32_t value);
    virtual bool GetBinary(const char* name, void* buffer, std::uint32_t size);
    // Reads a REG_SZ value into the buffer, terminated; a text that does not fit in size - 1
    // characters fails, leaving the buffer as it was.
    virtual bool GetString(const char* name, char* buffer, std::uint32_t size);
    virtual bool GetDword(const char* name, std::uint32_t& value);
    virtual bool DeleteKey(const char* subKey);
    virtual bool DeleteValue(const char* name);
    virtual bool EnumKey(std::uint32_t index, char* buffer, std::uint32_t size);
    virtual bool EnumValue(std::uint32_t index, char* buffer, std::uint32_t size, std::uint32_t& type);

    bool is_open() const { return key_ != nullptr; }
    const char* sub_key() const { return sub_key_; }

private:
    HKEY key_ = nullptr;
    char* sub_key_ = nullptr;
};

// Reads a REG_SZ value of an open key into a fixed buffer. False when the value is missing, of
// another type, or too long for the buffer (then the buffer is untouched).
bool QueryStringValue(HKEY key, const char* name, char* buffer, std::uint32_t size);
// Reads a REG_DWORD value; false when missing or of another type.
bool QueryDwordValue(HKEY key, const char* name, std::uint32_t& value);

}  // namespace platform
