#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/pc_files.h"

// The device models of devices.ini and what each needs: the transport that reaches it, where
// its navigation program keeps the speed-camera and personal-updates files, and whether the
// program is started again after an exchange.
//
// devices.ini holds one model a line, fields separated by ":": the name (a line whose name is
// empty is no model), the transport code ("M1" KLX, "M2" the transfer protocol, "MA" mass
// storage, anything else RAPI; compared exactly, with case), and "ST" when the navigation
// program is to be restarted. Further fields are ignored.
namespace device {

enum class TransportKind : std::int32_t {
    kNone = 0,  // no profile loaded: no device can be reached
    kKlx = 1,
    kKlxp = 2,
    kDrive = 3,
    kRapi = 4,
};

struct DeviceProfile {
    TransportKind transport = TransportKind::kNone;
    std::string cameraFilePath;       // device path, "\"-separated
    std::string personalUpdatesPath;  // device path, "\"-separated
    std::int32_t restartNavigator = 0;
};

// The program started on "M1" and "M2" devices after an exchange.
inline constexpr const char* kNavigatorProgram = "\\my flash disk\\vyomap\\vyomap\\vyomap.exe";

// Field texts of the devices.ini format: at most this many characters each, and a line of at
// most kLineLimit characters; longer ones are cut, as the settings dialogs show them.
inline constexpr std::size_t kFieldLimit = 29;
inline constexpr std::size_t kLineLimit = 255;

// Splits a line at every ":"; each field cut to kFieldLimit characters.
std::vector<std::string> SplitFields(const std::string& text);

// The transport kind and fixed path set of a transport code.
DeviceProfile ProfileForCode(const std::string& transportCode, const std::string& restartFlag);

// "M1", "M2", "MA" and "RA", the codes devices.ini is written with. Any other code (a typing
// error, "ma" in lower case, none at all) still gives the remote API, so that is worth a word
// to whoever chooses such a model.
bool IsKnownTransportCode(const std::string& transportCode);

// How the user is told which transport reaches a device: "USB library", "transfer protocol",
// "mass storage", "remote API", or "no transport".
const char* TransportName(TransportKind kind);

// devices.ini of the working folder when there is one, else the installed one.
std::string DevicesIniPath(const platform::WorkFolder& folder);

struct DeviceModel {
    std::string name;
    std::string transportCode;  // as the line gives it
    DeviceProfile profile;
};

// The models of a devices.ini in file order (lines without a name are no model); false, with
// no models, when the file cannot be read. The settings lists and LoadProfile both use it, so a
// list position and a profile index always agree.
bool ReadDeviceModels(const std::string& path, std::vector<DeviceModel>& models);

// The profile of model `index`: 1 when the file could be read (profile is set only when the
// index names a model; otherwise it keeps what it held), 0 when it could not.
int LoadProfile(const std::string& path, std::uint32_t index, DeviceProfile& profile);
// What the user is told, with the caption "Error", when devices.ini cannot be read.
inline constexpr const char* kDevicesIniMissingText =
    "Device config file seems missing, please correct by re-installing application";

}  // namespace device
