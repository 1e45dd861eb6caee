#pragma once
#include <string>
#include <string_view>

#include "devicekit/wire/status.h"

namespace devagent {

// The device's file system is a folder on the PC. Device paths ("\My Flash Disk\VyoMap\...",
// UTF-8 here) name entries of that folder without regard to letter case, as Windows CE does,
// and can never reach outside it: relative and host-absolute paths, "." and "..", drive
// letters, control characters and symbolic links are refused.
class DeviceFs {
public:
    explicit DeviceFs(std::string root);

    const std::string& root() const { return root_; }
    // Gives the host path of a device path; the entries need not exist.
    klxpwire::Status Resolve(std::string_view device_path, std::string& host_path) const;
    // The device path of a host path below the root, "\" for the root itself.
    std::string DevicePathOf(const std::string& host_path) const;

private:
    std::string root_;
};

// Case-insensitive comparison of names as the device makes it (ASCII and Latin-1 letters).
std::string FoldName(std::string_view utf8);
bool SameName(std::string_view a, std::string_view b);
std::string BaseName(const std::string& host_path);
// Windows wildcard match ("*", "?"; "*.*" matches every name), without regard to case.
bool MatchesPattern(std::string_view name, std::string_view pattern);

}  // namespace devagent
