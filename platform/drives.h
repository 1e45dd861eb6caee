#pragma once
#include <string>
#include <vector>

// The storage the PC sees: mounted file systems, as drives were on the original platform.
namespace platform {

// What kind of storage holds a mounted file system, from the kernel's view of its block device.
enum class DriveKind { kRemovable = 2, kFixed = 3, kOther = 0 };

struct Drive {
    std::string root;  // the mount point (or the test folder)
    DriveKind kind = DriveKind::kOther;
    bool usb = false;  // the block device hangs below a USB controller
};

// The drives in a stable order: first the folders named in $ZARNIK_DRIVES (colon-separated), as
// removable drives, in the order given; then the mounted file systems of /proc/self/mountinfo
// that sit on a block device, in mount order. A removable device is recognised from sysfs
// ("removable" of the disk), a USB one from the device's path below /sys/devices. Unreadable
// entries are passed over; nothing is ever written.
std::vector<Drive> ListDrives();

// The path of relativePath (Windows-style, "\"-separated) below root, each component matched
// without regard to letter case as the device's file system does; empty when some component is
// missing. Never leaves root: "." and ".." components match nothing.
std::string FindBelowIgnoringCase(const std::string& root, const std::string& relativePath);

}  // namespace platform
