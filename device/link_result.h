#pragma once
#include <cstdint>
#include <string>
#include <utility>

// How one operation of the device link went: a fixed code and, on failure, the cause for the
// user's "Cause:" line (the step, the files, the transport and what it met: refused at which
// address, another client connected, no answer within how long, which file and why).
namespace device {

// Fixed numbers: callers and logs may keep them.
enum class LinkCode : std::int32_t {
    kDone = 0,
    kNoModel = 1,           // no device model is loaded: nothing was tried
    kNotConnected = 2,      // the device could not be reached
    kCopyFailed = 3,        // a copy did not complete; its target is as it was
    kCommandFailed = 4,     // a program could not be started, a file not deleted
    kDisconnectFailed = 5,  // there was no connection to close
    kStopped = 6,           // a copy was stopped on request; its target is as it was
};

class LinkResult {
public:
    LinkResult() = default;  // done
    LinkResult(LinkCode code, std::string cause) : code_(code), cause_(std::move(cause)) {}

    bool ok() const { return code_ == LinkCode::kDone; }
    LinkCode code() const { return code_; }
    // Empty when done.
    const std::string& cause() const { return cause_; }

private:
    LinkCode code_ = LinkCode::kDone;
    std::string cause_;
};

}  // namespace device
