#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "device/device_profile.h"
#include "device/transport.h"
#include "platform/pc_files.h"

// The one device access object: its profile (a line of devices.ini) and the operations every page
// uses whatever the transport. The transport is chosen when a profile loads and is the link's
// own, with its own client, so links do not share a connection (the USB library and the remote
// API excepted, which keep one per process). Results are 1 for success, 0 for failure
// (Disconnect over RAPI excepted, as its library gives it). Every copy takes the PC file first
// and the device file second, whichever way it goes. Device paths begin with "\"; PC paths of
// the form ".\name" name files of the working folder, other PC paths are used as they stand.
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

    int Initialize(int flags);
    int Connect();
    // Both directions take (PC file, device file).
    int CopyToPc(const char* pcPath, const char* devicePath);
    int CopyToDevice(const char* pcPath, const char* devicePath);
    int RunOnDevice(const char* program, const char* arguments);
    int DeleteOnDevice(const char* devicePath);
    int Disconnect();

    // Ends the navigation program before its files are exchanged (not on mass storage).
    void StopNavigator();
    // Starts it again after the exchange, when the profile asks for it (flash-disk devices).
    void StartNavigator();
    // Leaves an empty file of that name on the device; gives the result of the copy.
    int ClearDeviceFile(const char* devicePath);
    // 1 when the transport can tell that the file does not exist on the device (a mounted
    // card, or the agent answering "not found"); 0 when it exists or the transport cannot tell,
    // as the USB library and the remote API cannot.
    int FileMissingOnDevice(const char* devicePath);

    // Why the last Connect, copy or deletion failed, for the user's "Cause:" line: the step, the
    // files, the transport and its account, as far as the transport gives one; empty after a
    // success.
    const std::string& last_failure() const { return failure_; }

    // The loaded profile, set only by LoadProfile and SetProfile (the transport follows them).
    char cameraFilePath[256] = {};
    char personalUpdatesPath[256] = {};
    device::TransportKind transport = device::TransportKind::kNone;
    std::int32_t restartNavigator = 0;

private:
    std::string PcPath(const char* pcPath) const;
    // Keeps the reason of a failed step and gives 0, the failure result.
    int Failed(const std::string& step, const std::string& why);

    platform::WorkFolder folder_;
    std::string failure_;
    std::string address_;
    std::function<void(int milliseconds)> pause_;
    std::unique_ptr<device::Transport> transport_;  // null while no profile is loaded
};
