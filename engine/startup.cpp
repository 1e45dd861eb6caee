#include "engine/startup.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>

#include "engine/text_ids.h"
#include "platform/fixed_text.h"
#include "platform/string_table.h"
#include "service/service_client.h"

namespace engine {

namespace {

constexpr std::size_t kAlertTextLimit = 1024;
// Far more alerts than a service has at one time; the rest wait for the next start.
constexpr int kMaxAlertsPerStart = 50;

void FetchInformationMessages(CServiceClient& client, const platform::StringTable& texts, const char* language,
                              IProgressSink& progress) {
    progress.Show();
    progress.SetTitle(texts.Text(text::kStartupTitle));
    progress.SetStep(texts.Text(text::kRetrievingInformation));
    progress.Repaint();
    // Every start fetches all current messages anew.
    client.folder().Delete(platform::pcfile::kInfoCache);
    client.FetchInformation(language);
    progress.Close();
}

StartupExchangesResult RunLimitedExchanges(CServiceClient& client, const platform::StringTable& texts,
                                           const char* language, std::int32_t lastAlertId, std::time_t now,
                                           IProgressSink& progress, IInformationSink& information) {
    StartupExchangesResult outcome;
    outcome.lastAlertId = lastAlertId;
    if (client.PingServer() != service::Result::kOk) {
        client.CloseHandles();
        information.ShowInformation(texts.Text(text::kAlertCaption), texts.Text(text::kOkButton),
                                    texts.Text(text::kConnectionProblem));
        return outcome;
    }
    outcome.serviceAnswered = true;

    std::string text;
    std::int32_t identifier = -1;
    while (outcome.alertsShown < kMaxAlertsPerStart &&
           client.FetchAlert(AlertRequestBody(outcome.lastAlertId, now, language).c_str(), text, kAlertTextLimit,
                             identifier) == service::Result::kOk &&
           identifier != -1 && identifier != outcome.lastAlertId) {
        // A service that answers with the alert just shown, or with a new one every time, would
        // otherwise be asked forever.
        // Stored first: an alert the user has seen must not come again, even if start-up stops here.
        platform::SaveAlertId(identifier);
        information.ShowInformation(texts.Text(text::kAlertCaption), texts.Text(text::kOkButton), text);
        outcome.lastAlertId = identifier;
        ++outcome.alertsShown;
    }
    client.CloseHandles();

    FetchInformationMessages(client, texts, language, progress);
    client.CloseHandles();

    std::string address;
    std::string message;
    if (client.CheckVersion(kToolVersion, address, message) == service::Result::kOk && !address.empty()) {
        information.ShowInformation(texts.Text(text::kUpdateCaption), texts.Text(text::kOkButton), message);
        outcome.updateAddress = address;
    }
    client.CloseHandles();
    return outcome;
}

}  // namespace

std::string ResolveServiceBaseUrl(CServiceClient& client, const platform::StoredSettings& stored) {
    if (!stored.keyExists) return kDefaultServiceBaseUrl;
    const char* folder = stored.url[0] != '\0' ? stored.url : kDefaultServerAddressFolder;
    std::string baseUrl;
    if (client.FetchServerUrl(folder, baseUrl) == service::Result::kOk && !baseUrl.empty()) return baseUrl;
    return kDefaultServiceBaseUrl;
}

bool IsDownloadAddress(std::string_view address) {
    const auto schemeIs = [&](std::string_view scheme) {
        if (address.size() <= scheme.size()) return false;
        for (std::size_t i = 0; i < scheme.size(); ++i) {
            if (std::tolower(static_cast<unsigned char>(address[i])) != scheme[i]) return false;
        }
        return true;
    };
    return (schemeIs("http://") || schemeIs("https://")) &&
           std::none_of(address.begin(), address.end(),
                        [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == '\x7f'; });
}

std::string AlertRequestBody(std::int32_t lastAlertId, std::time_t now, const char* language) {
    std::tm utc{};
    gmtime_r(&now, &utc);
    char body[96];
    std::snprintf(body, sizeof body, "%d;%4d%02d%02d;%.20s", lastAlertId, utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, language ? language : "");
    return body;
}

StartupExchangesResult RunStartupExchanges(CServiceClient& client, const platform::StringTable& texts,
                                           const char* language, std::int32_t lastAlertId, std::time_t now,
                                           IProgressSink& progress, IInformationSink& information,
                                           int timeLimitSeconds) {
    client.LimitRequestTime(std::chrono::seconds(timeLimitSeconds));
    StartupExchangesResult outcome =
        RunLimitedExchanges(client, texts, language, lastAlertId, now, progress, information);
    client.LimitRequestTime(std::chrono::milliseconds(0));
    return outcome;
}

}  // namespace engine
