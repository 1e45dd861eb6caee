#include "service/camera_file/writer.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include <thread>

#include "platform/atomic_file.h"
#include "service/block_pipeline.h"
#include "service/cache_file.h"
#include "service/camera_file/exchange_order.h"

namespace service {

namespace {

// 9 micro-degrees of latitude per metre, cells of 2500 m.
constexpr std::int32_t kLatitudeCellSize = 22500;
constexpr double kMicroDegreesPerMetre = 9.0;
constexpr double kCellMetres = 2500.0;
// The device file has always been computed with this value; a more precise one would move
// cameras near cell borders into other cells.
constexpr double kPi = 3.14159265358979;

// Camera chunks are gathered in blocks so the file sees few large writes.
constexpr std::size_t kChunksPerBlock = 4096;
constexpr std::size_t kPrefetchDistance = 16;

void CopyName(char (&to)[52], const char (&from)[52]) {
    const void* nul = std::memchr(from, '\0', sizeof from);
    std::size_t length = nul != nullptr ? static_cast<const char*>(nul) - from : sizeof from - 1;
    if (length > sizeof to - 1) length = sizeof to - 1;
    std::memcpy(to, from, length);
    std::memset(to + length, 0, sizeof to - length);
}

// Below this many cameras a second thread costs more than it saves.
constexpr std::size_t kCamerasForTwoThreads = 4096;

// The keys of the second half are computed on a thread of their own.
std::vector<std::int32_t> CellKeysOf(const std::vector<CameraRecord>& cameras) {
    std::vector<std::int32_t> keys(cameras.size());
    const auto range = [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) keys[i] = CellOf(cameras[i].latitude, cameras[i].longitude).cellKey;
    };
    if (cameras.size() < kCamerasForTwoThreads) {
        range(0, cameras.size());
        return keys;
    }
    const std::size_t half = cameras.size() / 2;
    std::thread second(range, half, cameras.size());
    range(0, half);
    second.join();
    return keys;
}

std::vector<CellGroup> CellIndexOf(std::span<const std::int32_t> keys, const std::vector<std::uint32_t>& order) {
    std::vector<CellGroup> cells;
    for (std::uint32_t k = 0; k < order.size(); ++k) {
        const std::int32_t key = keys[order[k]];
        if (cells.empty() || cells.back().cellKey != key) {
            cells.push_back({key, k, 0});
        }
        ++cells.back().cameraCount;
    }
    return cells;
}

bool WriteHeader(platform::AtomicFile& file, const std::vector<CellGroup>& cells) {
    HeaderChunkStart start{};
    start.prefix.type = kHeaderChunkType;
    start.prefix.length = static_cast<std::uint32_t>(CameraFileSize(cells.size(), 0));
    std::memcpy(start.tag, kCameraFileTag, sizeof start.tag);
    return file.Write(&start, sizeof start) && file.Write(cells.data(), cells.size() * sizeof(CellGroup));
}

// The chunks are gathered in this thread, which jumps across the records; another writes
// them out, so that the copying into the file overlaps the gathering.
bool WriteCameras(platform::AtomicFile& file, const std::vector<CameraRecord>& cameras,
                  const std::vector<std::uint32_t>& order) {
    int error = 0;  // why the writing thread failed, for the caller's errno
    BlockPipeline<CameraChunk> chunks(kChunksPerBlock, 1, [&file, &error](CameraChunk* block, std::size_t count) {
        if (file.Write(block, count * sizeof(CameraChunk))) return true;
        error = errno;
        return false;
    });
    CameraChunk chunk{};
    chunk.prefix.type = kCameraChunkType;
    chunk.prefix.length = sizeof(CameraChunk);
    for (std::size_t k = 0; k < order.size(); ++k) {
        // The order jumps across the whole array: ask for the record a few steps ahead.
        if (k + kPrefetchDistance < order.size()) __builtin_prefetch(&cameras[order[k + kPrefetchDistance]]);
        chunk.camera = MakeDeviceRecord(cameras[order[k]]);
        if (!chunks.Append(chunk)) break;
    }
    if (chunks.Finish()) return true;
    errno = error;
    return false;
}

}  // namespace

CellPosition CellOf(std::int32_t latitude, std::int32_t longitude) {
    CellPosition cell{};
    cell.latitudeCell = latitude / kLatitudeCellSize;
    const double phi = latitude / 1000000.0 / 180.0 * kPi;
    const double width = (kMicroDegreesPerMetre / std::cos(phi)) * kCellMetres;
    // |width| >= 22500 because |cos| <= 1, so the quotient stays within +-95444: the
    // conversion, which truncates toward zero in every rounding mode, cannot overflow.
    cell.longitudeCell = static_cast<std::int32_t>(longitude / width);
    const std::uint32_t key = (static_cast<std::uint32_t>(cell.longitudeCell) << 16U) |
                              static_cast<std::uint32_t>(cell.latitudeCell);
    cell.cellKey = static_cast<std::int32_t>(key);
    return cell;
}

WorkRecord MakeWorkRecord(const CameraRecord& camera) {
    WorkRecord work{};
    work.latitude = camera.latitude;
    work.longitude = camera.longitude;
    work.direction = camera.direction;
    work.category = camera.category;
    CopyName(work.name, camera.name);
    work.extra = camera.extra;
    const CellPosition cell = CellOf(camera.latitude, camera.longitude);
    work.latitudeCell = cell.latitudeCell;
    work.longitudeCell = cell.longitudeCell;
    work.cellKey = cell.cellKey;
    return work;
}

DeviceCameraRecord MakeDeviceRecord(const CameraRecord& camera) {
    DeviceCameraRecord device{};
    device.longitude = camera.longitude / 10;
    device.latitude = camera.latitude / 10;
    CopyName(device.name, camera.name);
    device.direction = camera.direction;
    device.category = camera.category;
    return device;
}

CameraFileResult PreparedCameraFile::Prepare(const std::vector<CameraRecord>& local, const std::string& outPath,
                                             CameraFileSummary* summary, std::span<const std::int32_t> cellKeys) {
    file_.Abort();
    prepared_ = false;
    if (summary != nullptr) *summary = {};
    if (local.empty()) return CameraFileResult::kWritten;  // nothing to replace the earlier file with
    if (CameraFileSize(local.size(), 0) > UINT32_MAX) return CameraFileResult::kTooLarge;

    std::vector<std::int32_t> computed;
    if (cellKeys.size() != local.size()) computed = CellKeysOf(local);
    const std::span<const std::int32_t> keys = cellKeys.size() == local.size() ? cellKeys : computed;
    const std::vector<std::uint32_t> order = ExchangeSortOrder(keys);
    const std::vector<CellGroup> cells = CellIndexOf(keys, order);

    if (!file_.Open(outPath) || !WriteHeader(file_, cells) || !WriteCameras(file_, local, order) || !file_.Sync()) {
        file_.Abort();
        return CameraFileResult::kWriteFailed;  // the AtomicFile leaves any earlier file as it was
    }
    prepared_ = true;
    if (summary != nullptr) *summary = {local.size(), cells.size()};
    return CameraFileResult::kWritten;
}

CameraFileResult PreparedCameraFile::Commit() {
    if (!prepared_) return CameraFileResult::kWriteFailed;
    prepared_ = false;
    return file_.Commit() ? CameraFileResult::kWritten : CameraFileResult::kWriteFailed;
}

CameraFileResult BuildCameraFile(const std::vector<CameraRecord>& local, const std::string& outPath, CameraFileSummary* summary) {
    PreparedCameraFile file;
    const CameraFileResult prepared = file.Prepare(local, outPath, summary);
    if (prepared != CameraFileResult::kWritten || !file.prepared()) return prepared;
    const CameraFileResult committed = file.Commit();
    if (committed != CameraFileResult::kWritten && summary != nullptr) *summary = {};
    return committed;
}

CameraFileResult BuildCameraFileFromCache(const std::string& cachePath, const std::string& outPath, CameraFileSummary* summary) {
    std::vector<CameraRecord> local;
    if (!ReadCacheFile(cachePath, local)) local.clear();  // missing: nothing to write
    return BuildCameraFile(local, outPath, summary);
}

int CountCameraFileRecords(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return 0;
    struct stat st {};
    ChunkPrefix header{};
    const bool readable = fstat(fileno(f), &st) == 0 && st.st_size > 0 &&
                          std::fread(&header, sizeof header, 1, f) == 1;
    std::fclose(f);
    if (!readable || header.type != kHeaderChunkType) return 0;
    const auto size = static_cast<std::uint64_t>(st.st_size);
    // A header shorter than its own fixed part or longer than the file means this is not a
    // camera file (or a torn one); its "count" would be garbage.
    if (header.length < sizeof(HeaderChunkStart) || header.length > size) return 0;
    const std::uint64_t cameras = (size - header.length) / sizeof(CameraChunk);
    return cameras > INT_MAX ? INT_MAX : static_cast<int>(cameras);
}

}  // namespace service
