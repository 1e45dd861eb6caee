// The start-up requests on hostile replies, through the real transport: a loopback HTTP server
// answers every request with the input. Whatever it holds, the server address is taken only
// whole (an http: address of one line that fits the base URL), the alert, version and message
// texts stay within their limits, the information cache gets whole records with terminated
// texts, and a count or an upload confirmation is a number a true reply can carry, or none.
// Binds port 80 on a loopback address (root or a private network namespace).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/internet.h"
#include "platform/pc_files.h"
#include "scripted_http_server.h"
#include "service/service_client.h"
#include "temp_dir.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

constexpr std::size_t kAlertLimit = 2048;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const testsupport::TempDir dir;
    static const bool timeouts = (platform::inet::SetTimeouts(5, 5), true);
    (void)timeouts;
    const platform::WorkFolder folder(dir.path());
    folder.Delete(platform::pcfile::kInfoCache);
    folder.Delete(platform::pcfile::kErrorLog);
    const std::string reply(reinterpret_cast<const char*>(data), size);

    testsupport::ScriptedHttpServer server(
        [&](const testsupport::HttpRequest&, testsupport::HttpConnection& c) { testsupport::SendReply(c, reply); });
    if (!server.ok()) {
        std::fputs("startup_replies_fuzz: cannot listen on port 80 of a loopback address\n", stderr);
        std::abort();
    }
    CServiceClient client(folder);
    client.SetBaseUrl(server.BaseUrl().c_str());

    std::string url;
    Require(client.FetchServerUrl(server.BaseUrl().c_str(), url) == service::Result::kOk);
    Require(url.empty() || (url.compare(0, 5, "http:") == 0 && url.size() < 256 &&
                            url.find_first_of("\r\n") == std::string::npos));

    const service::Result ping = client.PingServer();
    Require(ping == service::Result::kOk || ping == service::Result::kNoStartupAnswer);
    client.CloseHandles();

    std::string alert;
    std::int32_t alertId = 0;
    Require(client.FetchAlert("-1;1033", alert, kAlertLimit, alertId) == service::Result::kOk);
    Require(alert.size() < kAlertLimit);

    std::string address, message;
    Require(client.CheckVersion("2.0.9", address, message) == service::Result::kOk);
    Require(address.size() < 1024 && message.size() < 1024);

    // The numbers the user is shown or relies on are true ones or none.
    std::int32_t count = -2;
    std::string date;
    const platform::Registration nobody;
    if (client.QueryUpdates(nobody, "V2.0", count, date) == service::Result::kOk) Require(count >= -1);
    std::int32_t stored = -1, accepted = -1;
    client.LogOn(nobody, "2.0");  // its handles stay open, whatever it said
    const char* twoLines = "VyoSync Updates\nA;1;1;x;0;0;0\nA;2;2;x;0;0;0\n";
    if (client.UploadChanges(twoLines, stored, accepted) == service::Result::kOk) {
        Require(stored >= 0 && stored <= 2 && accepted >= 0 && accepted <= 2);
    }
    client.CloseHandles();

    Require(client.FetchInformation("1033") == service::Result::kOk);
    const long long infoSize = folder.SizeOf(platform::pcfile::kInfoCache);
    if (infoSize > 0) {
        Require(infoSize % static_cast<long long>(sizeof(service::InfoRecord)) == 0);
        const std::string bytes = testsupport::ReadWholeFile(folder.Path(platform::pcfile::kInfoCache));
        for (std::size_t at = 0; at < bytes.size(); at += sizeof(service::InfoRecord)) {
            service::InfoRecord record{};
            std::memcpy(&record, bytes.data() + at, sizeof record);
            Require(std::memchr(record.text, '\0', sizeof record.text) != nullptr);
        }
    }
    return 0;
}
