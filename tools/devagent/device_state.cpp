#include "tools/devagent/device_state.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "devicekit/klxpcc/klxp_types.h"
#include "devicekit/wire/payload.h"
#include "devicekit/wire/text_codec.h"

namespace devagent {

using klxpwire::Status;

bool DeviceState::TakeCopyFailure() {
    int left = fail_copies.load();
    while (left > 0) {
        if (fail_copies.compare_exchange_weak(left, left - 1)) return true;
    }
    return false;
}

Status DeviceState::BeginStep(Step step, std::optional<StepFault>& fault) {
    fault = faults.Next(step);
    const bool fail_now = (fault && fault->kind == FaultKind::kFail) || (step != Step::kMove && TakeCopyFailure());
    if (fail_now) fault.reset();
    return fail_now ? Status::kIoError : Status::kOk;
}

bool DeviceState::IsHeldOpen(const std::string& host_path) const {
    return navigator_running.load() && SameName(BaseName(host_path), kCameraFileName);
}

bool DeviceState::TreeHoldsOpenFile(const std::string& host_path) const {
    if (!navigator_running.load()) return false;
    if (IsHeldOpen(host_path)) return true;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(host_path, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (IsHeldOpen(it->path().string())) return true;
    }
    return false;
}

Status DeviceState::StartProgram(const std::string& host_path) {
    struct stat st {};
    if (stat(host_path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return Status::kNotFound;
    std::string navigator;
    fs.Resolve(kNavigatorProgram, navigator);
    if (SameName(host_path, navigator)) {
        navigator_running = true;
    } else if (SameName(BaseName(host_path), kStopProgramName)) {
        navigator_running = false;
    }
    return Status::kOk;
}

bool DeviceState::CreateLayout(std::string& error) const {
    std::string folder, program;
    fs.Resolve(kCameraFolder, folder);
    fs.Resolve(kNavigatorProgram, program);
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        error = "cannot create " + folder + ": " + ec.message();
        return false;
    }
    if (!std::filesystem::exists(program, ec)) {
        FILE* f = std::fopen(program.c_str(), "wb");
        if (f == nullptr) {
            error = "cannot create " + program;
            return false;
        }
        std::fputs("MZ emulated VyoMap navigation program\n", f);
        std::fclose(f);
    }
    return true;
}

Status ResolveAnsi(const DeviceState& device, const std::string& ansi_path, std::string& host_path) {
    return device.fs.Resolve(klxpwire::AnsiToUtf8(ansi_path), host_path);
}

Status DeleteFileAt(DeviceState& device, const std::string& host_path) {
    if (device.refuse_writes) return Status::kAccessDenied;
    struct stat st {};
    if (lstat(host_path.c_str(), &st) != 0) return Status::kNotFound;
    if (!S_ISREG(st.st_mode)) return Status::kAccessDenied;
    if (device.IsHeldOpen(host_path)) return Status::kSharingViolation;
    return unlink(host_path.c_str()) == 0 ? Status::kOk : Status::kIoError;
}

namespace {

void AppendFileTime(std::vector<std::uint8_t>& out, const timespec& t) {
    // 100-ns ticks since 1601-01-01.
    const std::uint64_t ticks = (static_cast<std::uint64_t>(t.tv_sec) + 11644473600ULL) * 10000000ULL +
                                static_cast<std::uint64_t>(t.tv_nsec) / 100U;
    klxpwire::PayloadWriter w;
    w.U64(ticks);
    out.insert(out.end(), w.bytes().begin(), w.bytes().end());
}

}  // namespace

void AppendAttributeRecord(const std::string& host_path, std::vector<std::uint8_t>& out) {
    struct stat st {};
    stat(host_path.c_str(), &st);
    std::uint32_t attributes = S_ISDIR(st.st_mode) ? klxp::FILE_ATTRIBUTE_DIRECTORY : klxp::FILE_ATTRIBUTE_ARCHIVE;
    if ((st.st_mode & S_IWUSR) == 0) attributes |= klxp::FILE_ATTRIBUTE_READONLY;
    const auto size = S_ISDIR(st.st_mode) ? 0ULL : static_cast<std::uint64_t>(st.st_size);
    klxpwire::PayloadWriter w;
    w.U32(attributes);
    out.insert(out.end(), w.bytes().begin(), w.bytes().end());
    AppendFileTime(out, st.st_mtim);
    AppendFileTime(out, st.st_atim);
    AppendFileTime(out, st.st_mtim);
    klxpwire::PayloadWriter sizes;
    sizes.U32(static_cast<std::uint32_t>(size >> 32)).U32(static_cast<std::uint32_t>(size));
    out.insert(out.end(), sizes.bytes().begin(), sizes.bytes().end());
}

}  // namespace devagent
