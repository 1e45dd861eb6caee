#include "pc_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <utility>

namespace platform {

std::string CanonicalPcName(const std::string& windowsName) {
    std::string name;
    name.reserve(windowsName.size());
    for (const char c : windowsName) {
        if (c == '\\') {
            name.push_back('/');
        } else {
            name.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
        }
    }
    while (name.rfind("./", 0) == 0) name.erase(0, 2);
    return name;
}

WorkFolder::WorkFolder(std::string root) : root_(root.empty() ? std::string(1, '.') : std::move(root)) {
    while (root_.size() > 1 && root_.back() == '/') root_.pop_back();
}

std::string WorkFolder::Path(const std::string& windowsName) const {
    std::string name = CanonicalPcName(windowsName);
    if (!name.empty() && name.front() == '/') return name;
    std::string path = root_;
    if (path.back() != '/') path.push_back('/');
    path += name;
    return path;
}

bool WorkFolder::Delete(const std::string& windowsName) const {
    return unlink(Path(windowsName).c_str()) == 0 || errno == ENOENT;
}

long long WorkFolder::SizeOf(const std::string& windowsName) const { return FileSizeOf(Path(windowsName)); }

long long FileSizeOf(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return -1;
    return static_cast<long long>(st.st_size);
}

}  // namespace platform
