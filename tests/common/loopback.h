#pragma once
#include <cstdint>
#include <string>

namespace testsupport {

// Binds a listening TCP socket on port `port` of the first free address 127.0.0.N, starting
// from an N derived from the process id, so that test processes running side by side never
// share an address. Gives the socket (or -1) and the address chosen.
int ListenOnFreeLoopback(std::uint16_t port, std::string& address);

// A loopback address no test server listens on port 80 (connections are refused).
std::string UnusedLoopbackAddress();

}  // namespace testsupport
