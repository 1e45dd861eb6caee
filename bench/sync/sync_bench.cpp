// The client against the reference service over loopback, at a million cameras:
//   - a full retrieval (1,000,000 official, 50,000 mutations, 10,000 personal) into the caches,
//     with the client's peak memory;
//   - a first (full) synchronisation, then an incremental one with 1,000 changes on the service
//     and 100 personal reports;
//   - the field reader alone, on 200 MB of list text.
// The service runs as its own process, so the memory figure is the client's alone.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/change_record.h"
#include "engine/synchronisation.h"
#include "loopback.h"
#include "platform/string_table.h"
#include "service/list_fields.h"
#include "service/service_client.h"
#include "tools/poidb-server/schema.h"
#include "tools/poidb-server/store.h"

namespace {

const platform::Registration kSampleUser = [] {
    platform::Registration who;
    platform::MakeRegistration("Sample User 1", "SAMPLE-0001", "user1@example.org", who);
    return who;
}();

using Clock = std::chrono::steady_clock;
double Since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

long PeakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

int Run(const std::vector<std::string>& args) {
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv;
        argv.reserve(args.size() + 1);
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void FieldReaderThroughput() {
    std::string text;
    while (text.size() < std::size_t{200} * 1000 * 1000) {
        text += "123456|52370000|4890000|Amsterdam Centraal camera 12|90|27516|50|1#\n";
    }
    service::ListFieldReader reader(true);
    service::CameraRecordBuilder builder(service::ListKind::kOfficialOrPersonal);
    std::size_t records = 0;
    const auto start = Clock::now();
    for (std::size_t at = 0; at < text.size(); at += 500) {
        reader.Feed(text.data() + at, std::min<std::size_t>(500, text.size() - at),
                    [&](const char* field, std::size_t, std::size_t) {
                        records += builder.Take(field) ? 1 : 0;
                        return true;
                    });
    }
    const double seconds = Since(start);
    std::printf("field reader: %.0f MB of list text in 500-byte pieces, %zu records, %.3f s, %.0f MB/s\n",
                static_cast<double>(text.size()) / 1e6, records, seconds, static_cast<double>(text.size()) / 1e6 / seconds);
}

std::uint32_t Synchronise(const platform::WorkFolder& folder, const std::string& baseUrl, engine::SyncCounts& counts) {
    platform::StringTable texts;
    texts.Load(std::string(ZARNIK_SOURCE_DIR) + "/resources/lang", "1033");
    CServiceClient client(folder);
    client.SetBaseUrl(baseUrl.c_str());
    engine::SilentProgress progress;
    return engine::RunSynchronisation(client, progress, texts, kSampleUser, "2.0", counts);
}

}  // namespace

int main() {

    const std::string dir = std::filesystem::temp_directory_path() / ("zarnik-sync-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir + "/work");
    const std::string server = std::string(ZARNIK_BIN_DIR) + "/poidb-server";
    const std::string db = dir + "/poi.db";
    std::printf("generating 1,000,000 sample cameras...\n");
    std::fflush(stdout);
    if (Run({server, "sample", "--db", db, "--cameras", "1000000", "--mutations", "50000", "--personal", "10000",
             "--seed", "3"}) != 0) {
        return 1;
    }
    std::string address;
    const int probe = testsupport::ListenOnFreeLoopback(80, address);
    if (probe < 0) return 1;
    close(probe);
    const pid_t service = fork();
    if (service == 0) {
        execl(server.c_str(), server.c_str(), "serve", "--address", address.c_str(), "--db", db.c_str(), "--quiet",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    usleep(500000);
    const std::string baseUrl = "http://" + address + "/";
    const platform::WorkFolder folder(dir + "/work");

    {
        CServiceClient client(folder);
        client.SetBaseUrl(baseUrl.c_str());
        const auto start = Clock::now();
        const std::int32_t logon = service::Code(client.LogOn(kSampleUser, "2.0"));
        const std::int32_t mut = service::Code(client.FetchMutationList());
        const std::int32_t off = service::Code(client.FetchOfficialList());
        const std::int32_t per = service::Code(client.FetchPersonalList());
        const double seconds = Since(start);
        client.CloseHandles();
        std::uint32_t total = 0, personal = 0;
        client.CountLocalCache(total, personal);
        std::printf("full retrieval: %u cameras (%u personal) into the caches in %.3f s (results %d %d %d %d), "
                    "client peak memory %ld MB\n",
                    total, personal, seconds, logon, mut, off, per, PeakMegabytes());
        std::filesystem::remove(folder.Path(platform::pcfile::kLocalCache));
        std::filesystem::remove(folder.Path(platform::pcfile::kMutationCache));
    }

    engine::SyncCounts counts;
    auto start = Clock::now();
    std::uint32_t code = Synchronise(folder, baseUrl, counts);
    std::printf("first synchronisation (full): result %u, %d cameras, %.3f s\n", code, counts.changesAdded, Since(start));

    {
        poidb::Database admin;
        std::string error;
        if (!poidb::OpenStore(admin, db, false, error)) return 1;
        poidb::Store store(admin);
        for (int i = 0; i < 1000; ++i) {
            poidb::CameraInput camera{45000000 + i * 1000, 9000000 + i * 1000, "bench camera", 90, 3, 0, std::nullopt};
            store.AddCamera(camera, std::time(nullptr));
        }
    }
    std::vector<engine::ChangeRecord> reports(100);
    for (int i = 0; i < 100; ++i) {
        reports[i] = engine::ChangeRecord{};
        reports[i].latitude = 60000000 + i * 5000;
        reports[i].longitude = 20000000 + i * 5000;
        reports[i].category = 3;
        reports[i].direction = 180;
        reports[i].action = engine::ChangeAction::kAdd;
    }
    std::ofstream(folder.Path(platform::pcfile::kPersonalUpdates), std::ios::binary)
        .write(reinterpret_cast<const char*>(reports.data()), static_cast<std::streamsize>(reports.size() * 80));
    start = Clock::now();
    code = Synchronise(folder, baseUrl, counts);
    std::printf("incremental synchronisation: result %u, %d added, %d personal stored, %.3f s\n", code,
                counts.changesAdded, counts.personalStored, Since(start));

    kill(service, SIGTERM);
    waitpid(service, nullptr, 0);
    std::filesystem::remove_all(dir);
    // Last, so that its 200 MB of text never counts in the client's peak memory above.
    FieldReaderThroughput();
    return 0;
}
