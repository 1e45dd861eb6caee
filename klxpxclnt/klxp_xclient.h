#pragma once
#include <cstdint>

#include "devicekit/klxpclnt/klxp_client.h"

namespace klxp {

// Protocol client with the remote commands beyond file transfer. Text out-parameters
// (file names, storage names) must hold kRemoteTextSize bytes.
class KLXP_API CKlxpXClient : public CKlxpClient {
public:
    static constexpr int kRemoteTextSize = 260;

    CKlxpXClient();
    CKlxpXClient(const CKlxpXClient& other);
    CKlxpXClient& operator=(const CKlxpXClient&) = delete;
    ~CKlxpXClient() override;

    // Numbered file commands.
    bool RemoteDeleteTree(const char* path);
    // The number the device gives, or -1 when the call fails.
    int RemoteEnumFiles(const char* path, bool recursive);
    bool RemoteCreateProcess(const char* program);
    bool RemoteGetDiskFreeSpace(const char* path, std::uint64_t* freeBytes);
    bool RemoteCreateDirectory(const char* path);
    bool RemoteCopyFile(const char* source, const char* target, bool failIfExists);
    bool RemoteMoveFile(const char* source, const char* target);
    bool RemoteDeleteFile(const char* path);
    bool RemoteDeleteDirectory(const char* path);
    bool RemoteGetFileAttributesEx(const char* path, WIN32_FILE_ATTRIBUTE_DATA* data);

    // Named commands.
    bool RemoteGetSystemPowerStatus(SYSTEM_POWER_STATUS* status);
    bool RemoteGetImageVersion(char* text, int size);
    bool RemoteFormatPartition(const char* name);
    bool RemoteRegisterWindowMessage(const char* name, std::uint32_t* identifier);
    bool RemoteGlobalMemoryStatus(MEMORYSTATUS* status);
    bool RemoteBroadCastMessage(std::uint32_t message, std::uint32_t firstParam, std::int32_t secondParam);
    // Fails (kMoreData) rather than give a name cut short: each wanted name must fit
    // kRemoteTextSize bytes with its terminator.
    bool RemoteGetFileInfo(const char* path, WIN32_FILE_ATTRIBUTE_DATA* data, char* firstText, char* secondText);
    bool RemoteGetStroageList(void* buffer, int size);
    // Walks the list of the last RemoteGetStroageList: one entry per call, false at the end.
    // The walk keeps its own count of the list's bytes, so calls in between cannot make it
    // read past the caller's buffer.
    bool RemoteGetStroageInfo(std::uint64_t* value, char* name);
    bool RemoteKernelIoControl(std::uint32_t code, const void* input, int inputSize, void* output, int outputSize,
                               std::uint32_t* returned);
    // *dataSize is read, not only written: on the way in it must hold the room in data (bytes),
    // on the way out it holds the value's size. A value larger than that room fails with
    // kMoreData, *dataSize then giving the size needed and data and *type left untouched; so a
    // caller written for the old contract, which only received the size and left *dataSize 0 or
    // unset, gets "more data". A null data asks for the size (and type) alone and succeeds.
    bool RemoteRegQueryValueEx(std::uint32_t key, const char* valueName, std::uint32_t* type, std::uint8_t* data,
                               std::uint32_t* dataSize);

    // Device name wire form: see docs/device-protocol.md. Both give the bytes of the wire form,
    // or 0 when the name cannot be encoded / decoded within the given room.
    static int EncodeRemoteName(const char* text, unsigned char* output, int outputSize);
    static int DecodeRemoteName(const unsigned char* wire, int wireSize, char* text, int textSize);

    static const char szGetSysPowerStatus[];
    static const char szGetImageVersion[];
    static const char szFmtPartition[];
    static const char szRegWinMsg[];
    static const char szGlobalMemStat[];

private:
    // Inline, so hidden: the library exports only the class's documented members.
    bool Fail(std::uint32_t status) {
        m_dwResult = status;
        DoError();
        return false;
    }

    const unsigned char* m_pStroageCursor;
    std::uint16_t m_wStroageLeft;
};

}  // namespace klxp
