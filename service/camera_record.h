#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/key_chain_index.h"

// Records of the PC cache files. They are written and read as raw bytes: packed,
// little-endian (this code runs on little-endian hosts only, checked below).

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the file formats are little-endian");

namespace service {

#pragma pack(push, 1)

// One camera of ".\local.cache", ".\mut.cache" and "newconfig.dat".
struct CameraRecord {
    std::int32_t latitude;    // micro-degrees
    std::int32_t longitude;   // micro-degrees
    std::int32_t direction;   // 0..360; -1 every, -2 none, 361..720 both ways
    std::int32_t category;    // compared with 27515 by the duplicate test
    char name[52];            // NUL-terminated, at most 51 characters
    std::int32_t extra;       // carried, never interpreted on the PC
    std::int32_t identifier;  // the service's camera identifier
    std::int32_t flag;        // local cache: 0 personal, else official; mutation cache: 1 change, 0 delete
};

// One information message of ".\info.cache".
struct InfoRecord {
    std::int32_t identifier;
    char text[1024];  // NUL-terminated, at most 1023 characters
};

#pragma pack(pop)

static_assert(sizeof(CameraRecord) == 80, "CameraRecord is 80 bytes on disk");
static_assert(offsetof(CameraRecord, name) == 16 && offsetof(CameraRecord, extra) == 68 &&
                  offsetof(CameraRecord, identifier) == 72 && offsetof(CameraRecord, flag) == 76,
              "CameraRecord field offsets");
static_assert(sizeof(InfoRecord) == 1028, "InfoRecord is 1028 bytes on disk");

inline std::uint64_t PositionKey(const CameraRecord& r) { return platform::PositionKey(r.latitude, r.longitude); }

}  // namespace service
