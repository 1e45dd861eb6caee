#include "devicekit/klxpclnt/klxp_client.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "devicekit/wire/client_session.h"
#include "devicekit/wire/frame.h"
#include "platform/pc_files.h"

namespace klxp {

class ClientConnection : public klxpwire::ClientSession {};

namespace {

constexpr int kBlockingTimeoutMs = 120000;

std::string LocalPath(const char* path) {
    const std::string text = path;
    return text.find('\\') != std::string::npos ? platform::CanonicalPcName(text) : text;
}

}  // namespace

CKlxpClient::CKlxpClient()
    : m_wReceived(0), m_bConnected(false), m_bBlocking(false), m_pConnection(new ClientConnection),
      m_nTimeoutMs(klxpwire::kDefaultTimeoutMs), m_szAddress{} {
    SetAddress(nullptr);
}

CKlxpClient::CKlxpClient(const CKlxpClient& other)
    : CKlxpObject(other), m_wReceived(other.m_wReceived), m_bConnected(false), m_bBlocking(other.m_bBlocking),
      m_pConnection(new ClientConnection), m_nTimeoutMs(other.m_nTimeoutMs), m_szAddress{} {
    std::memcpy(m_szAddress, other.m_szAddress, sizeof m_szAddress);
}

CKlxpClient::~CKlxpClient() {
    m_pConnection->Close();
    delete m_pConnection;
}

int CKlxpClient::DoControl(const KlxpCommonHeader* header) {
    // Only replies to our own requests travel to a client; a header of ours is accepted.
    return header != nullptr && header->magic == klxpwire::kFrameMagic && header->flags == 0 &&
                   klxpwire::IsKnownType(header->type)
               ? 1
               : 0;
}

void CKlxpClient::DoError() {
    if (!m_pConnection->is_open()) m_bConnected = false;
    OnError(m_dwResult);
}

void CKlxpClient::OnError(unsigned long /*code*/) {}
void CKlxpClient::OnRemoteEnumFile(int /*index*/, WIN32_FIND_DATAA& /*data*/) {}

const char* CKlxpClient::GetStringResult(unsigned long code) {
    return klxpwire::StatusText(static_cast<std::uint32_t>(std::min<unsigned long>(code, 0xFFFFFFFFUL)));
}

std::string CKlxpClient::GetFailureText() const {
    return m_pConnection->FailureText(static_cast<klxpwire::Status>(m_dwResult));
}

void CKlxpClient::SetAddress(const char* address) {
    const std::string text = (address != nullptr && *address != '\0') ? std::string(address)
                                                                         : klxpwire::DeviceAddressFromEnvironment();
    const std::size_t n = std::min(text.size(), sizeof m_szAddress - 1);
    std::memcpy(m_szAddress, text.data(), n);
    m_szAddress[n] = '\0';
}

void CKlxpClient::SetTimeout(int milliseconds) { m_nTimeoutMs = std::max(milliseconds, 1); }

void CKlxpClient::ApplyTimeout() {
    m_pConnection->set_timeout_ms(m_bBlocking ? std::max(m_nTimeoutMs, kBlockingTimeoutMs) : m_nTimeoutMs);
}

bool CKlxpClient::Finish(std::uint32_t status) {
    m_dwResult = status;
    m_bConnected = m_pConnection->is_open();
    if (status == 0) {
        OnRespond();
        return true;
    }
    DoError();
    return false;
}

bool CKlxpClient::Connect() {
    ApplyTimeout();
    return Finish(static_cast<std::uint32_t>(m_pConnection->Open(m_szAddress, "KlxpClnt")));
}

bool CKlxpClient::Disconnect() {
    const bool was_connected = m_pConnection->is_open();
    m_pConnection->Close();
    m_bConnected = false;
    m_dwResult = static_cast<std::uint32_t>(was_connected ? klxpwire::Status::kOk : klxpwire::Status::kNotConnected);
    return was_connected;
}

bool CKlxpClient::Download(const char* remotePath, const char* localPath, int /*flag*/) {
    if (remotePath == nullptr || localPath == nullptr) return Finish(static_cast<std::uint32_t>(klxpwire::Status::kBadRequest));
    ApplyTimeout();
    const std::string local = LocalPath(localPath);
    const auto progress = [&](std::uint64_t done, std::uint64_t total) {
        OnReceiveData(KlxpTransFile{remotePath, local.c_str(), total, done});
    };
    return Finish(static_cast<std::uint32_t>(m_pConnection->Download(remotePath, local, progress)));
}

bool CKlxpClient::Upload(const char* localPath, const char* remotePath, int /*flag*/) {
    if (remotePath == nullptr || localPath == nullptr) return Finish(static_cast<std::uint32_t>(klxpwire::Status::kBadRequest));
    ApplyTimeout();
    const std::string local = LocalPath(localPath);
    const auto progress = [&](std::uint64_t done, std::uint64_t total) {
        OnSendData(KlxpTransFile{remotePath, local.c_str(), total, done});
    };
    return Finish(static_cast<std::uint32_t>(m_pConnection->Upload(local, remotePath, progress)));
}

bool CKlxpClient::RemoteCommonCall(const char* name, void* output, int outputSize, const void* input, int inputSize) {
    if (name == nullptr || inputSize < 0 || (input == nullptr && inputSize > 0) || (output == nullptr && outputSize > 0)) {
        return Finish(static_cast<std::uint32_t>(klxpwire::Status::kBadRequest));
    }
    ApplyTimeout();
    // The received length is 16 bits wide, so no reply may be longer than 65535 bytes.
    const auto limit = static_cast<std::uint32_t>(std::clamp(outputSize, 0, 0xFFFF));
    std::vector<std::uint8_t> reply;
    const klxpwire::Status s =
        m_pConnection->CommonCall(name, input, static_cast<std::size_t>(inputSize), limit, reply);
    if (s == klxpwire::Status::kOk) {
        if (!reply.empty()) std::memcpy(output, reply.data(), reply.size());
        m_wReceived = static_cast<std::uint16_t>(reply.size());
    }
    return Finish(static_cast<std::uint32_t>(s));
}

bool CKlxpClient::Numbered(unsigned char code, int textCount, const char* first, const char* second, void* result,
                           unsigned short resultSize) {
    std::vector<std::string> texts;
    if (textCount >= 1) texts.emplace_back(first != nullptr ? first : "");
    if (textCount >= 2) texts.emplace_back(second != nullptr ? second : "");
    ApplyTimeout();
    std::vector<std::uint8_t> reply;
    klxpwire::Status s = m_pConnection->Command(code, texts, resultSize, reply);
    if (s == klxpwire::Status::kOk && resultSize > 0) {
        // A result of another size than asked for is not one we can trust.
        if (reply.size() != resultSize || result == nullptr) {
            s = klxpwire::Status::kProtocolError;
        } else {
            std::memcpy(result, reply.data(), reply.size());
            m_wReceived = resultSize;
        }
    }
    return Finish(static_cast<std::uint32_t>(s));
}

bool CKlxpClient::CommandString(unsigned char code, const char* text) {
    return Numbered(code, 1, text, nullptr, nullptr, 0);
}

bool CKlxpClient::CommandString2(unsigned char code, const char* first, const char* second) {
    return Numbered(code, 2, first, second, nullptr, 0);
}

bool CKlxpClient::CommandStringResult(unsigned char code, const char* text, void* result, unsigned short resultSize) {
    return Numbered(code, 1, text, nullptr, result, resultSize);
}

bool CKlxpClient::CommandResult(unsigned char code, void* result, unsigned short resultSize) {
    return Numbered(code, 0, nullptr, nullptr, result, resultSize);
}

}  // namespace klxp
