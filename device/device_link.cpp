#include "device/device_link.h"

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

int CDeviceLink::Failed(const std::string& step, const std::string& why) {
    failure_ = step + " (" + device::TransportName(transport) + "): " + why;
    return 0;
}

int CDeviceLink::Initialize(int flags) { return transport_ ? transport_->Initialize(flags) : 0; }

int CDeviceLink::Connect() {
    failure_.clear();
    if (!transport_) return Failed("connecting", kNoModel);
    std::string why;
    const int result = transport_->Connect(why);
    return result != 0 ? result : Failed("connecting", why);
}

int CDeviceLink::CopyToPc(const char* pcPath, const char* devicePath) {
    failure_.clear();
    const std::string pc = PcPath(pcPath);
    const std::string step = "copying " + Text(devicePath) + " from the device to " + pc;
    if (!transport_) return Failed(step, kNoModel);
    std::string why;
    return transport_->CopyToPc(pc, devicePath, why) == 1 ? 1 : Failed(step, why);
}

int CDeviceLink::CopyToDevice(const char* pcPath, const char* devicePath) {
    failure_.clear();
    const std::string pc = PcPath(pcPath);
    const std::string step = "copying " + pc + " to " + Text(devicePath) + " on the device";
    if (!transport_) return Failed(step, kNoModel);
    std::string why;
    return transport_->CopyToDevice(pc, devicePath, why) == 1 ? 1 : Failed(step, why);
}

int CDeviceLink::RunOnDevice(const char* program, const char* arguments) {
    return transport_ ? transport_->RunOnDevice(program, arguments) : 0;
}

int CDeviceLink::DeleteOnDevice(const char* devicePath) {
    return transport_ ? transport_->DeleteOnDevice(devicePath) : 0;
}

int CDeviceLink::FileMissingOnDevice(const char* devicePath) {
    return transport_ ? transport_->FileMissingOnDevice(devicePath) : 0;
}

int CDeviceLink::Disconnect() { return transport_ ? transport_->Disconnect() : 0; }

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

int CDeviceLink::ClearDeviceFile(const char* devicePath) {
    platform::AtomicFile empty;
    if (!empty.Open(folder_.Path(kEmptyFile)) || !empty.Commit()) return 0;
    const int copied = CopyToDevice(kEmptyFile, devicePath);
    folder_.Delete(kEmptyFile);
    return copied;
}
