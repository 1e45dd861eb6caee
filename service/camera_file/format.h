#pragma once
#include <cstddef>
#include <cstdint>

#include "service/camera_record.h"

// The speed-camera file the navigation software reads (".\zarniks.mtc"): a header chunk with
// the cell index, then one chunk per camera, cameras grouped by cell key in ascending order.
// Every chunk starts with a type byte and a uint32 length that counts the whole chunk.

namespace service {

inline constexpr std::uint8_t kHeaderChunkType = 100;
inline constexpr std::uint8_t kCameraChunkType = 200;
inline constexpr char kCameraFileTag[6] = {'K', 'o', 'r', 'v', 'a', '\0'};

#pragma pack(push, 1)

// A camera while the file is being built: the cache record's device-relevant fields plus its
// grid cell (about 2500 m on a side) and the key that orders the file.
struct WorkRecord {
    std::int32_t latitude;   // micro-degrees
    std::int32_t longitude;  // micro-degrees
    std::int32_t direction;
    std::int32_t category;
    char name[52];
    std::int32_t extra;
    std::int32_t latitudeCell;
    std::int32_t longitudeCell;
    std::int32_t cellKey;
};

// One entry of the header's cell index.
struct CellGroup {
    std::int32_t cellKey;
    std::uint32_t firstCamera;  // position in the file's camera order, from 0
    std::uint32_t cameraCount;
};

// One camera as the device reads it; positions in units of 0.00001 degree, longitude first.
struct DeviceCameraRecord {
    std::int32_t longitude;
    std::int32_t latitude;
    char name[52];  // always NUL-terminated, zero after the terminator
    std::int32_t direction;
    std::int32_t category;
};

struct ChunkPrefix {
    std::uint8_t type;
    std::uint32_t length;
};

// The fixed part of the header chunk; the cell index follows directly.
struct HeaderChunkStart {
    ChunkPrefix prefix;  // type 100, length 11 + 12 x cells
    char tag[6];         // "Korva" and a zero byte
};

struct CameraChunk {
    ChunkPrefix prefix;  // type 200, length 73
    DeviceCameraRecord camera;
};

#pragma pack(pop)

static_assert(sizeof(WorkRecord) == 84, "WorkRecord layout");
static_assert(sizeof(CellGroup) == 12, "CellGroup is 12 bytes on disk");
static_assert(sizeof(DeviceCameraRecord) == 68, "DeviceCameraRecord is 68 bytes on disk");
static_assert(offsetof(DeviceCameraRecord, name) == 8 && offsetof(DeviceCameraRecord, direction) == 60 &&
                  offsetof(DeviceCameraRecord, category) == 64,
              "DeviceCameraRecord field offsets");
static_assert(sizeof(ChunkPrefix) == 5, "chunk type byte + uint32 length");
static_assert(sizeof(HeaderChunkStart) == 11, "header chunk before the cell index");
static_assert(sizeof(CameraChunk) == 73, "camera chunk");

// Size of a camera file with the given numbers of cells and cameras.
constexpr std::uint64_t CameraFileSize(std::uint64_t cells, std::uint64_t cameras) {
    return sizeof(HeaderChunkStart) + sizeof(CellGroup) * cells + sizeof(CameraChunk) * cameras;
}

}  // namespace service
