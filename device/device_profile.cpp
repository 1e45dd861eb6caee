#include "device/device_profile.h"

#include <fstream>

#include "platform/resources.h"

namespace device {

namespace {

constexpr const char* kFlashDiskCamera = "\\My Flash Disk\\VyoMap\\VyoMap\\VyoTC\\pois\\zarniks.mtc";
constexpr const char* kFlashDiskUpdates = "\\My Flash Disk\\VyoMap\\VyoMap\\VyoTC\\pois\\poiupdates.upd";
constexpr const char* kDriveCamera = "\\VyoMap\\VyoMap\\VyoTC\\pois\\zarniks.mtc";
constexpr const char* kDriveUpdates = "\\VyoMap\\VyoMap\\VyoTC\\pois\\poiupdates.upd";
constexpr const char* kCardCamera = "\\Storage Card\\VyoMap\\VyoTC\\pois\\zarniks.mtc";
constexpr const char* kCardUpdates = "\\Storage Card\\VyoMap\\VyoTC\\pois\\poiupdates.upd";

}  // namespace

std::vector<std::string> SplitFields(const std::string& text) {
    std::vector<std::string> fields(1);
    for (const char c : text) {
        if (c == ':') {
            fields.emplace_back();
        } else if (fields.back().size() < kFieldLimit) {
            fields.back().push_back(c);
        }
    }
    return fields;
}

DeviceProfile ProfileForCode(const std::string& transportCode, const std::string& restartFlag) {
    DeviceProfile profile;
    profile.restartNavigator = restartFlag == "ST" ? 1 : 0;
    if (transportCode == "M1" || transportCode == "M2") {
        profile.transport = transportCode == "M1" ? TransportKind::kKlx : TransportKind::kKlxp;
        profile.cameraFilePath = kFlashDiskCamera;
        profile.personalUpdatesPath = kFlashDiskUpdates;
    } else if (transportCode == "MA") {
        profile.transport = TransportKind::kDrive;
        profile.cameraFilePath = kDriveCamera;
        profile.personalUpdatesPath = kDriveUpdates;
    } else {
        profile.transport = TransportKind::kRapi;
        profile.cameraFilePath = kCardCamera;
        profile.personalUpdatesPath = kCardUpdates;
    }
    return profile;
}

bool IsKnownTransportCode(const std::string& transportCode) {
    return transportCode == "M1" || transportCode == "M2" || transportCode == "MA" || transportCode == "RA";
}

const char* TransportName(TransportKind kind) {
    switch (kind) {
        case TransportKind::kKlx: return "USB library";
        case TransportKind::kKlxp: return "transfer protocol";
        case TransportKind::kDrive: return "mass storage";
        case TransportKind::kRapi: return "remote API";
        default: return "no transport";
    }
}

std::string DevicesIniPath(const platform::WorkFolder& folder) {
    std::string own = folder.Path(".\\devices.ini");
    if (platform::FileSizeOf(own) >= 0) return own;
    return platform::ResourceFolder() + "/devices.ini";
}

bool ReadDeviceModels(const std::string& path, std::vector<DeviceModel>& models) {
    models.clear();
    std::ifstream in(path);
    if (!in) return false;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() > kLineLimit) line.resize(kLineLimit);
        const std::vector<std::string> fields = SplitFields(line);
        if (fields[0].empty()) continue;
        const std::string& code = fields.size() > 1 ? fields[1] : std::string();
        const std::string& restart = fields.size() > 2 ? fields[2] : std::string();
        models.push_back({fields[0], code, ProfileForCode(code, restart)});
    }
    return !in.bad();
}

int LoadProfile(const std::string& path, std::uint32_t index, DeviceProfile& profile) {
    std::vector<DeviceModel> models;
    if (!ReadDeviceModels(path, models)) return 0;
    if (index < models.size()) profile = models[index].profile;
    return 1;
}

}  // namespace device
