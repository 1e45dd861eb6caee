// Reading a camera file back from arbitrary bytes: whatever is accepted must be exactly as
// large as its cells and cameras say, with an index that covers the cameras in key order.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "service/camera_file/reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    service::CameraFileContents contents;
    std::string problem;
    if (!service::ParseCameraFile(data, size, contents, &problem)) {
        if (problem.empty() || !contents.cameras.empty() || !contents.cells.empty()) std::abort();
        return 0;
    }
    if (service::CameraFileSize(contents.cells.size(), contents.cameras.size()) != size) std::abort();
    std::uint64_t covered = 0;
    for (std::size_t g = 0; g < contents.cells.size(); ++g) {
        if (g > 0 && contents.cells[g - 1].cellKey >= contents.cells[g].cellKey) std::abort();
        covered += contents.cells[g].cameraCount;
    }
    if (covered != contents.cameras.size()) std::abort();
    return 0;
}
