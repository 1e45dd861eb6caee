#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// The Internet layer the service client is written against: a session, a connection to one
// host and requests on it, each step a call of its own that can fail by itself. Built on
// libcurl. A session keeps the cookies the service sets and its connections for reuse; a reply
// is streamed to the caller in pieces and never held whole.
namespace platform::inet {

struct Handle;
using HINTERNET = Handle*;

// Opens a session with the given agent name. Proxies set in the environment apply.
HINTERNET InternetOpen(const char* agent);

// Splits a NUL-terminated URL into host name and path (with query). Any port written in the
// URL is dropped: the caller decides the port. False for a URL with no "scheme://host".
bool InternetCrackUrl(const char* url, std::string& host, std::string& path);

// Opens a connection handle to the host on the port. The host name must resolve (unless a
// proxy is configured, which resolves it instead).
HINTERNET InternetConnect(HINTERNET session, const char* host, std::uint16_t port);

// Opens a request on a connection; a null verb means GET.
HINTERNET HttpOpenRequest(HINTERNET connection, const char* verb, const char* path);

// Adds header lines ("Name: value\r\n" each); a line that is no header fails.
bool HttpAddRequestHeaders(HINTERNET request, const char* headers);

// Sends the request with its body and waits until the reply's headers have arrived.
bool HttpSendRequest(HINTERNET request, const char* body, std::size_t length);

// Reads the next bytes of the reply body: exactly `toRead` bytes unless the reply ends first,
// so the pieces never depend on how the network split the reply. 0 bytes read means the reply
// is complete. False when the transfer failed (after the bytes that did arrive were read).
bool InternetReadFile(HINTERNET request, void* buffer, std::uint32_t toRead, std::uint32_t* read);

bool InternetCloseHandle(HINTERNET handle);

}  // namespace platform::inet
