#pragma once
#include <cstdint>
#include <string>

#include "platform/drives.h"

// Finds the device whose storage the PC sees as a drive (the mass-storage transport): the first
// removable drive, or fixed drive attached through USB, that holds the navigation program's data
// file "\VyoMap\Vyomap\data.zip" (letter case does not matter).
namespace device {

// The drive found by the last search (its mount point), the prefix of every device path of the
// mass-storage transport; empty while none was found. Cleared at the start of every search.
extern std::string deviceDrive;

inline constexpr std::uint32_t kBusTypeUsb = 7;

// 1 when a drive was accepted (deviceDrive is then set), else 0 with deviceDrive empty. The
// identification text is not used: every search tests the same drives the same way.
int FindDeviceDrive(const char* identification);

// True when the navigation program's data file, a regular file, can be opened for reading below
// the drive.
bool HasNavigatorData(const std::string& drive);

// The bus type of a drive's storage, as the storage descriptor reports it (7 for USB);
// false when it cannot be told.
bool QueryStorageBus(const platform::Drive& drive, std::uint32_t& busType);

}  // namespace device
