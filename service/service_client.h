#pragma once
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/internet.h"
#include "platform/pc_files.h"
#include "platform/settings.h"
#include "service/result.h"
#include "service/cache_file.h"
#include "service/camera_record.h"
#include "service/change_merge.h"

namespace service {
enum class ListKind : int;

// Results of the information cache's operations.
enum class InfoCacheResult : int { kDone = 0, kNothing = 1 };

// One piece of a reply: at most 500 bytes, always terminated after its last byte.
struct ReplyPiece {
    static constexpr std::uint32_t kMaxLength = 500;
    char text[kMaxLength + 1] = {};
    std::uint32_t length = 0;
};
}  // namespace service


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
    service::Result LogOn(const platform::Registration& who, const char* versionTag);
    service::Result TestLogon(const platform::Registration& who);
    service::Result QueryUpdates(const platform::Registration& who, const char* versionTag,
                              std::int32_t& count, std::string& dateText);
    service::Result FetchMutationList();
    service::Result FetchOfficialList();
    service::Result FetchPersonalList();
    // The official list, then the personal list after it, into ".\local.cache" with one commit
    // at the end; ".\mut.cache" is deleted between the two. The cache ends as the two requests
    // in a row would leave it; on any failure the earlier cache stays exactly as it was. While
    // the new cache is made lasting, alongside (if given) runs on this thread with the records
    // it holds.
    using CacheRecordsVisitor = std::function<void(const std::vector<service::CameraRecord>&)>;
    service::Result FetchOfficialAndPersonalLists(const CacheRecordsVisitor& alongside = {});
    service::Result UploadChanges(const char* changeList, std::int32_t& first, std::int32_t& second);
    // With alongside, that runs with the new cache's records while the cache is made lasting.
    // With kWithNextDownload the merged records may stay in memory alone (local_records_ahead()),
    // for the next change download or CommitLocalCache to write; ".\local.cache" then still
    // holds the earlier cache.
    service::Result ChangeDownload(std::int32_t& adds, std::int32_t& updates, std::int32_t& deletes,
                                   const CacheRecordsVisitor& alongside = {},
                                   service::CacheCommit commit = service::CacheCommit::kNow);
    // Writes the records held ahead of ".\local.cache" to it, with its seal; kOk at once when
    // none are. On failure the earlier cache stays and the records stay ahead.
    service::Result CommitLocalCache();
    // A change download that would add more cameras than this to the local cache is refused
    // (10006) and the cache left as it was.
    void SetAddedCameraLimit(std::size_t limit) { addedCameraLimit_ = limit; }
    service::Result MapErrorReply(const char* reply, const char* requestName);

    // ---- start-up and information requests ---------------------------------------------------
    // 0 also when the file gives no address (baseUrl empty): failure_cause() then says why (the
    // HTTP status of an error page, no "http:" address in it, one too long to hold).
    service::Result FetchServerUrl(const char* address, std::string& baseUrl);
    service::Result PingServer();
    service::Result FetchAlert(const char* body, std::string& text, std::size_t textLimit, std::int32_t& identifier);
    service::Result CheckVersion(const char* version, std::string& address, std::string& message);
    service::Result FetchInformation(const char* language);

    // ---- the PC caches --------------------------------------------------------------------
    void LoadLocalCache();
    // Loads the local cache again, unless the records in memory are exactly what this client
    // has just written to it (a list or a change download committed): then they are kept, and
    // the file is not read back.
    void ReloadLocalCache();
    // True while the records in memory are the content of ".\local.cache".
    bool local_records_are_the_cache() const { return localMirrorsFile_; }
    // The camera file's cell key of every record handed to the visitor of
    // FetchOfficialAndPersonalLists, while it runs; empty otherwise.
    std::span<const std::int32_t> fresh_cell_keys() const { return freshCellKeys_; }
    // True while the records in memory are a merged cache not yet written.
    bool local_records_ahead() const { return localAheadOfFile_; }
    void LoadMutationCache();
    void CountLocalCache(std::uint32_t& total, std::uint32_t& personal);
    // kDone when the information cache holds a record (the first is read), kNothing otherwise.
    service::InfoCacheResult OpenInfoCache(std::int32_t& identifier, char* text);
    std::int32_t NextInfoRecord(char* text, bool& atLast, bool& second);
    std::int32_t PreviousInfoRecord(char* text, bool& first, bool& atFirst);
    std::int32_t LastInfoId();
    // kDone when written, kNothing when the file could not be written: it then stays exactly as
    // it was, also when the process is killed midway. A partial record at the end of the file is
    // dropped.
    service::InfoCacheResult AppendInfoRecord(const service::InfoRecord& record);
    service::InfoCacheResult AppendInfoRecords(std::span<const service::InfoRecord> records);
    void CloseInfoCache();

    std::vector<service::CameraRecord>& local_records() { return localRecords_; }
    std::vector<service::CameraRecord>& mutation_records() { return mutationRecords_; }
    std::uint32_t local_count() const { return static_cast<std::uint32_t>(localRecords_.size()); }
    std::uint32_t mutation_count() const { return static_cast<std::uint32_t>(mutationRecords_.size()); }
    std::int32_t info_count() const { return infoCount_; }

    // ---- the transport shared by every request ----------------------------------------------
    // A request on a fresh session and connection; gives 0 or the code of the failing step.
    service::Result OpenStandaloneRequest(const char* verb, const char* path, const char* body);
    service::Result OpenStandaloneRequestAt(const std::string& url, const char* verb, const char* body);
    // A request on the session and connection a logon left open; every failure gives 1.
    service::Result OpenSessionRequest(const char* verb, const char* path, const char* body);
    // One read of at most 500 bytes; false when the read failed.
    bool ReadPiece(service::ReplyPiece& piece);
    // Reads to the end; the piece ends up holding the last non-empty piece.
    bool ReadLastPiece(service::ReplyPiece& piece);
    // Reads to the end, handing every piece to the visitor, which may stop the reading by
    // giving false. Gives false when a read failed.
    bool ReadEachPiece(const std::function<bool(const service::ReplyPiece&)>& visit);

    bool has_session() const { return session_ != nullptr; }

    // ---- what the user is told beside a result code -------------------------------------------
    // Why the request that failed last failed, in one line: the transport's own account (refused,
    // unknown host, timed out and after how long), the HTTP status of a reply that was not
    // understood and where it was logged, the file that could not be written and why. Empty
    // when nothing more is known. A request that succeeds leaves it as it was.
    const std::string& failure_cause() const { return failureCause_; }
    // Bounds the time that the standalone requests sent from now on may take together, from
    // their sending to the closing of their handles (the time between them, a user reading an
    // alert, does not count). A request still running when the time is used up fails as timed
    // out at whatever step it is; once it is used up every further one fails at once. A zero
    // limit lifts the bound.
    void LimitRequestTime(std::chrono::milliseconds total);
    // For the steps of a synchronisation beyond the requests (the reports file, the camera file).
    void NoteFailureCause(std::string cause) { failureCause_ = std::move(cause); }
    // Reports the progress of every request sent from now on (on this thread, while the request
    // is sent and read); an empty observer stops the reports.
    void SetTransferObserver(platform::inet::TransferObserver observer);

private:
    enum class ListStart { kOkFirst, kPrefixFirst };
    // A start-up request: every field of the reply goes to the visitor (text, characters kept,
    // characters received); pieces beginning with skipPrefix carry no data. The visitor gives
    // false for a field no true reply holds; then, and for a reply longer than any true one, the
    // reading stops and understood is false: the caller uses nothing of the reply.
    using StartupFieldVisitor = std::function<bool(const char*, std::size_t, std::size_t)>;
    service::Result ReadStartupReply(const char* path, const char* body, const char* skipPrefix,
                                  const StartupFieldVisitor& onField, bool& understood);
    service::Result ReadCameraList(const char* requestName, const char* prefix, ListStart start, service::ListKind kind,
                                const std::function<bool(const service::CameraRecord&)>& store);
    // One read of at most 500 bytes into text (room for 501): ReadPiece without its own piece.
    bool ReadInto(char* text, std::uint32_t& length);
    std::string FullUrl(const char* path) const;
    service::Result ReadOfficialList(service::CacheFileWriter& file, std::vector<service::CameraRecord>& written,
                                     std::vector<std::int32_t>* cellKeys = nullptr);
    // Notes the failed step with the reason its call gave, and what is worth knowing about the URL.
    void NoteTransportFailure(const char* step, const std::string& url, const std::string& why);
    void NoteFileFailure(const std::string& path, int error);

    platform::WorkFolder folder_;
    std::int32_t infoCount_ = 0;
    platform::inet::HINTERNET session_ = nullptr;
    platform::inet::HINTERNET connection_ = nullptr;
    platform::inet::HINTERNET request_ = nullptr;
    char baseUrl_[256] = {};
    std::vector<service::CameraRecord> localRecords_;
    bool localMirrorsFile_ = false;
    bool localAheadOfFile_ = false;
    std::vector<std::int32_t> freshCellKeys_;  // while a visitor of a full retrieval runs
    std::size_t addedCameraLimit_ = service::kMaxAddedCameras;
    std::vector<service::CameraRecord> mutationRecords_;
    std::int32_t infoIndex_ = 0;
    std::FILE* infoFile_ = nullptr;
    std::string failureCause_;
    platform::inet::TransferObserver transferObserver_;
    // The time left for requests under LimitRequestTime, and when the open one was sent.
    bool timeLimited_ = false;
    std::chrono::steady_clock::duration timeLeft_{};
    std::chrono::steady_clock::time_point requestSent_{};
    bool requestTimed_ = false;
};
