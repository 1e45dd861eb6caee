#include "platform/resources.h"

#include <unistd.h>

#include <cstdlib>

namespace platform {

std::string ResourceFolder() {
    if (const char* env = std::getenv("ZARNIK_RESOURCES"); env && *env) return env;
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return "resources";
    exe[n] = '\0';
    std::string folder(exe);
    folder.erase(folder.rfind('/'));
    return folder + "/../share/zarnik";
}

}  // namespace platform
