// The camera caches and the change download on hostile bytes. The input is a cache file (any
// length, any record content) and the text of a change download. Whatever they hold:
//  - loading gives exactly the file's whole records, and a file with none is deleted;
//  - the list record builder makes the same records however the reply is split into pieces,
//    with every name terminated and every mutation flag 0 or 1;
//  - the mutation filter keeps what a front-to-back scan keeps;
//  - the merge gives, in memory and on disk, what a literal first-match merge gives.
// Input: flags (1 byte), the cache's length (2 bytes, little-endian), the cache, the download.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "literal_caches.h"
#include "platform/pc_files.h"
#include "service/change_merge.h"
#include "service/list_fields.h"
#include "service/mutation_filter.h"
#include "service/service_client.h"
#include "temp_dir.h"

namespace {

using service::CameraRecord;
using service::ListKind;

void Require(bool condition) {
    if (!condition) std::abort();
}

bool SameRecords(const std::vector<CameraRecord>& a, const std::vector<CameraRecord>& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof a[0]) == 0);
}

std::string Bytes(const std::vector<CameraRecord>& records) {
    return std::string(reinterpret_cast<const char*>(records.data()), records.size() * sizeof(CameraRecord));
}

struct Built {
    std::vector<CameraRecord> records;
    std::vector<literal::Change> changes;  // change kind only: each record with its action
};

// The reply text through the field reader and the record builder, in pieces of `step` bytes,
// as the service client reads a list or a change download.
Built Build(const std::string& text, ListKind kind, std::size_t step) {
    service::ListFieldReader reader(true);
    service::CameraRecordBuilder builder(kind);
    Built out;
    for (std::size_t at = 0; at < text.size(); at += step) {
        const std::size_t n = text.size() - at < step ? text.size() - at : step;
        reader.Feed(text.data() + at, n, [&](const char* field, std::size_t, std::size_t) {
            if (!builder.Take(field)) return true;
            const CameraRecord& r = builder.record();
            Require(std::memchr(r.name, '\0', sizeof r.name) != nullptr);
            if (kind == ListKind::kMutation) Require(r.flag == 0 || r.flag == 1);
            out.records.push_back(r);
            if (kind == ListKind::kChange) out.changes.push_back({r, builder.action()});
            return true;
        });
    }
    return out;
}

void CheckBuilders(const std::string& text, std::size_t step) {
    for (const ListKind kind : {ListKind::kMutation, ListKind::kOfficialOrPersonal, ListKind::kChange}) {
        const Built whole = Build(text, kind, text.empty() ? 1 : text.size());
        const Built split = Build(text, kind, step);
        Require(SameRecords(whole.records, split.records));
        for (std::size_t i = 0; i < whole.changes.size(); ++i) Require(whole.changes[i].action == split.changes[i].action);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const testsupport::TempDir dir;
    const platform::WorkFolder folder(dir.path());
    if (size < 3) return 0;
    const std::uint8_t flags = data[0];
    std::size_t cacheSize = data[1] | (static_cast<std::size_t>(data[2]) << 8);
    data += 3;
    size -= 3;
    if (cacheSize > size) cacheSize = size;
    const std::string cache(reinterpret_cast<const char*>(data), cacheSize);
    const std::string download(reinterpret_cast<const char*>(data + cacheSize), size - cacheSize);
    static const std::size_t kSteps[] = {500, 1, 13, 4096};
    const std::size_t step = kSteps[(flags >> 2) & 3];

    for (const char* name : {platform::pcfile::kLocalCache, platform::pcfile::kMutationCache,
                             platform::pcfile::kDeltaFile, ".\\local.cache.sum"}) {
        folder.Delete(name);
    }
    testsupport::WriteWholeFile(folder.Path(platform::pcfile::kLocalCache), cache);
    if ((flags & 2) != 0) testsupport::WriteWholeFile(folder.Path(platform::pcfile::kMutationCache), cache);

    // Loading: the whole records; a file without one, or (having no seal) with a partial one,
    // is deleted.
    const std::size_t whole = cache.size() % sizeof(CameraRecord) == 0 ? cache.size() / sizeof(CameraRecord) : 0;
    CServiceClient client(folder);
    std::uint32_t total = 0, personal = 0;
    client.CountLocalCache(total, personal);
    Require(total == whole);
    Require(testsupport::FileExists(folder.Path(platform::pcfile::kLocalCache)) == (whole > 0));
    if (whole == 0) return 0;
    client.LoadLocalCache();
    std::vector<CameraRecord> original = client.local_records();
    Require(Bytes(original) == cache.substr(0, whole * sizeof(CameraRecord)));
    std::uint32_t ownCameras = 0;
    for (const CameraRecord& r : original) ownCameras += r.flag == 0 ? 1 : 0;
    Require(personal == ownCameras);

    // The mutation filter, with the cache's records as both the list and the mutations.
    client.LoadMutationCache();
    const std::vector<CameraRecord>& mutations = client.mutation_records();
    Require(mutations.size() == ((flags & 2) != 0 ? whole : 0));
    const service::MutationFilter filter(mutations);
    std::vector<CameraRecord> kept;
    for (CameraRecord r : original) {
        if (filter.Apply(r)) kept.push_back(r);
    }
    Require(SameRecords(kept, literal::FilterOfficial(original, mutations)));

    CheckBuilders(download, step);

    // The merge of the download into the loaded cache.
    const Built changes = Build(download, ListKind::kChange, step);
    {
        static const std::size_t kBatches[] = {0, 1, 2, 7};
        service::ChangeMerge merge(client.local_records(), folder, SIZE_MAX, kBatches[(flags >> 4) & 3]);
        Require(merge.OpenDelta());
        for (const literal::Change& c : changes.changes) Require(merge.Apply(c.record, c.action));
        Require(merge.Finish((flags & 1) != 0 && client.local_records_are_the_cache()));
    }
    const std::vector<CameraRecord> expected = literal::Merge(original, changes.changes);
    Require(SameRecords(client.local_records(), expected));
    Require(testsupport::ReadWholeFile(folder.Path(platform::pcfile::kLocalCache)) == Bytes(expected));
    client.LoadLocalCache();  // the new cache matches its new seal
    Require(SameRecords(client.local_records(), expected));
    Require(!testsupport::FileExists(folder.Path(platform::pcfile::kDeltaFile)));
    return 0;
}
