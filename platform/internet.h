#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// The Internet layer the service client is written against: a session, a connection to one
// host and requests on it, each step a call of its own that can fail by itself. Built on
// libcurl. A session keeps the cookies the service sets and its connections for reuse; a reply
// is streamed to the caller in pieces and never held whole.
//
// Every failing call gives its own reason, in words for the user, and nothing else does: the
// calls that make a handle (or split a URL) put it in their `why`, emptied when they succeed;
// the calls on a request leave it with the request (RequestErrorText). An empty reason means the
// failure has no more to say than which call failed.
namespace platform::inet {

struct Handle;
using HINTERNET = Handle*;

// Opens a session with the given agent name. Proxies set in the environment apply.
HINTERNET InternetOpen(const char* agent, std::string& why);

// Splits a NUL-terminated URL into host name and path (with query). Any port written in the
// URL is dropped: the caller decides the port. False for a URL with no "scheme://host".
bool InternetCrackUrl(const char* url, std::string& host, std::string& path, std::string& why);

// The port written in a URL ("8080" of "http://host:8080/x"), empty when it names none. It is
// never used for connecting; callers tell the user so.
std::string UrlPort(const char* url);

// Opens a connection handle to the host on the port. The host name must resolve (unless a
// proxy is configured, which resolves it instead): "cannot find the host ..." otherwise.
HINTERNET InternetConnect(HINTERNET session, const char* host, std::uint16_t port, std::string& why);

// Opens a request on a connection; a null verb means GET.
HINTERNET HttpOpenRequest(HINTERNET connection, const char* verb, const char* path, std::string& why);

// Adds header lines ("Name: value\r\n" each); a line that is no header fails.
bool HttpAddRequestHeaders(HINTERNET request, const char* headers);

// Sends the request with its body and waits until the reply's headers have arrived.
bool HttpSendRequest(HINTERNET request, const char* body, std::size_t length);

// Reads the next bytes of the reply body: exactly `toRead` bytes unless the reply ends first,
// so the pieces never depend on how the network split the reply. 0 bytes read means the reply
// is complete. False when the transfer failed (after the bytes that did arrive were read).
bool InternetReadFile(HINTERNET request, void* buffer, std::uint32_t toRead, std::uint32_t* read);

bool InternetCloseHandle(HINTERNET handle);

// ---- what the user is told while and after a transfer ------------------------------------------

// How far the reply of one request has come.
struct TransferState {
    std::string path;            // the request's URL path
    std::uint64_t received = 0;  // reply body bytes arrived so far
    std::uint64_t expected = 0;  // the length the reply announced; 0 when it announced none
    double seconds = 0;          // since the request was sent
    bool finished = false;       // the transfer ended (whole or not): the last report of it
};
using TransferObserver = std::function<void(const TransferState&)>;

// Every request opened on the session from now on reports to the observer, on the caller's
// thread, from within the calls that move its transfer on (send and read); an empty observer
// stops the reports.
void SetTransferObserver(HINTERNET session, TransferObserver observer);

// How long a connection may take to open, and how long a reply may stay silent before the
// request fails as timed out; for the requests opened afterwards in this process. Values below
// one second keep the limit as it was. The defaults are 30 and 60 seconds.
void SetTimeouts(int connectSeconds, int silentSeconds);

// A moment by which every request of the session must be done: one still sending or reading
// then fails as timed out, whatever the service keeps sending, and one opened later fails at
// once. The default is none.
void SetDeadline(HINTERNET session, std::chrono::steady_clock::time_point deadline);

// Why the call on this request that failed last failed: the transport's own account (refused,
// reset, timed out, and after how long). Empty when none has failed, or the failure has no
// more to say.
std::string RequestErrorText(HINTERNET request);

// The HTTP status of a request's reply; 0 before its headers arrived.
int HttpStatus(HINTERNET request);

}  // namespace platform::inet
