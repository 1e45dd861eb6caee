#pragma once
#include <ctime>
#include <string>
#include <string_view>

#include "engine/user_feedback.h"
#include "platform/settings.h"
#include "platform/version.h"

class CServiceClient;
namespace platform {
class StringTable;
}

// The start-up exchanges with the service, shared by the window and the headless tool: where the
// service is, whether it answers, the alerts waiting for the user, the information messages and
// the version check. Everything the user must see goes through the sinks, each alert before the
// next request is sent. A failing request is nothing to report: it ends its step and start-up
// goes on.
namespace engine {

// Where the service is looked for when the settings name nothing better. The reference service
// runs on this machine; an installation points "Url" at the real one.
inline constexpr const char* kDefaultServiceBaseUrl = "http://127.0.0.1/";
inline constexpr const char* kDefaultServerAddressFolder = "http://127.0.0.1/POIDataBase/";
// The version text the version check sends.
inline constexpr const char* kToolVersion = platform::version::kCheck;
// The time the start-up exchanges may spend in requests together; a service that keeps a reply
// coming for longer ends them (what arrived by then is used as far as it is whole).
inline constexpr int kStartupTimeLimitSeconds = 120;

// The service base URL: the server-address file "vyosync.txt" of the "Url" folder (or of the
// default folder) when the settings key exists and the file names an "http:" address; otherwise
// the alternative address. Nothing is asked when the key does not exist (first run).
std::string ResolveServiceBaseUrl(CServiceClient& client, const platform::StoredSettings& stored);

// True for an address that may be printed or opened as the place to fetch a newer version:
// http or https, one word with no control characters. Anything else a service offers (a file:
// address, a script) is no place to download from.
bool IsDownloadAddress(std::string_view address);

// The body of an alert request: "<last alert id>;<yyyy><mm><dd>;<language>", the date in UTC.
std::string AlertRequestBody(std::int32_t lastAlertId, std::time_t now, const char* language);

struct StartupExchangesResult {
    bool serviceAnswered = false;
    int alertsShown = 0;
    std::int32_t lastAlertId = -1;
    // Not empty when a newer version is offered: its message has been shown, and the caller
    // opens this address in the browser and ends without the main window.
    std::string updateAddress;
};

// Runs the exchanges on a client whose base URL is set: the reachability test (on failure the
// connection-problem text, and nothing else is asked), the alerts loop (each alert's identifier
// stored as "AlertID" before it is shown), the information messages into a fresh ".\info.cache"
// under the progress window, and the version check. Their requests take timeLimitSeconds at
// most together; the time the user spends reading what is shown does not count.
StartupExchangesResult RunStartupExchanges(CServiceClient& client, const platform::StringTable& texts,
                                           const char* language, std::int32_t lastAlertId, std::time_t now,
                                           IProgressSink& progress, IInformationSink& information,
                                           int timeLimitSeconds = kStartupTimeLimitSeconds);

}  // namespace engine
