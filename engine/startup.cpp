#include "engine/startup.h"

#include <cstdio>

#include "platform/fixed_text.h"
#include "platform/string_table.h"
#include "service/service_client.h"

namespace engine {

namespace {

constexpr unsigned kOkButtonText = 128;
constexpr unsigned kStartupTitleText = 158;
constexpr unsigned kUpdateCaptionText = 164;
constexpr unsigned kAlertCaptionText = 172;
constexpr unsigned kInformationStepText = 173;
constexpr unsigned kConnectionProblemText = 175;
constexpr std::size_t kAlertTextLimit = 1024;

void FetchInformationMessages(CServiceClient& client, const platform::StringTable& texts, const char* language,
                              IProgressSink& progress) {
    progress.Show();
    progress.SetTitle(texts.Text(kStartupTitleText));
    progress.SetStep(texts.Text(kInformationStepText));
    progress.Repaint();
    // Every start fetches all current messages anew.
    client.folder().Delete(platform::pcfile::kInfoCache);
    client.FetchInformation(language);
    progress.Close();
}

}  // namespace

std::string ResolveServiceBaseUrl(CServiceClient& client, const platform::StoredSettings& stored) {
    if (!stored.keyExists) return kAlternativeServiceBaseUrl;
    const char* folder = stored.url[0] != '\0' ? stored.url : kDefaultServerAddressFolder;
    std::string baseUrl;
    if (client.FetchServerUrl(folder, baseUrl) == service::Result::kOk && !baseUrl.empty()) return baseUrl;
    return kAlternativeServiceBaseUrl;
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
                                           IProgressSink& progress, IInformationSink& information) {
    StartupExchangesResult outcome;
    outcome.lastAlertId = lastAlertId;
    if (client.PingServer() != service::Result::kOk) {
        client.CloseHandles();
        information.ShowInformation(texts.Text(kAlertCaptionText), texts.Text(kOkButtonText),
                                    texts.Text(kConnectionProblemText));
        return outcome;
    }
    outcome.serviceAnswered = true;

    std::string text;
    std::int32_t identifier = -1;
    while (client.FetchAlert(AlertRequestBody(outcome.lastAlertId, now, language).c_str(), text, kAlertTextLimit,
                             identifier) == service::Result::kOk &&
           identifier != -1) {
        // Stored first: an alert the user has seen must not come again, even if start-up stops here.
        platform::SaveAlertId(identifier);
        information.ShowInformation(texts.Text(kAlertCaptionText), texts.Text(kOkButtonText), text);
        outcome.lastAlertId = identifier;
        ++outcome.alertsShown;
    }
    client.CloseHandles();

    FetchInformationMessages(client, texts, language, progress);
    client.CloseHandles();

    std::string address;
    std::string message;
    if (client.CheckVersion(kToolVersion, address, message) == service::Result::kOk && !address.empty()) {
        information.ShowInformation(texts.Text(kUpdateCaptionText), texts.Text(kOkButtonText), message);
        outcome.updateAddress = address;
    }
    client.CloseHandles();
    return outcome;
}

}  // namespace engine
