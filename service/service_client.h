#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "platform/internet.h"
#include "platform/pc_files.h"
#include "platform/settings.h"
#include "service/camera_record.h"

namespace service {
enum class ListKind : int;
}

// Result codes of the requests to the database service.
namespace result {
inline constexpr std::int32_t kOk = 0;
inline constexpr std::int32_t kSessionTransportFailed = 1;
inline constexpr std::int32_t kFullRetrievalDemanded = 8192;
inline constexpr std::int32_t kCameraFileFailed = 10000;  // the speed-camera file could not be built
inline constexpr std::int32_t kLocalCacheFailed = 10001;  // a PC cache could not be written, read or filled
inline constexpr std::int32_t kNotLoggedIn = 10002;
inline constexpr std::int32_t kUserNotFound = 10003;
inline constexpr std::int32_t kCredentialsNotFound = 10004;
inline constexpr std::int32_t kUnknownReply = 10006;
inline constexpr std::int32_t kOpenSessionFailed = 10007;
inline constexpr std::int32_t kCrackUrlFailed = 10008;
inline constexpr std::int32_t kConnectFailed = 10009;
inline constexpr std::int32_t kOpenRequestFailed = 10010;
inline constexpr std::int32_t kAddHeaderFailed = 10011;
inline constexpr std::int32_t kSendFailed = 10012;
inline constexpr std::int32_t kReadFailed = 10013;
inline constexpr std::int32_t kNoServiceAddress = 10014;
}  // namespace result

// One piece of a reply: at most 500 bytes, always terminated after its last byte.
struct ReplyPiece {
    static constexpr std::uint32_t kMaxLength = 500;
    char text[kMaxLength + 1] = {};
    std::uint32_t length = 0;
};

// The client of the database service: the Internet handles of the exchange in progress and the
// in-memory copies of the PC caches. Each user makes its own, on the heap, and deletes it when
// done, after CloseHandles.
class CServiceClient {
public:
    // Works on the PC files of folder; deletes the leftover ".\\config.dat" there.
    explicit CServiceClient(platform::WorkFolder folder);
    ~CServiceClient();
    CServiceClient(const CServiceClient&) = delete;
    CServiceClient& operator=(const CServiceClient&) = delete;

    void SetBaseUrl(const char* url);
    const platform::WorkFolder& folder() const { return folder_; }
    const char* base_url() const { return baseUrl_; }
    void CloseHandles();
    void WriteErrorLog(const char* reply, const char* requestName);
    void ReleaseRecords();

    // ---- synchronisation requests ------------------------------------------------------------
    std::int32_t LogOn(const platform::Registration& who, const char* versionTag);
    std::int32_t TestLogon(const platform::Registration& who);
    std::int32_t QueryUpdates(const platform::Registration& who, const char* versionTag,
                              std::int32_t& count, std::string& dateText);
    std::int32_t FetchMutationList();
    std::int32_t FetchOfficialList();
    std::int32_t FetchPersonalList();
    std::int32_t UploadChanges(const char* changeList, std::int32_t& first, std::int32_t& second);
    std::int32_t ChangeDownload(std::int32_t& adds, std::int32_t& updates, std::int32_t& deletes);
    std::int32_t MapErrorReply(const char* reply, const char* requestName);

    // ---- start-up and information requests ---------------------------------------------------
    std::int32_t FetchServerUrl(const char* address, std::string& baseUrl);
    std::int32_t PingServer();
    std::int32_t FetchAlert(const char* body, std::string& text, std::size_t textLimit, std::int32_t& identifier);
    std::int32_t CheckVersion(const char* version, std::string& address, std::string& message);
    std::int32_t FetchInformation(const char* language);

    // ---- the PC caches --------------------------------------------------------------------
    void LoadLocalCache();
    void LoadMutationCache();
    void CountLocalCache(std::uint32_t& total, std::uint32_t& personal);
    int OpenInfoCache(std::int32_t& identifier, char* text);
    std::int32_t NextInfoRecord(char* text, bool& atLast, bool& second);
    std::int32_t PreviousInfoRecord(char* text, bool& first, bool& atFirst);
    std::int32_t LastInfoId();
    int AppendInfoRecord(const InfoRecord& record);
    void CloseInfoCache();

    std::vector<CameraRecord>& local_records() { return localRecords_; }
    std::vector<CameraRecord>& mutation_records() { return mutationRecords_; }
    std::uint32_t local_count() const { return static_cast<std::uint32_t>(localRecords_.size()); }
    std::uint32_t mutation_count() const { return static_cast<std::uint32_t>(mutationRecords_.size()); }
    std::int32_t info_count() const { return infoCount_; }

    // ---- the transport shared by every request ----------------------------------------------
    // A request on a fresh session and connection; gives 0 or the code of the failing step.
    std::int32_t OpenStandaloneRequest(const char* verb, const char* path, const char* body);
    std::int32_t OpenStandaloneRequestAt(const std::string& url, const char* verb, const char* body);
    // A request on the session and connection a logon left open; every failure gives 1.
    std::int32_t OpenSessionRequest(const char* verb, const char* path, const char* body);
    // One read of at most 500 bytes; false when the read failed.
    bool ReadPiece(ReplyPiece& piece);
    // Reads to the end; the piece ends up holding the last non-empty piece.
    bool ReadLastPiece(ReplyPiece& piece);
    // Reads to the end, handing every piece to the visitor, which may stop the reading by
    // giving false. Gives false when a read failed.
    bool ReadEachPiece(const std::function<bool(const ReplyPiece&)>& visit);

    bool has_session() const { return session_ != nullptr; }

private:
    enum class ListStart { kOkFirst, kPrefixFirst };
    // A start-up request: every field of the reply goes to the visitor (text, characters kept,
    // characters received); pieces beginning with skipPrefix carry no data.
    using StartupFieldVisitor = std::function<void(const char*, std::size_t, std::size_t)>;
    std::int32_t ReadStartupReply(const char* path, const char* body, const char* skipPrefix,
                                  const StartupFieldVisitor& onField);
    std::int32_t ReadCameraList(const char* requestName, const char* prefix, ListStart start, service::ListKind kind,
                                const std::function<bool(const CameraRecord&)>& store);
    std::string FullUrl(const char* path) const;

    platform::WorkFolder folder_;
    std::int32_t infoCount_ = 0;
    platform::inet::HINTERNET session_ = nullptr;
    platform::inet::HINTERNET connection_ = nullptr;
    platform::inet::HINTERNET request_ = nullptr;
    char baseUrl_[256] = {};
    std::vector<CameraRecord> localRecords_;
    std::vector<CameraRecord> mutationRecords_;
    std::int32_t infoIndex_ = 0;
    std::FILE* infoFile_ = nullptr;
};
