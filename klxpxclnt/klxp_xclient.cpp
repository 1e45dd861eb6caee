#include "klxpxclnt/klxp_xclient.h"

#include <cstring>
#include <vector>

#include "devicekit/wire/payload.h"
#include "devicekit/wire/status.h"

namespace klxp {

const char CKlxpXClient::szGetSysPowerStatus[] = "GetSysPowerStatus";
const char CKlxpXClient::szGetImageVersion[] = "GetImageVersion";
const char CKlxpXClient::szFmtPartition[] = "FmtPartition";
const char CKlxpXClient::szRegWinMsg[] = "RegWinMsg";
const char CKlxpXClient::szGlobalMemStat[] = "GlobalMemStat";

namespace {

enum Code : unsigned char {
    kDeleteTree = 20,
    kEnumFiles = 21,
    kEnumFilesRecursive = 22,
    kCreateProcess = 64,
    kDiskFreeSpace = 65,
    kCreateDirectory = 66,
    kCopyFileFailIfExists = 67,
    kCopyFileOverwrite = 68,
    kMoveFile = 69,
    kDeleteFile = 70,
    kDeleteDirectory = 71,
    kFileAttributes = 81,
};

constexpr int kFileInfoBlock = 548;
constexpr int kRegistryBlock = 520;
constexpr int kAttributeBytes = sizeof(WIN32_FILE_ATTRIBUTE_DATA);

constexpr std::uint32_t Code(klxpwire::Status status) { return static_cast<std::uint32_t>(status); }

int TextLength(const char* text) { return text != nullptr ? static_cast<int>(std::strlen(text)) : 0; }

// Why a name of a file information block could not be decoded: one that decodes with room
// to spare is too long for the caller's text, one cut off by a full block did not fit the
// block, and anything else is a malformed answer.
klxpwire::Status NameFailure(const unsigned char* wire, int size, bool block_full) {
    char roomy[kFileInfoBlock * 6];
    if (CKlxpXClient::DecodeRemoteName(wire, size, roomy, sizeof roomy) > 0 || block_full) {
        return klxpwire::Status::kMoreData;
    }
    return klxpwire::Status::kProtocolError;
}

}  // namespace

CKlxpXClient::CKlxpXClient() : m_pStroageCursor(nullptr), m_wStroageLeft(0) {}

CKlxpXClient::CKlxpXClient(const CKlxpXClient& other)
    : CKlxpClient(other), m_pStroageCursor(other.m_pStroageCursor), m_wStroageLeft(other.m_wStroageLeft) {}

CKlxpXClient::~CKlxpXClient() = default;

bool CKlxpXClient::RemoteDeleteTree(const char* path) { return CommandString(kDeleteTree, path); }

int CKlxpXClient::RemoteEnumFiles(const char* path, bool recursive) {
    std::int32_t count = 0;
    if (!CommandStringResult(recursive ? kEnumFilesRecursive : kEnumFiles, path, &count, sizeof count)) return -1;
    return count;
}

bool CKlxpXClient::RemoteCreateProcess(const char* program) { return CommandString(kCreateProcess, program); }

bool CKlxpXClient::RemoteGetDiskFreeSpace(const char* path, std::uint64_t* freeBytes) {
    std::uint64_t value = 0;
    const bool ok = path != nullptr ? CommandStringResult(kDiskFreeSpace, path, &value, sizeof value)
                                    : CommandResult(kDiskFreeSpace, &value, sizeof value);
    if (ok && freeBytes != nullptr) *freeBytes = value;
    return ok;
}

bool CKlxpXClient::RemoteCreateDirectory(const char* path) { return CommandString(kCreateDirectory, path); }

bool CKlxpXClient::RemoteCopyFile(const char* source, const char* target, bool failIfExists) {
    return CommandString2(failIfExists ? kCopyFileFailIfExists : kCopyFileOverwrite, source, target);
}

bool CKlxpXClient::RemoteMoveFile(const char* source, const char* target) {
    return CommandString2(kMoveFile, source, target);
}

bool CKlxpXClient::RemoteDeleteFile(const char* path) { return CommandString(kDeleteFile, path); }

bool CKlxpXClient::RemoteDeleteDirectory(const char* path) { return CommandString(kDeleteDirectory, path); }

bool CKlxpXClient::RemoteGetFileAttributesEx(const char* path, WIN32_FILE_ATTRIBUTE_DATA* data) {
    WIN32_FILE_ATTRIBUTE_DATA record{};
    if (!CommandStringResult(kFileAttributes, path, &record, sizeof record)) return false;
    if (data != nullptr) *data = record;
    return true;
}

bool CKlxpXClient::RemoteGetSystemPowerStatus(SYSTEM_POWER_STATUS* status) {
    return RemoteCommonCall(szGetSysPowerStatus, status, sizeof(SYSTEM_POWER_STATUS), nullptr, 0);
}

bool CKlxpXClient::RemoteGetImageVersion(char* text, int size) {
    return RemoteCommonCall(szGetImageVersion, text, size, nullptr, 0);
}

bool CKlxpXClient::RemoteFormatPartition(const char* name) {
    return RemoteCommonCall(szFmtPartition, nullptr, 0, name, TextLength(name));
}

bool CKlxpXClient::RemoteRegisterWindowMessage(const char* name, std::uint32_t* /*identifier*/) {
    return RemoteCommonCall(szRegWinMsg, nullptr, 0, name, TextLength(name));
}

bool CKlxpXClient::RemoteGlobalMemoryStatus(MEMORYSTATUS* status) {
    return RemoteCommonCall(szGlobalMemStat, status, sizeof(MEMORYSTATUS), nullptr, 0);
}

bool CKlxpXClient::RemoteBroadCastMessage(std::uint32_t message, std::uint32_t firstParam, std::int32_t secondParam) {
    std::uint8_t input[12];
    klxpwire::PutLe(input, message, 4);
    klxpwire::PutLe(input + 4, firstParam, 4);
    klxpwire::PutLe(input + 8, static_cast<std::uint32_t>(secondParam), 4);
    return RemoteCommonCall("BroadCastMsg", nullptr, 0, input, sizeof input);
}

bool CKlxpXClient::RemoteGetFileInfo(const char* path, WIN32_FILE_ATTRIBUTE_DATA* data, char* firstText,
                                     char* secondText) {
    unsigned char block[kFileInfoBlock] = {};
    const int length = EncodeRemoteName(path, block, sizeof block);
    if (!RemoteCommonCall("GetFileInfo", block, sizeof block, block, length)) return false;
    const int received = m_wReceived;
    if (received < kAttributeBytes) return Fail(Code(klxpwire::Status::kProtocolError));
    // The names go to the caller only when every wanted one came whole and fits.
    char first[kRemoteTextSize] = {}, second[kRemoteTextSize] = {};
    const bool want_second = firstText != nullptr && secondText != nullptr;
    int at = kAttributeBytes;
    for (char* name : {firstText != nullptr ? first : nullptr, want_second ? second : nullptr}) {
        if (name == nullptr) break;
        const int used = DecodeRemoteName(block + at, received - at, name, kRemoteTextSize);
        if (used == 0) return Fail(Code(NameFailure(block + at, received - at, received == kFileInfoBlock)));
        at += used;
    }
    if (data != nullptr) std::memcpy(data, block, kAttributeBytes);
    if (firstText != nullptr) std::memcpy(firstText, first, std::strlen(first) + 1);
    if (want_second) std::memcpy(secondText, second, std::strlen(second) + 1);
    return true;
}

bool CKlxpXClient::RemoteGetStroageList(void* buffer, int size) {
    if (!RemoteCommonCall("GetStroage", buffer, size, nullptr, 0)) return false;
    m_pStroageCursor = static_cast<const unsigned char*>(buffer);
    m_wStroageLeft = m_wReceived;
    return true;
}

bool CKlxpXClient::RemoteGetStroageInfo(std::uint64_t* value, char* name) {
    if (m_pStroageCursor == nullptr || m_wStroageLeft <= 8 || name == nullptr) return false;
    const int length = DecodeRemoteName(m_pStroageCursor + 8, m_wStroageLeft - 8, name, kRemoteTextSize);
    if (length == 0) return false;  // a name without its terminator ends the walk
    if (value != nullptr) *value = klxpwire::GetLe(m_pStroageCursor, 8);
    m_pStroageCursor += 8 + length;
    m_wStroageLeft = static_cast<std::uint16_t>(m_wStroageLeft - 8 - length);
    return true;
}

bool CKlxpXClient::RemoteKernelIoControl(std::uint32_t code, const void* input, int inputSize, void* output,
                                         int outputSize, std::uint32_t* /*returned*/) {
    if (inputSize < 0 || (input == nullptr && inputSize > 0)) return Fail(Code(klxpwire::Status::kBadRequest));
    std::vector<std::uint8_t> block(static_cast<std::size_t>(inputSize) + 8);
    klxpwire::PutLe(block.data(), code, 4);
    klxpwire::PutLe(block.data() + 4, static_cast<std::uint32_t>(inputSize), 4);
    if (inputSize > 0) std::memcpy(block.data() + 8, input, static_cast<std::size_t>(inputSize));
    return RemoteCommonCall("KernelIoctl", output, outputSize, block.data(), static_cast<int>(block.size()));
}

bool CKlxpXClient::RemoteRegQueryValueEx(std::uint32_t key, const char* valueName, std::uint32_t* type,
                                         std::uint8_t* data, std::uint32_t* dataSize) {
    unsigned char block[kRegistryBlock] = {};
    klxpwire::PutLe(block, key, 4);
    const int length = EncodeRemoteName(valueName, block + 4, sizeof block - 4);
    if (!RemoteCommonCall("RegQValEx", block, sizeof block, block, length + 4)) return false;
    if (m_wReceived < 4) return Fail(Code(klxpwire::Status::kProtocolError));
    const std::uint32_t size = m_wReceived - 4U;
    // The caller's buffer is only as large as *dataSize says; never copy more than that.
    if (data != nullptr && (dataSize == nullptr || *dataSize < size)) {
        if (dataSize != nullptr) *dataSize = size;
        return Fail(Code(klxpwire::Status::kMoreData));
    }
    if (data != nullptr) std::memcpy(data, block + 4, size);
    if (dataSize != nullptr) *dataSize = size;
    if (type != nullptr) *type = static_cast<std::uint32_t>(klxpwire::GetLe(block, 4));
    return true;
}

}  // namespace klxp
