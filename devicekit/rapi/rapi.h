#pragma once
// Stand-in for the ActiveSync remote API, reached through the device agent (ZARNIK_DEVICE,
// default 127.0.0.1:9470). Paths are plain 8-bit texts in the device's code page rather than
// UTF-16: the agent's protocol carries them that way.
//
// The agent moves whole files, so a file handle works on a whole-file copy: a file opened for
// writing is created empty on the device at once (a write-protected device fails there) and
// its data is uploaded when the handle is closed; a file opened for reading is downloaded
// once, at the open, and its reads are served from that copy.
#include <cstdint>
#include <functional>

using HRESULT = std::int32_t;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005U);

inline constexpr std::uint32_t GENERIC_READ = 0x80000000U;
inline constexpr std::uint32_t GENERIC_WRITE = 0x40000000U;
inline constexpr std::uint32_t CREATE_ALWAYS = 2;
inline constexpr std::uint32_t OPEN_EXISTING = 3;
inline constexpr std::uint32_t FILE_ATTRIBUTE_NORMAL = 0x80;
inline constexpr std::uint32_t FILE_FLAG_WRITE_THROUGH = 0x80000000U;

struct RAPIINIT;

// The event CeRapiInitEx hands out: signalled once the device connection is up.
class CeRapiEvent {
public:
    // True when signalled within the time. A connection attempt that has failed will never
    // signal, so waiting on it ends at once.
    bool Wait(int milliseconds) const;

private:
    friend HRESULT CeRapiInitEx(RAPIINIT* init);
    friend HRESULT CeRapiUninit();
    bool signalled_ = false;
    bool settled_ = false;
};

struct RAPIINIT {
    std::uint32_t cbSize = sizeof(RAPIINIT);
    CeRapiEvent* heRapiInit = nullptr;  // set by CeRapiInitEx; owned by the library
    HRESULT hrRapiInit = S_OK;          // the connection's outcome
};

struct CeFile;
using CeHandle = CeFile*;  // null stands for an invalid handle

struct CE_PROCESS_INFORMATION {
    std::uint32_t dwProcessId = 0;
    std::uint32_t dwThreadId = 0;
};

// A failure code (negative) when the record is unusable; otherwise S_OK with the event, which
// is signalled when the device answered.
HRESULT CeRapiInitEx(RAPIINIT* init);
// S_OK when a connection was closed; E_FAIL when there was none.
HRESULT CeRapiUninit();

// access: GENERIC_READ or GENERIC_WRITE; creation: OPEN_EXISTING (reading) or CREATE_ALWAYS
// (writing); attributes may carry FILE_FLAG_WRITE_THROUGH, which every written file has anyway.
CeHandle CeCreateFile(const char* path, std::uint32_t access, std::uint32_t share, void* security,
                      std::uint32_t creation, std::uint32_t attributes, void* templateFile);
int CeReadFile(CeHandle file, void* buffer, std::uint32_t size, std::uint32_t* read, void* overlapped);
int CeWriteFile(CeHandle file, const void* buffer, std::uint32_t size, std::uint32_t* written, void* overlapped);
// For a file opened for writing, non-zero only when the device holds all of its data.
int CeCloseHandle(CeHandle file);
int CeDeleteFile(const char* path);
// Fails when the target exists.
int CeMoveFile(const char* existing, const char* target);
int CeCreateProcess(const char* program, const char* arguments, void* processSecurity, void* threadSecurity,
                    int inheritHandles, std::uint32_t flags, void* environment, const char* folder,
                    void* startupInfo, CE_PROCESS_INFORMATION* information);

// Not the remote API's: the agent's address for tests; null or empty goes back to ZARNIK_DEVICE.
void CeRapiSetDeviceAddress(const char* address);
// Not the remote API's: what the last failed call met, for a person ("connection refused at
// ..."); empty after a success.
const char* CeRapiLastFailure();
// Not the remote API's: called after each piece of a whole-file transfer (at an open for
// reading, at the close of a written file) with the bytes done and the file's size.
void CeRapiSetProgress(std::function<void(std::uint64_t done, std::uint64_t total)> progress);
