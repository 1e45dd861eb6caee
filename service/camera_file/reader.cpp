#include "service/camera_file/reader.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

namespace service {

namespace {

bool Fail(std::string* problem, const char* why) {
    if (problem != nullptr) *problem = why;
    return false;
}

bool CellIndexCoversCameras(const std::vector<CellGroup>& cells, std::size_t cameras) {
    std::uint64_t next = 0;
    for (std::size_t g = 0; g < cells.size(); ++g) {
        if (g > 0 && cells[g].cellKey <= cells[g - 1].cellKey) return false;
        if (cells[g].firstCamera != next || cells[g].cameraCount == 0) return false;
        next += cells[g].cameraCount;
    }
    return next == cameras;
}

}  // namespace

bool ParseCameraFile(const std::uint8_t* data, std::size_t size, CameraFileContents& out, std::string* problem) {
    out = {};
    HeaderChunkStart start{};
    if (size < sizeof start) return Fail(problem, "shorter than a header chunk");
    std::memcpy(&start, data, sizeof start);
    if (start.prefix.type != kHeaderChunkType) return Fail(problem, "does not start with a header chunk");
    if (std::memcmp(start.tag, kCameraFileTag, sizeof start.tag) != 0) return Fail(problem, "wrong tag");
    const std::size_t headerLength = start.prefix.length;
    if (headerLength < sizeof start || headerLength > size || (headerLength - sizeof start) % sizeof(CellGroup) != 0) {
        return Fail(problem, "header length does not fit the file");
    }
    if ((size - headerLength) % sizeof(CameraChunk) != 0) return Fail(problem, "trailing partial camera chunk");

    out.cells.resize((headerLength - sizeof start) / sizeof(CellGroup));
    if (!out.cells.empty()) std::memcpy(out.cells.data(), data + sizeof start, out.cells.size() * sizeof(CellGroup));
    out.cameras.reserve((size - headerLength) / sizeof(CameraChunk));
    for (std::size_t at = headerLength; at < size; at += sizeof(CameraChunk)) {
        CameraChunk chunk{};
        std::memcpy(&chunk, data + at, sizeof chunk);
        if (chunk.prefix.type != kCameraChunkType || chunk.prefix.length != sizeof(CameraChunk)) {
            out = {};
            return Fail(problem, "malformed camera chunk");
        }
        if (std::memchr(chunk.camera.name, '\0', sizeof chunk.camera.name) == nullptr) {
            out = {};
            return Fail(problem, "camera name without terminator");
        }
        out.cameras.push_back(chunk.camera);
    }
    if (!CellIndexCoversCameras(out.cells, out.cameras.size())) {
        out = {};
        return Fail(problem, "cell index does not match the cameras");
    }
    return true;
}

bool ReadCameraFileBack(const std::string& path, CameraFileContents& out, std::string* problem) {
    out = {};
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return Fail(problem, "cannot be opened");
    struct stat st {};
    std::vector<std::uint8_t> bytes;
    bool readable = fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode);
    if (readable) {
        bytes.resize(static_cast<std::size_t>(st.st_size));
        readable = bytes.empty() || std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
    }
    std::fclose(f);
    if (!readable) return Fail(problem, "cannot be read as a file");
    return ParseCameraFile(bytes.data(), bytes.size(), out, problem);
}

}  // namespace service
