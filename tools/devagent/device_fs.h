#pragma once
#include <string>
#include <string_view>

#include "devicekit/wire/status.h"

namespace devagent {

// The device's file system is a folder on the PC. Device paths ("\My Flash Disk\VyoMap\...",
// UTF-8 here) name entries of that folder as Windows CE does: without regard to letter case,
// and with trailing dots and blanks of each name dropped. They can never reach outside it:
// relative and host-absolute paths, "." and "..", drive letters, control characters, names
// longer than the host's 255 bytes and symbolic links are refused.
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

// Names compare as the device's file system compares them: upper-cased letter by letter
// (ASCII, Latin-1 and Latin Extended-A, with the micro sign as capital mu, dotless i as I and
// long s as S). Names that are not UTF-8 compare byte for byte.
char16_t UpperCaseUnit(char16_t unit);
std::u16string FoldUnits(std::string_view utf8);
std::string FoldName(std::string_view utf8);
// The name without its trailing dots and blanks, which the device ignores.
std::string_view TrimName(std::string_view name);
bool SameName(std::string_view a, std::string_view b);
std::string BaseName(const std::string& host_path);
// Windows wildcard match ("*", "?"; "*.*" matches every name), without regard to case.
bool MatchesPattern(std::string_view name, std::string_view pattern);

}  // namespace devagent
