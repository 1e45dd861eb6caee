#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "device/device_profile.h"
#include "device/link_result.h"
#include "device/transport.h"
#include "platform/pc_files.h"

// The one device access object: its profile (a line of devices.ini) and the operations every page
// uses whatever the transport. The transport is chosen when a profile loads and is the link's
// own, with its own client, so links do not share a connection (the USB library and the remote
// API excepted, which keep one per process). Every operation gives a device::LinkResult: done,
// or a fixed code with the cause. Every copy takes the PC file first and the device file
// second, whichever way it goes. Device paths begin with "\"; PC paths of the form ".\name"
// name files of the working folder, other PC paths are used as they stand.
//
// Unlike the transports it stands for, a link never reports a copy as done unless the whole
// file arrived, and a PC file is replaced only by a complete one (the earlier file stays on any
// failure). A link without a loaded profile is not connected: every operation fails.
//
// Over the remote API an upload keeps the device's file as "<path>.bak" until the new copy reads
// back equal. A ".bak" found before an upload was left by one that broke off and may be the
// only good copy: it is moved back first, never written over; when the file of the path holds
// data as well, both are kept and the upload fails.
class CDeviceLink {
public:
    CDeviceLink() = default;
    CDeviceLink(const CDeviceLink&) = delete;
    CDeviceLink& operator=(const CDeviceLink&) = delete;

    void SetWorkFolder(const platform::WorkFolder& folder) { folder_ = folder; }
    // How the link waits between tries of a device that is not ready yet; tests count the
    // pauses instead of sleeping through them.
    void SetPause(std::function<void(int milliseconds)> pause);
    // The device agent this link reaches ("host:port"), kept across profile changes; empty
    // leaves it to ZARNIK_DEVICE. For the USB library and the remote API it names the agent of
    // the whole process.
    void SetDeviceAddress(const std::string& address);
    // 1 when devices.ini (the working folder's, else the installed one) could be read; the
    // profile changes only when the index names a model.
    int LoadProfile(std::uint32_t index);
    void SetProfile(const device::DeviceProfile& profile);

    device::LinkResult Initialize(int flags);
    device::LinkResult Connect();
    // Both directions take (PC file, device file).
    device::LinkResult CopyToPc(const char* pcPath, const char* devicePath);
    device::LinkResult CopyToDevice(const char* pcPath, const char* devicePath);
    device::LinkResult RunOnDevice(const char* program, const char* arguments);
    device::LinkResult DeleteOnDevice(const char* devicePath);
    device::LinkResult Disconnect();

    // Ends the navigation program before its files are exchanged (not on mass storage).
    void StopNavigator();
    // Starts it again after the exchange, when the profile asks for it (flash-disk devices).
    void StartNavigator();
    // Leaves an empty file of that name on the device; gives the result of the copy.
    device::LinkResult ClearDeviceFile(const char* devicePath);
    // True when the transport can tell that the file does not exist on the device (a mounted
    // card, or the agent answering "not found"); false when it exists or the transport cannot
    // tell, as the USB library and the remote API cannot.
    bool FileMissingOnDevice(const char* devicePath);
    // Size and time of a device file where the transport can tell them without a copy.
    device::FileFacts Examine(const char* devicePath);

    // Told how far each copy has come, on the copying thread: the device file, the direction,
    // the bytes done and the size, and once more with `finished` when the copy ends.
    struct Transfer {
        std::string deviceFile;
        bool toDevice = false;
        std::uint64_t bytes = 0;
        std::uint64_t total = 0;
        double seconds = 0;
        bool finished = false;
    };
    void SetTransferObserver(std::function<void(const Transfer&)> observer);

    // The loaded profile, set only by LoadProfile and SetProfile (the transport follows them).
    char cameraFilePath[256] = {};
    char personalUpdatesPath[256] = {};
    device::TransportKind transport = device::TransportKind::kNone;
    std::int32_t restartNavigator = 0;

private:
    std::string PcPath(const char* pcPath) const;
    device::LinkResult Failed(device::LinkCode code, const std::string& step, const std::string& why) const;
    device::LinkResult Copy(const char* pcPath, const char* devicePath, bool toDevice);
    void TellTransfer(const Transfer& transfer) const;

    platform::WorkFolder folder_;
    std::function<void(const Transfer&)> observer_;
    Transfer current_;  // the copy under way
    std::string address_;
    std::function<void(int milliseconds)> pause_;
    std::unique_ptr<device::Transport> transport_;  // null while no profile is loaded
};
