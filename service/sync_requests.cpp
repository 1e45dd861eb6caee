#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/large_memory.h"
#include "platform/version.h"
#include "service/camera_file/writer.h"
#include "service/field_reader.h"
#include "service/mutation_filter.h"
#include "service/list_fields.h"
#include "service/block_pipeline.h"
#include "service/reply_text.h"
#include "service/service_client.h"

using service::CameraRecord;
using service::InfoRecord;
using service::ReplyPiece;
using service::Result;

using service::StartsWith;

namespace {

std::int32_t CellKeyOf(const CameraRecord& r) { return service::CellOf(r.latitude, r.longitude).cellKey; }

// The credentials go as they stand, joined by commas, although the header names form encoding.
std::string JoinBody(const platform::Registration& who, const char* versionTag) {
    return std::string(who.registrar) + "," + who.serial + "," + who.email + "," + versionTag;
}

// The lines of a change list after its header line.
std::int32_t ChangeLinesIn(const char* changeList) {
    const std::string_view text(changeList ? changeList : "");
    const auto lines = std::count(text.begin(), text.end(), '\n');
    return static_cast<std::int32_t>(std::min<std::ptrdiff_t>(lines > 0 ? lines - 1 : 0, INT32_MAX));
}

// "OK:<stored>:<accepted>", a line end allowed after it; the numbers are given only when both
// are whole and at most linesSent.
bool ReadUploadConfirmation(const ReplyPiece& piece, std::int32_t linesSent, std::int32_t& stored,
                            std::int32_t& accepted) {
    std::string_view text(piece.text, piece.length);
    if (!StartsWith(piece.text, "OK:") || text.size() != std::strlen(piece.text)) return false;
    text.remove_prefix(3);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) return false;
    std::int32_t first = 0;
    std::int32_t second = 0;
    if (!service::ReadWholeNumber(text.substr(0, colon), first) ||
        !service::ReadWholeNumber(text.substr(colon + 1), second) || first > linesSent || second > linesSent) {
        return false;
    }
    stored = first;
    accepted = second;
    return true;
}

}  // namespace

Result CServiceClient::MapErrorReply(const char* reply, const char* requestName) {
    if (std::strncmp(reply, "ERROR:Not_Logged_In!", 20) == 0) return Result::kNotLoggedIn;
    if (std::strncmp(reply, "ERROR:User_Not_Fou", 18) == 0) return Result::kUserNotFound;
    if (std::strncmp(reply, "ERROR:Logon_Credentials_Not", 27) == 0) return Result::kCredentialsNotFound;
    const int status = request_ ? platform::inet::HttpStatus(request_) : 0;
    WriteErrorLog(reply, requestName);
    failureCause_ = std::string("the service's reply to ") + (requestName ? requestName : "a request") +
                    " was not understood" + (status != 0 ? " (HTTP status " + std::to_string(status) + ")" : "") +
                    "; details in " + folder_.Path(platform::pcfile::kErrorLog);
    return Result::kUnknownReply;
}

Result CServiceClient::LogOn(const platform::Registration& who, const char* versionTag) {
    const std::string body = JoinBody(who, versionTag);
    const Result code = OpenStandaloneRequest("POST", "POIDataBase/LoGon.php", body.c_str());
    if (code != Result::kOk) return code;
    ReplyPiece piece;
    if (!ReadLastPiece(piece)) return Result::kReadFailed;
    if (StartsWith(piece.text, "OK:")) return Result::kOk;
    if (std::strcmp(piece.text, "OKFULL:") == 0) return Result::kFullRetrievalDemanded;
    return MapErrorReply(piece.text, "LoGon");
}

Result CServiceClient::TestLogon(const platform::Registration& who) {
    const Result code = LogOn(who, platform::version::kTag);
    CloseHandles();
    return code;
}

Result CServiceClient::QueryUpdates(const platform::Registration& who, const char* versionTag,
                                          std::int32_t& count, std::string& dateText) {
    const std::string body = JoinBody(who, versionTag);
    const Result code = OpenStandaloneRequest("POST", "POIDataBase/Updates.php", body.c_str());
    if (code != Result::kOk) return code;
    ReplyPiece piece;
    if (!ReadLastPiece(piece)) return Result::kReadFailed;
    if (!StartsWith(piece.text, "OK:")) {
        const Result error = MapErrorReply(piece.text, "Updates");
        CloseHandles();
        return error;
    }
    const std::string rest(piece.text + 3);
    std::string countPart = rest;
    std::string date = dateText;
    if (const std::size_t colon = rest.find(':'); colon != std::string::npos) {
        date = rest.substr(colon + 1, 10);
        countPart = rest.substr(0, colon);
    } else if (!rest.empty()) {
        date = "Unknown!";
    }
    // The count is shown to the user as the changes waiting: anything but "FULL" or a whole
    // number of changes is no count.
    std::int32_t changes = -1;
    if (countPart != "FULL" && !service::ReadWholeNumber(countPart, changes)) {
        const Result error = MapErrorReply(piece.text, "Updates");
        CloseHandles();
        return error;
    }
    count = changes;
    dateText = date;
    CloseHandles();
    return Result::kOk;
}

namespace {
// A block of reply bytes is 256 KiB; of records, 4096 (320 KiB).
constexpr std::size_t kReplyBytesPerBlock = std::size_t{1} << 18;
constexpr std::size_t kRecordsPerBlock = 4096;
// Records a first official list is given room for: more than a large camera database holds.
constexpr std::size_t kOfficialListCapacity = 1'500'000;
}  // namespace

// The list is read on this thread, piece by piece with every test of a piece as before; a
// second thread parses the pieces' fields in place and a third filters and stores the records,
// so that a long list keeps both cores busy.
Result CServiceClient::ReadCameraList(const char* requestName, const char* prefix, ListStart start,
                                            service::ListKind kind,
                                            const std::function<bool(const CameraRecord&)>& store) {
    Result code = Result::kOk;
    bool first = true;
    bool storeFailed = false;  // the workers', read after they ended
    int storeError = 0;
    service::BlockPipeline<CameraRecord> records(kRecordsPerBlock, 1, [&](CameraRecord* r, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            if (!store(r[i])) {
                storeFailed = true;
                storeError = errno;
                return false;
            }
        }
        return true;
    });
    service::ListFieldReader reader(true);
    service::CameraRecordBuilder builder(kind);
    service::BlockPipeline<char> pipeline(kReplyBytesPerBlock, ReplyPiece::kMaxLength + 1, [&](char* data, std::size_t size) {
        return reader.FeedInPlace(data, size, [&](const char* field, std::size_t, std::size_t) {
            return !builder.Take(field) || records.Append(builder.record());
        });
    });
    bool read = true;
    for (;;) {
        char* text = pipeline.Room();
        std::uint32_t got = 0;
        if (!ReadInto(text, got)) {
            read = false;
            break;
        }
        if (got == 0) break;
        std::size_t length = got;
        if (StartsWith(text, "ERROR:")) {
            code = MapErrorReply(text, requestName);
            break;
        }
        if (start == ListStart::kOkFirst && StartsWith(text, "OK:")) break;
        if (first) {
            first = false;
            if (!StartsWith(text, prefix)) {
                code = MapErrorReply(text, requestName);
                break;
            }
            text += 4;
            length -= 4;
        }
        if (start == ListStart::kPrefixFirst && StartsWith(text, "OK:")) break;
        if (!pipeline.Add(text, length) || pipeline.stopped()) break;
    }
    pipeline.Finish();
    records.Finish();
    if (!read) return Result::kSessionTransportFailed;
    if (storeFailed) {
        failureCause_ = std::string("cannot store the list ") + requestName + " in " + folder_.root() + ": " +
                        std::strerror(storeError);
        return Result::kLocalCacheFailed;
    }
    return code;
}

// A list that fails midway, or whose file cannot be written, leaves the earlier file whole and
// gives the failure back: a partial cache must never pass for a complete one.
Result CServiceClient::FetchMutationList() {
    service::CacheFileWriter file;
    if (!file.Open(folder_.Path(platform::pcfile::kMutationCache))) {
        NoteFileFailure(folder_.Path(platform::pcfile::kMutationCache), errno);
        return Result::kLocalCacheFailed;
    }
    Result code = OpenSessionRequest(nullptr, "POIDataBase/mut.php", nullptr);
    if (code == Result::kOk) {
        code = ReadCameraList("MUT", "MUT:", ListStart::kOkFirst, service::ListKind::kMutation,
                              [&](const CameraRecord& r) { return file.Add(r); });
    }
    if (code != Result::kOk) return code;
    if (file.Commit()) return Result::kOk;
    NoteFileFailure(folder_.Path(platform::pcfile::kMutationCache), errno);
    return Result::kLocalCacheFailed;
}

Result CServiceClient::ReadOfficialList(service::CacheFileWriter& file, std::vector<CameraRecord>& written,
                                        std::vector<std::int32_t>* cellKeys) {
    LoadMutationCache();
    const service::MutationFilter filter(mutationRecords_);
    // The list is about as long as the cache it replaces, or as a large camera database when
    // there is none; growing to it would copy it many times. Only the part written to takes
    // memory: the rest is address space.
    const long long earlier = folder_.SizeOf(platform::pcfile::kLocalCache);
    written.reserve(earlier > 0 ? static_cast<std::size_t>(earlier) / sizeof(CameraRecord) * 11 / 10
                                : kOfficialListCapacity);
    platform::AdviseLargePages(written);
    if (cellKeys != nullptr) cellKeys->reserve(written.capacity());
    Result code = OpenSessionRequest(nullptr, "POIDataBase/off.php", nullptr);
    if (code == Result::kOk) {
        code = ReadCameraList("OFF", "OFF:", ListStart::kPrefixFirst,
                              service::ListKind::kOfficialOrPersonal, [&](const CameraRecord& r) {
                                  CameraRecord official = r;
                                  if (!filter.Apply(official)) return true;
                                  written.push_back(official);
                                  if (cellKeys != nullptr) cellKeys->push_back(CellKeyOf(official));
                                  return file.Add(official);
                              });
    }
    return code;
}

// The records written are kept in memory as well: the synchronisation goes on with them instead
// of reading the new cache back.
Result CServiceClient::FetchOfficialList() {
    service::CacheFileWriter file;
    if (!file.Open(folder_.Path(platform::pcfile::kLocalCache), service::Sealing::kSealed)) {
        NoteFileFailure(folder_.Path(platform::pcfile::kLocalCache), errno);
        return Result::kLocalCacheFailed;
    }
    std::vector<CameraRecord> written;
    const Result code = ReadOfficialList(file, written);
    if (code != Result::kOk) return code;
    if (!file.Commit()) {
        NoteFileFailure(folder_.Path(platform::pcfile::kLocalCache), errno);
        return Result::kLocalCacheFailed;
    }
    localRecords_ = std::move(written);
    localMirrorsFile_ = true;
    return Result::kOk;
}

// One commit for both lists: the cache is made lasting once, on a second thread, while the
// caller's work on the new records runs on this one.
Result CServiceClient::FetchOfficialAndPersonalLists(const CacheRecordsVisitor& alongside) {
    const std::string path = folder_.Path(platform::pcfile::kLocalCache);
    service::CacheFileWriter file;
    if (!file.Open(path, service::Sealing::kSealed)) {
        NoteFileFailure(path, errno);
        return Result::kLocalCacheFailed;
    }
    std::vector<CameraRecord> written;
    // The camera file's keys are computed as the records arrive, on the thread that stores them.
    std::vector<std::int32_t> cellKeys;
    Result code = ReadOfficialList(file, written, &cellKeys);
    folder_.Delete(platform::pcfile::kMutationCache);
    if (code == Result::kOk) code = OpenSessionRequest(nullptr, "POIDataBase/per.php", nullptr);
    if (code == Result::kOk) {
        code = ReadCameraList("PER", "PER:", ListStart::kOkFirst, service::ListKind::kOfficialOrPersonal,
                              [&](const CameraRecord& r) {
                                  written.push_back(r);
                                  cellKeys.push_back(CellKeyOf(r));
                                  return file.Add(r);
                              });
    }
    if (code != Result::kOk) return code;  // the earlier cache stays as it was
    localRecords_ = std::move(written);
    bool committed = false;
    int error = 0;
    std::thread commit([&] {
        committed = file.Commit();
        error = errno;
    });
    freshCellKeys_ = std::move(cellKeys);
    if (alongside) alongside(localRecords_);
    std::vector<std::int32_t>().swap(freshCellKeys_);
    commit.join();
    if (!committed) {
        NoteFileFailure(path, error);
        return Result::kLocalCacheFailed;
    }
    localMirrorsFile_ = true;
    return Result::kOk;
}

Result CServiceClient::FetchPersonalList() {
    service::CacheAppender file;
    if (!file.Open(folder_.Path(platform::pcfile::kLocalCache), false, service::Sealing::kSealed)) {
        NoteFileFailure(folder_.Path(platform::pcfile::kLocalCache), errno);
        return Result::kLocalCacheFailed;
    }
    const std::size_t before = localRecords_.size();
    Result code = OpenSessionRequest(nullptr, "POIDataBase/per.php", nullptr);
    if (code == Result::kOk) {
        code = ReadCameraList("PER", "PER:", ListStart::kOkFirst,
                              service::ListKind::kOfficialOrPersonal, [&](const CameraRecord& r) {
                                  if (localMirrorsFile_) localRecords_.push_back(r);
                                  return file.Add(r);
                              });
    }
    if (code == Result::kOk && !file.Commit()) {
        NoteFileFailure(folder_.Path(platform::pcfile::kLocalCache), errno);
        code = Result::kLocalCacheFailed;
    }
    if (code != Result::kOk && localMirrorsFile_) localRecords_.resize(before);
    return code;
}

Result CServiceClient::UploadChanges(const char* changeList, std::int32_t& first, std::int32_t& second) {
    first = 0;
    second = 0;
    const Result code = OpenSessionRequest("POST", "POIDataBase/upl0ad.php", changeList);
    if (code != Result::kOk) return code;
    ReplyPiece piece;
    if (!ReadPiece(piece)) return Result::kSessionTransportFailed;
    // The reports are given up on the strength of this reply, so only a confirmation that could
    // be true counts: two whole numbers, neither more than the change lines sent. Anything else,
    // no reply included, is a reply not understood and the reports stay.
    if (!ReadUploadConfirmation(piece, ChangeLinesIn(changeList), first, second)) {
        return MapErrorReply(piece.text, "Upload");
    }
    return Result::kOk;
}

Result CServiceClient::ChangeDownload(std::int32_t& adds, std::int32_t& updates, std::int32_t& deletes,
                                      const CacheRecordsVisitor& alongside, service::CacheCommit commit) {
    service::ChangeMerge merge(localRecords_, folder_, addedCameraLimit_);
    // Without the delta file every new camera of the download would be dropped while the service
    // counts them as delivered: fail before asking for them.
    if (!merge.OpenDelta()) {
        NoteFileFailure(folder_.Path(platform::pcfile::kDeltaFile), errno);
        return Result::kLocalCacheFailed;
    }
    Result code = OpenSessionRequest(nullptr, "POIDataBase/D0Sync.php", nullptr);
    std::int32_t counts[3] = {0, 0, 0};
    if (code == Result::kOk) {
        service::ListFieldReader reader(true);
        service::CameraRecordBuilder builder(service::ListKind::kChange);
        const bool read = ReadEachPiece([&](const ReplyPiece& piece) {
            if (StartsWith(piece.text, "ERROR:")) {
                code = MapErrorReply(piece.text, "D0Sync");
                return false;
            }
            return reader.Feed(piece.text, piece.length, [&](const char* field, std::size_t, std::size_t) {
                const bool complete = builder.Take(field);
                if (builder.action_just_read() && builder.action() != service::DownloadAction::kUnknown) {
                    ++counts[static_cast<int>(builder.action())];
                }
                return !complete || merge.Apply(builder.record(), builder.action());
            });
        });
        if (!read) code = Result::kSessionTransportFailed;
    }
    if (code != Result::kOk) {
        merge.Abandon();
        localMirrorsFile_ = false;
        localAheadOfFile_ = false;
        return code;
    }
    // Changes the service has handed over must reach the cache; if it cannot be written the
    // synchronisation fails and the old cache stays.
    if (!merge.Finish(localMirrorsFile_, alongside, commit)) {
        localMirrorsFile_ = false;  // the merge has marked records deleted in memory
        localAheadOfFile_ = false;
        if (merge.over_limit()) {
            // A reply that would swell the cache past any real camera database is refused whole.
            const std::string limit = std::to_string(merge.added_limit());
            WriteErrorLog(("a change download adding more than " + limit + " cameras").c_str(), "D0Sync");
            failureCause_ = "the change download would add more than " + limit +
                            " cameras to the local cache; it was refused and the cache left as it was";
            return Result::kUnknownReply;
        }
        NoteFileFailure(folder_.Path(platform::pcfile::kLocalCache), errno);
        return Result::kLocalCacheFailed;
    }
    localMirrorsFile_ = merge.wrote_file();  // the merge left the records as written, or ahead
    localAheadOfFile_ = !merge.wrote_file();
    adds = counts[static_cast<int>(service::DownloadAction::kAdd)];
    updates = counts[static_cast<int>(service::DownloadAction::kUpdate)];
    deletes = counts[static_cast<int>(service::DownloadAction::kDelete)];
    return Result::kOk;
}

Result CServiceClient::CommitLocalCache() {
    if (!localAheadOfFile_) return Result::kOk;
    service::CacheFileWriter cache;
    const std::string path = folder_.Path(platform::pcfile::kLocalCache);
    if (!(cache.Open(path, service::Sealing::kSealed) && cache.AddAll(localRecords_.data(), localRecords_.size()) &&
          cache.Commit())) {
        NoteFileFailure(path, errno);
        return Result::kLocalCacheFailed;
    }
    localAheadOfFile_ = false;
    localMirrorsFile_ = true;
    return Result::kOk;
}
