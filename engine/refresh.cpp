#include "engine/refresh.h"

#include "engine/synchronisation.h"
#include "platform/string_table.h"
#include "service/service_client.h"

namespace engine {

namespace {
constexpr unsigned kFullSynchronisationText = 159;
constexpr unsigned kPcInfoText = 171;
}  // namespace

ServiceSummary QueryServiceSummary(CServiceClient& client, const platform::Registration& who,
                                   const platform::StringTable& texts) {
    ServiceSummary summary;
    std::int32_t changes = 0;
    std::string date;
    const service::Result result = client.QueryUpdates(who, "V2.0", changes, date);
    if (result != service::Result::kOk) {
        summary.pcText = ErrorTextForCode(static_cast<std::uint32_t>(service::Code(result)), texts);
        return summary;
    }
    summary.answered = true;
    if (changes == -1) {
        summary.fullRetrievalDue = true;
        summary.deviceText = texts.Text(kFullSynchronisationText);
        return summary;
    }
    std::uint32_t total = 0;
    std::uint32_t personal = 0;
    client.CountLocalCache(total, personal);
    summary.pcText = platform::FormatText(texts.Text(kPcInfoText), {date},
                                          {static_cast<long long>(total) - personal, personal, changes});
    return summary;
}

}  // namespace engine
