#pragma once
#include <cstdint>
#include <iosfwd>

namespace service {

// Result codes of the requests to the database service and of a synchronisation. The numbers
// are what users see in messages and what the string table is keyed by (10000 + i is text
// 129 + i): never renumber.
enum class Result : std::int32_t {
    kOk = 0,
    kSessionTransportFailed = 1,      // any transport step of a request on the logon's session
    kNoStartupAnswer = 1000,          // the service did not answer the start-up test
    kFullRetrievalDemanded = 8192,    // logon accepted; the service wants a full retrieval
    kCameraFileFailed = 10000,        // the speed-camera file could not be built
    kLocalCacheFailed = 10001,        // a PC cache could not be written, read or filled
    kNotLoggedIn = 10002,             // "ERROR:Not_Logged_In!"
    kUserNotFound = 10003,            // "ERROR:User_Not_Found"
    kCredentialsNotFound = 10004,     // "ERROR:Logon_Credentials_Not_Found!"
    kUnknownReply = 10006,            // any other reply that is not a success; logged
    kOpenSessionFailed = 10007,       // the transport steps of a standalone request, in order
    kCrackUrlFailed = 10008,
    kConnectFailed = 10009,
    kOpenRequestFailed = 10010,
    kAddHeaderFailed = 10011,
    kSendFailed = 10012,
    kReadFailed = 10013,
    kNoServiceAddress = 10014,        // the service base URL has fewer than 5 characters
};

constexpr std::int32_t Code(Result result) { return static_cast<std::int32_t>(result); }
std::ostream& operator<<(std::ostream& out, Result result);

}  // namespace service
