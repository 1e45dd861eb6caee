// The maker's transfer-protocol client: "M2" devices. Each transport has a client of its own.
#include <cstdint>
#include <string>

#include "device/transport.h"
#include "devicekit/wire/status.h"
#include "klxpxclnt/klxp_xclient.h"

namespace device {
namespace {

// The tool's own copy of the extended client, which also tells the result of its last command:
// that is how a missing file is told from a failed transfer.
class ToolKlxpClient : public klxp::CKlxpXClient {
public:
    std::uint32_t last_result() const { return m_dwResult; }
};

constexpr int kTransferFlag = 1;

class ProtocolTransport final : public Transport {
public:
    int Initialize(int /*flags*/) override { return 1; }

    int Connect(std::string& why) override { return Done(client_.Connect(), why); }

    int CopyToPc(const std::string& pcPath, const char* devicePath, std::string& why) override {
        return Done(client_.Download(devicePath, pcPath.c_str(), kTransferFlag), why);
    }

    int CopyToDevice(const std::string& pcPath, const char* devicePath, std::string& why) override {
        client_.SetBlocking(true);
        return Done(client_.Upload(pcPath.c_str(), devicePath, kTransferFlag), why);
    }

    // The protocol's command carries the program only: the arguments are not sent.
    int RunOnDevice(const char* program, const char* /*arguments*/) override {
        return client_.RemoteCreateProcess(program) ? 1 : 0;
    }

    int DeleteOnDevice(const char* devicePath) override {
        client_.SetBlocking(true);
        return client_.RemoteDeleteFile(devicePath) ? 1 : 0;
    }

    int FileMissingOnDevice(const char* devicePath) override {
        client_.SetBlocking(true);
        return !client_.RemoteGetFileAttributesEx(devicePath, nullptr) &&
                       client_.last_result() == static_cast<std::uint32_t>(klxpwire::Status::kNotFound)
                   ? 1
                   : 0;
    }

    int Disconnect() override { return client_.Disconnect() ? 1 : 0; }
    bool RestartsNavigator() const override { return true; }

    void SetAddress(const std::string& address) override { client_.SetAddress(address.c_str()); }

private:
    int Done(bool done, std::string& why) const {
        if (done) return 1;
        why = client_.GetStringResult();
        return 0;
    }

    ToolKlxpClient client_;
};

}  // namespace

std::unique_ptr<Transport> MakeProtocolTransport() { return std::make_unique<ProtocolTransport>(); }

}  // namespace device
