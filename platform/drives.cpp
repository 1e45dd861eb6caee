#include "platform/drives.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cctype>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace platform {

namespace {

std::string ReadFirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// mountinfo escapes blanks and some other bytes in paths as \ooo.
std::string Unescape(const std::string& field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && std::isdigit(static_cast<unsigned char>(field[i + 1])) &&
            std::isdigit(static_cast<unsigned char>(field[i + 2])) &&
            std::isdigit(static_cast<unsigned char>(field[i + 3]))) {
            out.push_back(static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0')));
            i += 3;
        } else {
            out.push_back(field[i]);
        }
    }
    return out;
}

// The kind of the block device major:minor: a partition's "removable" is its disk's.
void ClassifyBlockDevice(const std::string& majorMinor, Drive& drive) {
    const std::string link = "/sys/dev/block/" + majorMinor;
    char resolved[PATH_MAX];
    if (realpath(link.c_str(), resolved) == nullptr) return;
    const std::string device(resolved);
    drive.usb = device.find("/usb") != std::string::npos;
    std::string removable = ReadFirstLine(device + "/removable");
    if (removable.empty()) removable = ReadFirstLine(device + "/../removable");
    drive.kind = removable == "1" ? DriveKind::kRemovable : DriveKind::kFixed;
}

bool SameIgnoringCase(const char* a, const std::string& b) {
    std::size_t i = 0;
    for (; a[i] != '\0' && i < b.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return a[i] == '\0' && i == b.size();
}

}  // namespace

std::vector<Drive> ListDrives() {
    std::vector<Drive> drives;
    if (const char* env = std::getenv("ZARNIK_DRIVES"); env && *env) {
        std::stringstream folders(env);
        std::string folder;
        while (std::getline(folders, folder, ':')) {
            if (!folder.empty()) drives.push_back({folder, DriveKind::kRemovable, false});
        }
    }
    std::ifstream mounts("/proc/self/mountinfo");
    std::string line;
    while (std::getline(mounts, line)) {
        // id parent major:minor root mountpoint ...
        std::istringstream fields(line);
        std::string id, parent, majorMinor, root, mountPoint;
        if (!(fields >> id >> parent >> majorMinor >> root >> mountPoint)) continue;
        if (majorMinor.rfind("0:", 0) == 0) continue;  // no block device below it
        Drive drive{Unescape(mountPoint), DriveKind::kOther, false};
        ClassifyBlockDevice(majorMinor, drive);
        if (drive.kind != DriveKind::kOther) drives.push_back(drive);
    }
    return drives;
}

std::string FindBelowIgnoringCase(const std::string& root, const std::string& relativePath) {
    std::string path = root;
    std::stringstream parts(relativePath);
    std::string part;
    while (std::getline(parts, part, '\\')) {
        if (part.empty()) continue;
        if (part == "." || part == ".." || part.find('/') != std::string::npos) return "";
        DIR* dir = opendir(path.c_str());
        if (dir == nullptr) return "";
        std::string match;
        while (const dirent* entry = readdir(dir)) {
            if (SameIgnoringCase(entry->d_name, part)) {
                match = entry->d_name;
                break;
            }
        }
        closedir(dir);
        if (match.empty()) return "";
        path += "/" + match;
    }
    return path;
}

}  // namespace platform
