// The numbered file commands of the device agent (delete tree, count files, start a program,
// free space, folders, copy, move, delete, attributes).
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "devicekit/wire/payload.h"
#include "tools/devagent/device_file.h"
#include "tools/devagent/device_state.h"

namespace devagent {

using klxpwire::Status;

namespace {

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFile(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool Exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

std::string ParentOf(const std::string& path) { return path.substr(0, path.rfind('/')); }

Status DeleteTree(DeviceState& device, const std::string& path) {
    if (device.refuse_writes) return Status::kAccessDenied;
    if (path == device.fs.root()) return Status::kAccessDenied;
    if (!IsDirectory(path)) return Exists(path) ? Status::kBadRequest : Status::kNotFound;
    if (device.TreeHoldsOpenFile(path)) return Status::kSharingViolation;
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
    return ec ? Status::kIoError : Status::kOk;
}

std::uint32_t CountMatches(const std::string& folder, const std::string& pattern, bool recursive) {
    std::uint32_t count = 0;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (MatchesPattern(name, pattern)) ++count;
        if (recursive && it->is_directory(ec) && !it->is_symlink(ec)) count += CountMatches(it->path().string(), pattern, true);
    }
    return count;
}

Status EnumFiles(const DeviceState& device, const std::string& ansi_path, bool recursive, std::vector<std::uint8_t>& reply) {
    // A last component with wildcards is the pattern; a folder alone means all its entries.
    std::string folder_path = ansi_path;
    std::string pattern = "*";
    const auto cut = ansi_path.find_last_of('\\');
    if (cut != std::string::npos && ansi_path.find_first_of("*?", cut) != std::string::npos) {
        folder_path = cut == 0 ? "\\" : ansi_path.substr(0, cut);
        pattern = ansi_path.substr(cut + 1);
    }
    std::string folder;
    const Status s = ResolveAnsi(device, folder_path, folder);
    if (s != Status::kOk) return s;
    std::uint32_t count = 0;
    if (IsDirectory(folder)) count = CountMatches(folder, pattern, recursive);
    else if (IsFile(folder)) count = 1;
    else return Status::kNotFound;
    reply = klxpwire::PayloadWriter().U32(count).bytes();
    return Status::kOk;
}

Status DiskFreeSpace(const std::string& path, std::vector<std::uint8_t>& reply) {
    struct statvfs vfs {};
    if (!Exists(path)) return Status::kNotFound;
    if (statvfs(path.c_str(), &vfs) != 0) return Status::kIoError;
    reply = klxpwire::PayloadWriter().U64(static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize).bytes();
    return Status::kOk;
}

Status CreateDirectory(const DeviceState& device, const std::string& path) {
    if (device.refuse_writes) return Status::kAccessDenied;
    if (Exists(path)) return Status::kAlreadyExists;
    if (!IsDirectory(ParentOf(path))) return Status::kNotFound;
    return ::mkdir(path.c_str(), 0755) == 0 ? Status::kOk : Status::kIoError;
}

Status CopyFile(DeviceState& device, const std::string& source, const std::string& target, bool fail_if_exists) {
    if (device.refuse_writes) return Status::kAccessDenied;
    if (!IsFile(source)) return Status::kNotFound;
    if (fail_if_exists && Exists(target)) return Status::kAlreadyExists;
    if (IsDirectory(target)) return Status::kAccessDenied;
    if (device.IsHeldOpen(target)) return Status::kSharingViolation;
    if (!IsDirectory(ParentOf(target))) return Status::kNotFound;
    std::optional<StepFault> fault;
    if (device.BeginStep(Step::kCopy, fault) != Status::kOk) return Status::kIoError;
    FILE* in = std::fopen(source.c_str(), "rb");
    if (in == nullptr) return Status::kIoError;
    DeviceFileWriter out;
    bool ok = out.Open(target);
    // A copy broken off midway writes its first bytes, then fails without touching the target.
    const bool midway = fault && fault->kind == FaultKind::kFailMidway;
    std::uint64_t budget = midway ? fault->at_byte : UINT64_MAX;
    struct stat st {};
    if (fault && fault->kind == FaultKind::kCorrupt && fstat(fileno(in), &st) == 0 && st.st_size > 0) {
        out.CorruptAt(std::min(fault->at_byte, static_cast<std::uint64_t>(st.st_size) - 1));
    }
    std::vector<std::uint8_t> buffer(1 << 16);
    for (std::size_t n = 0; ok && budget > 0 && (n = std::fread(buffer.data(), 1, buffer.size(), in)) > 0;) {
        const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(n, budget));
        ok = out.Write(buffer.data(), take);
        budget -= take;
    }
    ok = ok && !midway && std::ferror(in) == 0;
    std::fclose(in);
    return ok && out.Commit() ? Status::kOk : Status::kIoError;
}

Status MoveFile(DeviceState& device, const std::string& source, const std::string& target) {
    if (device.refuse_writes) return Status::kAccessDenied;
    if (!Exists(source)) return Status::kNotFound;
    if (Exists(target)) return Status::kAlreadyExists;
    if (device.TreeHoldsOpenFile(source) || device.IsHeldOpen(target)) return Status::kSharingViolation;
    if (!IsDirectory(ParentOf(target))) return Status::kNotFound;
    std::optional<StepFault> fault;
    if (device.BeginStep(Step::kMove, fault) != Status::kOk) return Status::kIoError;
    return std::rename(source.c_str(), target.c_str()) == 0 ? Status::kOk : Status::kIoError;
}

Status DeleteDirectory(const DeviceState& device, const std::string& path) {
    if (device.refuse_writes) return Status::kAccessDenied;
    if (path == device.fs.root()) return Status::kAccessDenied;
    if (!IsDirectory(path)) return Exists(path) ? Status::kBadRequest : Status::kNotFound;
    if (::rmdir(path.c_str()) == 0) return Status::kOk;
    return (errno == ENOTEMPTY || errno == EEXIST) ? Status::kNotEmpty : Status::kIoError;
}

Status Attributes(const std::string& path, std::vector<std::uint8_t>& reply) {
    if (!Exists(path)) return Status::kNotFound;
    AppendAttributeRecord(path, reply);
    return Status::kOk;
}

// How many texts each command takes: 1, 2, or -1 for "0 or 1".
int TextsFor(std::uint8_t code) {
    switch (code) {
        case 20: case 21: case 22: case 64: case 66: case 70: case 71: case 81: return 1;
        case 67: case 68: case 69: return 2;
        case 65: return -1;
        default: return 0;
    }
}

Status Dispatch(DeviceState& device, std::uint8_t code, const std::vector<std::string>& texts, std::vector<std::uint8_t>& reply) {
    std::string first, second;
    const bool enumerates = code == 21 || code == 22;  // resolves its own folder and pattern
    if (!texts.empty() && !enumerates) {
        const Status s = ResolveAnsi(device, texts[0], first);
        if (s != Status::kOk) return s;
    }
    if (texts.size() > 1) {
        const Status s = ResolveAnsi(device, texts[1], second);
        if (s != Status::kOk) return s;
    }
    switch (code) {
        case 20: return DeleteTree(device, first);
        case 21: return EnumFiles(device, texts[0], false, reply);
        case 22: return EnumFiles(device, texts[0], true, reply);
        case 64: return device.StartProgram(first);
        case 65: return DiskFreeSpace(texts.empty() ? device.fs.root() : first, reply);
        case 66: return CreateDirectory(device, first);
        case 67: return CopyFile(device, first, second, true);
        case 68: return CopyFile(device, first, second, false);
        case 69: return MoveFile(device, first, second);
        case 70: return DeleteFileAt(device, first);
        case 71: return DeleteDirectory(device, first);
        case 81: return Attributes(first, reply);
        default: return Status::kUnknownCommand;
    }
}

}  // namespace

Status RunNumberedCommand(DeviceState& device, std::uint8_t code, const std::vector<std::string>& texts,
                          std::uint16_t max_reply, std::vector<std::uint8_t>& reply) {
    reply.clear();
    const int wanted = TextsFor(code);
    if (wanted == 0) return Status::kUnknownCommand;
    const bool count_ok = wanted < 0 ? texts.size() <= 1 : texts.size() == static_cast<std::size_t>(wanted);
    if (!count_ok) return Status::kBadRequest;
    const Status s = Dispatch(device, code, texts, reply);
    if (s != Status::kOk) reply.clear();
    if (reply.size() > max_reply) {
        reply.clear();
        return Status::kMoreData;
    }
    return s;
}

}  // namespace devagent
