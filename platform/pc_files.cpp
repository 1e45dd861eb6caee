#include "pc_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>

namespace platform {

std::string PcPath(const std::string& windowsName) {
    std::string path;
    path.reserve(windowsName.size() + 2);
    for (const char c : windowsName) {
        if (c == '\\') {
            path.push_back('/');
        } else {
            path.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
        }
    }
    if (path.rfind("./", 0) != 0 && path.rfind('/', 0) != 0) path.insert(0, "./");
    return path;
}

bool DeletePcFile(const std::string& windowsName) {
    const std::string path = PcPath(windowsName);
    return unlink(path.c_str()) == 0 || errno == ENOENT;
}

long long FileSizeOf(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return -1;
    return static_cast<long long>(st.st_size);
}

}  // namespace platform
