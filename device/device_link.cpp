#include "device/device_link.h"

#include <chrono>
#include <string>
#include <utility>

#include "platform/atomic_file.h"
#include "platform/fixed_text.h"
#include "platform/resources.h"

namespace {

constexpr const char* kStopProgram = ".\\shutdown.exe";
constexpr const char* kStopProgramOnDevice = "\\shutdown.exe";
constexpr const char* kEmptyFile = ".\\temp.dat";
constexpr const char* kNoModel = "no device model is loaded";

std::string Text(const char* text) { return text != nullptr ? text : ""; }

}  // namespace

void CDeviceLink::SetPause(std::function<void(int milliseconds)> pause) {
    pause_ = std::move(pause);
    if (transport_) transport_->SetPause(pause_);
}

void CDeviceLink::SetDeviceAddress(const std::string& address) {
    address_ = address;
    if (transport_) transport_->SetAddress(address_);
}

int CDeviceLink::LoadProfile(std::uint32_t index) {
    device::DeviceProfile profile;
    profile.transport = transport;
    profile.cameraFilePath = cameraFilePath;
    profile.personalUpdatesPath = personalUpdatesPath;
    profile.restartNavigator = restartNavigator;
    if (device::LoadProfile(device::DevicesIniPath(folder_), index, profile) != 1) return 0;
    SetProfile(profile);
    return 1;
}

// A profile of the same transport keeps the transport it has, and with it its connection.
void CDeviceLink::SetProfile(const device::DeviceProfile& profile) {
    if (!transport_ || profile.transport != transport) {
        transport_ = device::MakeTransport(profile.transport);
        if (transport_) {
            transport_->SetPause(pause_);
            if (!address_.empty()) transport_->SetAddress(address_);
        }
    }
    transport = profile.transport;
    restartNavigator = profile.restartNavigator;
    platform::CopyToField(cameraFilePath, profile.cameraFilePath.c_str());
    platform::CopyToField(personalUpdatesPath, profile.personalUpdatesPath.c_str());
}

std::string CDeviceLink::PcPath(const char* pcPath) const {
    std::string text = Text(pcPath);
    if (text.rfind(".\\", 0) != 0) return text;
    if (text == kStopProgram && folder_.SizeOf(text) < 0) return platform::ResourceFolder() + "/shutdown.exe";
    return folder_.Path(text);
}

device::LinkResult CDeviceLink::Failed(device::LinkCode code, const std::string& step, const std::string& why) const {
    std::string cause = step + " (" + device::TransportName(transport) + ")";
    if (!why.empty()) cause += ": " + why;
    return {code, cause};
}

device::LinkResult CDeviceLink::Initialize(int flags) {
    if (!transport_) return Failed(device::LinkCode::kNoModel, "preparing the connection", kNoModel);
    if (transport_->Initialize(flags) != 0) return {};
    return Failed(device::LinkCode::kNotConnected, "preparing the connection", transport_->LastFailure());
}

device::LinkResult CDeviceLink::Connect() {
    if (!transport_) return Failed(device::LinkCode::kNoModel, "connecting", kNoModel);
    std::string why;
    if (transport_->Connect(why) == 1) return {};
    return Failed(device::LinkCode::kNotConnected, "connecting", why);
}

void CDeviceLink::SetTransferObserver(std::function<void(const Transfer&)> observer) { observer_ = std::move(observer); }

void CDeviceLink::TellTransfer(const Transfer& transfer) const {
    if (observer_) observer_(transfer);
}

device::LinkResult CDeviceLink::Copy(const char* pcPath, const char* devicePath, bool toDevice) {
    const std::string pc = PcPath(pcPath);
    const std::string step = toDevice ? "copying " + pc + " to " + Text(devicePath) + " on the device"
                                      : "copying " + Text(devicePath) + " from the device to " + pc;
    if (!transport_) return Failed(device::LinkCode::kNoModel, step, kNoModel);
    current_ = Transfer{};
    current_.deviceFile = Text(devicePath);
    current_.toDevice = toDevice;
    const auto started = std::chrono::steady_clock::now();
    const auto elapsed = [started] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    };
    transport_->SetProgress([this, &elapsed](std::uint64_t done, std::uint64_t total) {
        current_.bytes = done;
        current_.total = total;
        current_.seconds = elapsed();
        TellTransfer(current_);
    });
    std::string why;
    const int result = toDevice ? transport_->CopyToDevice(pc, devicePath, why) : transport_->CopyToPc(pc, devicePath, why);
    transport_->SetProgress({});
    current_.seconds = elapsed();
    current_.finished = true;
    TellTransfer(current_);
    if (result == 1) return {};
    return Failed(device::LinkCode::kCopyFailed, step, why);
}

device::LinkResult CDeviceLink::CopyToPc(const char* pcPath, const char* devicePath) {
    return Copy(pcPath, devicePath, false);
}

device::LinkResult CDeviceLink::CopyToDevice(const char* pcPath, const char* devicePath) {
    return Copy(pcPath, devicePath, true);
}

device::LinkResult CDeviceLink::RunOnDevice(const char* program, const char* arguments) {
    const std::string step = "starting " + Text(program) + " on the device";
    if (!transport_) return Failed(device::LinkCode::kNoModel, step, kNoModel);
    if (transport_->RunOnDevice(program, arguments) == 1) return {};
    return Failed(device::LinkCode::kCommandFailed, step, transport_->LastFailure());
}

device::LinkResult CDeviceLink::DeleteOnDevice(const char* devicePath) {
    const std::string step = "deleting " + Text(devicePath) + " on the device";
    if (!transport_) return Failed(device::LinkCode::kNoModel, step, kNoModel);
    if (transport_->DeleteOnDevice(devicePath) == 1) return {};
    return Failed(device::LinkCode::kCommandFailed, step, transport_->LastFailure());
}

bool CDeviceLink::FileMissingOnDevice(const char* devicePath) {
    return Examine(devicePath).state == device::FileFacts::State::kMissing;
}

device::FileFacts CDeviceLink::Examine(const char* devicePath) {
    return transport_ ? transport_->Examine(devicePath) : device::FileFacts{};
}

device::LinkResult CDeviceLink::Disconnect() {
    if (!transport_) return Failed(device::LinkCode::kNoModel, "disconnecting", kNoModel);
    if (transport_->Disconnect() == 1) return {};
    return Failed(device::LinkCode::kDisconnectFailed, "disconnecting", "there was no connection to close");
}

void CDeviceLink::StopNavigator() {
    if (!transport_ || !transport_->StopsNavigator()) return;
    CopyToDevice(kStopProgram, kStopProgramOnDevice);
    RunOnDevice(kStopProgramOnDevice, "");
}

void CDeviceLink::StartNavigator() {
    if (restartNavigator == 1 && transport_ && transport_->RestartsNavigator()) {
        RunOnDevice(device::kNavigatorProgram, "");
    }
}

device::LinkResult CDeviceLink::ClearDeviceFile(const char* devicePath) {
    platform::AtomicFile empty;
    if (!empty.Open(folder_.Path(kEmptyFile)) || !empty.Commit()) {
        return Failed(device::LinkCode::kCopyFailed, "emptying " + Text(devicePath) + " on the device",
                      "cannot write " + folder_.Path(kEmptyFile));
    }
    device::LinkResult copied = CopyToDevice(kEmptyFile, devicePath);
    folder_.Delete(kEmptyFile);
    return copied;
}
