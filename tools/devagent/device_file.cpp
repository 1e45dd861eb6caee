#include "tools/devagent/device_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <random>
#include <vector>

namespace devagent {

namespace {

constexpr std::size_t kTemporarySuffix = 11;  // AtomicFile's ".tmp-XXXXXX"

std::string StagingName(const std::string& folder) {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937 random{std::random_device{}()};
    for (;;) {
        std::string name = folder + "/~devagent.tmp-";
        for (int i = 0; i < 6; ++i) name.push_back(kLetters[random() % (sizeof kLetters - 1)]);
        struct stat st {};
        if (lstat(name.c_str(), &st) != 0) return name;
    }
}

}  // namespace

DeviceFileWriter::~DeviceFileWriter() { Abort(); }

bool DeviceFileWriter::Open(const std::string& host_path) {
    Abort();
    target_ = host_path;
    written_ = 0;
    corrupt_at_ = UINT64_MAX;
    const std::size_t slash = host_path.rfind('/');
    const std::string folder = host_path.substr(0, slash);
    if (host_path.size() - slash - 1 + kTemporarySuffix > NAME_MAX) stage_ = StagingName(folder);
    return file_.Open(stage_.empty() ? target_ : stage_);
}

bool DeviceFileWriter::Write(const std::uint8_t* data, std::size_t size) {
    if (corrupt_at_ >= written_ && corrupt_at_ - written_ < size) {
        std::vector<std::uint8_t> piece(data, data + size);
        CorruptPiece(piece.data(), size, written_, corrupt_at_);
        written_ += size;
        return file_.Write(piece.data(), size);
    }
    written_ += size;
    return file_.Write(data, size);
}

bool DeviceFileWriter::Commit() {
    if (!file_.Commit()) {
        stage_.clear();
        return false;
    }
    if (stage_.empty()) return true;
    const bool renamed = std::rename(stage_.c_str(), target_.c_str()) == 0;
    if (!renamed) unlink(stage_.c_str());
    stage_.clear();
    return renamed && platform::SyncParentFolder(target_);
}

void DeviceFileWriter::Abort() {
    file_.Abort();  // the staging name exists only once AtomicFile committed to it
    stage_.clear();
}

void CorruptPiece(std::uint8_t* data, std::size_t size, std::uint64_t offset, std::uint64_t at) {
    if (at >= offset && at - offset < size) data[at - offset] ^= 0xA5U;
}

int RemoveLeftoverUploads(const std::string& root) {
    int removed = platform::RemoveLeftoverTemporaries(root);
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_directory(ec) || it->is_symlink(ec)) continue;
        removed += platform::RemoveLeftoverTemporaries(it->path().string());
    }
    return removed;
}

}  // namespace devagent
