#pragma once
#include <cstdint>

namespace klxpwire {

// Result codes of the device protocol. The agent sends them in its replies and the clients
// keep them as their result; 0 is success. Values are part of the wire format: never renumber.
enum class Status : std::uint32_t {
    kOk = 0,
    kNotConnected = 1,
    kConnectionLost = 2,
    kTimeout = 3,
    kProtocolError = 4,
    kVersionMismatch = 5,
    kBusy = 6,
    kNotFound = 7,
    kAccessDenied = 8,
    kSharingViolation = 9,
    kAlreadyExists = 10,
    kBadPath = 11,
    kBadRequest = 12,
    kUnknownCommand = 13,
    kIoError = 14,
    kLocalFileError = 15,
    kNotEmpty = 16,
    kAborted = 17,
    kMoreData = 18,
};

constexpr std::uint32_t kLastStatus = static_cast<std::uint32_t>(Status::kMoreData);

// A short English description of a result code; unknown codes get a generic text.
const char* StatusText(std::uint32_t code);
inline const char* StatusText(Status status) { return StatusText(static_cast<std::uint32_t>(status)); }

// A transport failure leaves the connection in an unknown state: the session must be closed.
bool IsTransportFailure(Status status);

}  // namespace klxpwire
