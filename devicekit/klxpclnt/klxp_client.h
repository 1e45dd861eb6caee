#pragma once
#include <cstdint>
#include <string>

#include "devicekit/klxpcc/klxp_object.h"

namespace klxp {

class ClientConnection;

// Client of the device agent: connection, whole-file copies and the numbered and named remote
// commands. Every call returns true on success and leaves its result code in GetResult().
// The agent's address is ZARNIK_DEVICE (default 127.0.0.1:9470) unless SetAddress names one.
class KLXP_API CKlxpClient : public CKlxpObject {
public:
    CKlxpClient();
    // The copy carries the settings and the last result but not the connection: a socket has
    // one owner, so the copy starts disconnected.
    CKlxpClient(const CKlxpClient& other);
    CKlxpClient& operator=(const CKlxpClient&) = delete;

    int DoControl(const KlxpCommonHeader* header) override;
    ~CKlxpClient() override;
    void DoError() override;
    virtual void OnError(unsigned long code);
    virtual void OnRemoteEnumFile(int index, WIN32_FIND_DATAA& data);

    bool Connect();
    bool Disconnect();
    // Local paths in the Windows form (".\poiupdates.upd") name files relative to the working
    // folder, in lower case; other paths are used as they stand. The flag is 1 by convention.
    bool Download(const char* remotePath, const char* localPath, int flag);
    bool Upload(const char* localPath, const char* remotePath, int flag);
    bool RemoteCommonCall(const char* name, void* output, int outputSize, const void* input, int inputSize);

    bool Connected() const { return m_bConnected; }
    std::uint32_t GetResult() const { return m_dwResult; }
    const char* GetStringResult() const { return GetStringResult(m_dwResult); }
    static const char* GetStringResult(unsigned long code);
    // Not the maker's: what the last failed call met, for a person: the result's text, or more
    // where the connection knows it (refused at which address and why, no answer within how long).
    std::string GetFailureText() const;
    // Blocking calls wait up to two minutes for the agent's answer (a large commit or delete);
    // others give up after the timeout.
    void SetBlocking(bool blocking) { m_bBlocking = blocking; }

    void SetAddress(const char* address);
    void SetTimeout(int milliseconds);

protected:
    bool CommandString(unsigned char code, const char* text);
    bool CommandString2(unsigned char code, const char* first, const char* second);
    bool CommandStringResult(unsigned char code, const char* text, void* result, unsigned short resultSize);
    bool CommandResult(unsigned char code, void* result, unsigned short resultSize);

    std::uint16_t m_wReceived;
    bool m_bConnected;
    bool m_bBlocking;

private:
    bool Finish(std::uint32_t status);
    bool Numbered(unsigned char code, int textCount, const char* first, const char* second, void* result,
                  unsigned short resultSize);
    void ApplyTimeout();

    ClientConnection* m_pConnection;
    int m_nTimeoutMs;
    char m_szAddress[64];
};

}  // namespace klxp
