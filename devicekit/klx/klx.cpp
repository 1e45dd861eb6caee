#include "devicekit/klx/klx.h"

#include <string>

#include "devicekit/wire/client_session.h"
#include "platform/pc_files.h"

namespace {

struct KlxState {
    klxpwire::ClientSession session;
    std::string address;
    std::string failure;
    KLXProgress progress = nullptr;
    void* context = nullptr;
};

KlxState& State() {
    static KlxState state;
    return state;
}

std::string Address() {
    const std::string& chosen = State().address;
    return chosen.empty() ? klxpwire::DeviceAddressFromEnvironment() : chosen;
}

std::string LocalPath(const char* path) {
    const std::string text = path;
    return text.find('\\') != std::string::npos ? platform::CanonicalPcName(text) : text;
}

int Result(klxpwire::Status status) {
    KlxState& state = State();
    state.failure = state.session.FailureText(status);
    return status == klxpwire::Status::kOk ? 1 : 0;
}

klxpwire::TransferProgress Progress() {
    const KlxState& state = State();
    if (state.progress == nullptr) return {};
    return [progress = state.progress, context = state.context](std::uint64_t done, std::uint64_t total) {
        progress(context, done, total);
    };
}

}  // namespace

extern "C" {

int KLXInitialize(int /*flags*/) { return 1; }

int KLXConnectDevice(void) {
    KlxState& state = State();
    // A connection the agent may have dropped cannot be told from a live one without a request,
    // and the callers reconnect exactly when something went wrong.
    state.session.Close();
    return Result(state.session.Open(Address(), "KLX"));
}

int KLXCopyFileFromDevice(const char* devicePath, const char* pcPath) {
    if (devicePath == nullptr || pcPath == nullptr) return 0;
    return Result(State().session.Download(devicePath, LocalPath(pcPath), Progress()));
}

int KLXCopyFileToDevice(const char* pcPath, const char* devicePath) {
    if (devicePath == nullptr || pcPath == nullptr) return 0;
    return Result(State().session.Upload(LocalPath(pcPath), devicePath, Progress()));
}

int KLXCreateProcess(const char* program, const char* arguments) {
    if (program == nullptr) return 0;
    return Result(State().session.CreateProcess(program, arguments != nullptr ? arguments : ""));
}

int KLXDeleteFile(const char* devicePath) {
    if (devicePath == nullptr) return 0;
    return Result(State().session.Delete(devicePath));
}

void KLXSetDeviceAddress(const char* address) { State().address = address != nullptr ? address : ""; }

const char* KLXLastFailure(void) { return State().failure.c_str(); }

void KLXSetProgress(KLXProgress progress, void* context) {
    State().progress = progress;
    State().context = context;
}

}  // extern "C"
