#include "devicekit/rapi/rapi.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "devicekit/wire/client_session.h"

struct CeFile {
    std::string path;
    bool writing = false;
    std::vector<char> data;
    std::size_t position = 0;
};

namespace {

struct RapiState {
    klxpwire::ClientSession session;
    std::string address;
    CeRapiEvent event;
    std::string failure;
    klxpwire::TransferProgress progress;
};


RapiState& State() {
    static RapiState state;
    return state;
}

// Keeps what a session call met and tells whether it went well.
bool Went(klxpwire::Status status) {
    RapiState& state = State();
    state.failure = state.session.FailureText(status);
    return status == klxpwire::Status::kOk;
}

std::string Address() {
    const std::string& chosen = State().address;
    return chosen.empty() ? klxpwire::DeviceAddressFromEnvironment() : chosen;
}

// A PC file of its own for one whole-file transfer, removed again when done with.
class ScratchFile {
public:
    ScratchFile() {
        std::error_code error;
        std::string pattern = (std::filesystem::temp_directory_path(error) / "zarnik-rapi-XXXXXX").string();
        if (error) pattern = "/tmp/zarnik-rapi-XXXXXX";
        fd_ = ::mkstemp(pattern.data());
        if (fd_ >= 0) path_ = pattern;
    }
    ~ScratchFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    bool ok() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }

    bool Fill(const std::vector<char>& data) const {
        std::size_t done = 0;
        while (done < data.size()) {
            const ssize_t n = ::write(fd_, data.data() + done, data.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    // The download replaced the file under this name, so it is opened afresh.
    bool Load(std::vector<char>& data) const {
        const int in = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        if (in < 0) return false;
        char block[65536];
        bool ok = true;
        for (;;) {
            const ssize_t n = ::read(in, block, sizeof block);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                ok = n == 0;
                break;
            }
            data.insert(data.end(), block, block + n);
        }
        ::close(in);
        return ok;
    }

private:
    int fd_ = -1;
    std::string path_;
};

bool Upload(const std::string& path, const std::vector<char>& data) {
    ScratchFile scratch;
    const klxpwire::TransferProgress none;
    return scratch.ok() && scratch.Fill(data) &&
           Went(State().session.Upload(scratch.path(), path, data.empty() ? none : State().progress));
}

}  // namespace

bool CeRapiEvent::Wait(int /*milliseconds*/) const {
    // The connection is settled before CeRapiInitEx returns, so there is nothing to wait for.
    return settled_ && signalled_;
}

HRESULT CeRapiInitEx(RAPIINIT* init) {
    if (init == nullptr || init->cbSize < 12) return E_FAIL;
    RapiState& state = State();
    state.session.Close();
    const bool up = Went(state.session.Open(Address(), "RAPI"));
    state.event.signalled_ = up;
    state.event.settled_ = true;
    init->heRapiInit = &state.event;
    init->hrRapiInit = up ? S_OK : E_FAIL;
    return S_OK;
}

HRESULT CeRapiUninit() {
    RapiState& state = State();
    const bool was_open = state.session.is_open();
    state.session.Close();
    state.event.signalled_ = false;
    state.event.settled_ = false;
    return was_open ? S_OK : E_FAIL;
}

CeHandle CeCreateFile(const char* path, std::uint32_t access, std::uint32_t /*share*/, void* /*security*/,
                      std::uint32_t creation, std::uint32_t /*attributes*/, void* /*templateFile*/) {
    if (path == nullptr) return nullptr;
    auto file = std::make_unique<CeFile>();
    file->path = path;
    if (access == GENERIC_WRITE && creation == CREATE_ALWAYS) {
        file->writing = true;
        if (!Upload(file->path, {})) return nullptr;
        return file.release();
    }
    if (access == GENERIC_READ && creation == OPEN_EXISTING) {
        ScratchFile scratch;
        if (!scratch.ok() || !Went(State().session.Download(file->path, scratch.path(), State().progress)) ||
            !scratch.Load(file->data)) {
            return nullptr;
        }
        return file.release();
    }
    return nullptr;  // other ways of opening are not needed by the tool
}

int CeReadFile(CeHandle file, void* buffer, std::uint32_t size, std::uint32_t* read, void* /*overlapped*/) {
    if (read != nullptr) *read = 0;
    if (file == nullptr || file->writing || (buffer == nullptr && size > 0) || read == nullptr) return 0;
    const std::size_t n = std::min<std::size_t>(size, file->data.size() - file->position);
    if (n > 0) std::memcpy(buffer, file->data.data() + file->position, n);
    file->position += n;
    *read = static_cast<std::uint32_t>(n);
    return 1;
}

int CeWriteFile(CeHandle file, const void* buffer, std::uint32_t size, std::uint32_t* written, void* /*overlapped*/) {
    if (written != nullptr) *written = 0;
    if (file == nullptr || !file->writing || (buffer == nullptr && size > 0) || written == nullptr) return 0;
    const auto* bytes = static_cast<const char*>(buffer);
    file->data.insert(file->data.end(), bytes, bytes + size);
    *written = size;
    return 1;
}

int CeCloseHandle(CeHandle file) {
    if (file == nullptr) return 0;
    const std::unique_ptr<CeFile> owned(file);
    // An empty file is already on the device since the open.
    if (!owned->writing || owned->data.empty()) return 1;
    return Upload(owned->path, owned->data) ? 1 : 0;
}

int CeDeleteFile(const char* path) {
    return path != nullptr && State().session.Delete(path) == klxpwire::Status::kOk ? 1 : 0;
}

int CeMoveFile(const char* existing, const char* target) {
    if (existing == nullptr || target == nullptr) return 0;
    std::vector<std::uint8_t> reply;
    constexpr std::uint8_t kMoveCommand = 69;
    return State().session.Command(kMoveCommand, {existing, target}, 0, reply) == klxpwire::Status::kOk ? 1 : 0;
}

int CeCreateProcess(const char* program, const char* arguments, void* /*processSecurity*/, void* /*threadSecurity*/,
                    int /*inheritHandles*/, std::uint32_t /*flags*/, void* /*environment*/, const char* /*folder*/,
                    void* /*startupInfo*/, CE_PROCESS_INFORMATION* information) {
    if (information != nullptr) *information = {};
    if (program == nullptr) return 0;
    return State().session.CreateProcess(program, arguments != nullptr ? arguments : "") == klxpwire::Status::kOk
               ? 1
               : 0;
}

void CeRapiSetDeviceAddress(const char* address) { State().address = address != nullptr ? address : ""; }

const char* CeRapiLastFailure() { return State().failure.c_str(); }

void CeRapiSetProgress(std::function<void(std::uint64_t done, std::uint64_t total)> progress) {
    State().progress = std::move(progress);
}
