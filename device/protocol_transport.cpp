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
    explicit ToolKlxpClient(const CopyProgress& progress) : progress_(progress) {}
    std::uint32_t last_result() const { return m_dwResult; }
    void OnSendData(const klxp::KlxpTransFile& file) override { Tell(file); }
    void OnReceiveData(const klxp::KlxpTransFile& file) override { Tell(file); }

private:
    void Tell(const klxp::KlxpTransFile& file) const {
        if (progress_) progress_(file.doneBytes, file.totalBytes);
    }
    const CopyProgress& progress_;
};

// FILETIME halves as one number.
std::uint64_t Stamp(const klxp::FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32U) | time.dwLowDateTime;
}

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

    FileFacts Examine(const char* devicePath) override {
        client_.SetBlocking(true);
        FileFacts facts;
        klxp::WIN32_FILE_ATTRIBUTE_DATA data{};
        if (client_.RemoteGetFileAttributesEx(devicePath, &data)) {
            facts.state = FileFacts::State::kPresent;
            facts.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32U) | data.nFileSizeLow;
            facts.modified = Stamp(data.ftLastWriteTime);
        } else if (client_.last_result() == static_cast<std::uint32_t>(klxpwire::Status::kNotFound)) {
            facts.state = FileFacts::State::kMissing;
        }
        return facts;
    }

    std::string LastFailure() const override { return client_.GetFailureText(); }

    int Disconnect() override { return client_.Disconnect() ? 1 : 0; }
    bool RestartsNavigator() const override { return true; }

    void SetAddress(const std::string& address) override { client_.SetAddress(address.c_str()); }

private:
    int Done(bool done, std::string& why) const {
        if (done) return 1;
        why = client_.GetFailureText();
        return 0;
    }

    ToolKlxpClient client_{progress()};
};

}  // namespace

std::unique_ptr<Transport> MakeProtocolTransport() { return std::make_unique<ProtocolTransport>(); }

}  // namespace device
