#pragma once
// Records the device protocol classes exchange with their callers, in the device's (Windows CE)
// layouts: little-endian, packed, 32-bit words.
#include <cstdint>

#define KLXP_API __attribute__((visibility("default")))

namespace klxp {

#pragma pack(push, 1)
struct FILETIME {
    std::uint32_t dwLowDateTime;
    std::uint32_t dwHighDateTime;
};

struct SYSTEM_POWER_STATUS {
    std::uint8_t ACLineStatus;
    std::uint8_t BatteryFlag;
    std::uint8_t BatteryLifePercent;
    std::uint8_t Reserved1;
    std::uint32_t BatteryLifeTime;
    std::uint32_t BatteryFullLifeTime;
};

struct MEMORYSTATUS {
    std::uint32_t dwLength;
    std::uint32_t dwMemoryLoad;
    std::uint32_t dwTotalPhys;
    std::uint32_t dwAvailPhys;
    std::uint32_t dwTotalPageFile;
    std::uint32_t dwAvailPageFile;
    std::uint32_t dwTotalVirtual;
    std::uint32_t dwAvailVirtual;
};

struct WIN32_FILE_ATTRIBUTE_DATA {
    std::uint32_t dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    std::uint32_t nFileSizeHigh;
    std::uint32_t nFileSizeLow;
};

struct WIN32_FIND_DATAA {
    std::uint32_t dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    std::uint32_t nFileSizeHigh;
    std::uint32_t nFileSizeLow;
    std::uint32_t dwReserved0;
    std::uint32_t dwReserved1;
    char cFileName[260];
    char cAlternateFileName[14];
};

// The header of a protocol frame as DoControl sees it.
struct KlxpCommonHeader {
    std::uint32_t magic;
    std::uint16_t type;
    std::uint16_t flags;
    std::uint32_t length;
};
#pragma pack(pop)

static_assert(sizeof(SYSTEM_POWER_STATUS) == 12, "power status record is 12 bytes");
static_assert(sizeof(MEMORYSTATUS) == 32, "memory status record is 32 bytes");
static_assert(sizeof(WIN32_FILE_ATTRIBUTE_DATA) == 36, "file attribute record is 36 bytes");
static_assert(sizeof(WIN32_FIND_DATAA) == 318, "find record is 318 bytes packed");
static_assert(sizeof(KlxpCommonHeader) == 12, "frame header is 12 bytes");

// Progress of one file transfer, passed to OnSendData / OnReceiveData after each piece.
struct KlxpTransFile {
    const char* remotePath;
    const char* localPath;
    std::uint64_t totalBytes;
    std::uint64_t doneBytes;
};

constexpr std::uint32_t FILE_ATTRIBUTE_READONLY = 0x01;
constexpr std::uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr std::uint32_t FILE_ATTRIBUTE_ARCHIVE = 0x20;
constexpr std::uint32_t FILE_ATTRIBUTE_NORMAL = 0x80;

}  // namespace klxp
