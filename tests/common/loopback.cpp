#include "loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

namespace {
std::string AddressFor(unsigned n) {
    return "127.0." + std::to_string((n >> 8) & 0xff) + "." + std::to_string(n & 0xff);
}
}  // namespace

int ListenOnFreeLoopback(std::uint16_t port, std::string& address) {
    const unsigned start = 2 + static_cast<unsigned>(getpid()) % 60000U;
    for (unsigned i = 0; i < 2000; ++i) {
        unsigned n = start + i * 7;
        n = 2 + n % 60000U;
        if ((n & 0xff) == 0 || (n & 0xff) == 255) continue;
        const std::string candidate = AddressFor(n);
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return -1;
        const int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(port);
        inet_pton(AF_INET, candidate.c_str(), &sa.sin_addr);
        if (bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 && listen(fd, 64) == 0) {
            address = candidate;
            return fd;
        }
        close(fd);
    }
    return -1;
}

std::string UnusedLoopbackAddress() {
    // 127.0.255.254 lies outside the range ListenOnFreeLoopback hands out.
    return "127.0.255.254";
}

}  // namespace testsupport
