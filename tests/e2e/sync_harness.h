#pragma once
// What the end-to-end tests share: a working folder, the English texts, a recording progress
// sink, and personal-updates records as the navigation software writes them.
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/change_record.h"
#include "engine/synchronisation.h"
#include "platform/string_table.h"
#include "service/cache_file.h"
#include "service/camera_file/writer.h"
#include "service/service_client.h"
#include "temp_dir.h"
#include "who.h"

namespace e2e {

class RecordingProgress : public engine::IProgressSink {
public:
    void Show() override { shown = true; }
    void SetTitle(const std::string& text) override { title = text; }
    void SetStep(const std::string& text) override { steps.push_back(text); }
    void Repaint() override { ++repaints; }
    void Close() override { closed = true; }

    bool shown = false;
    bool closed = false;
    int repaints = 0;
    std::string title;
    std::vector<std::string> steps;
};

inline platform::StringTable EnglishTexts() {
    platform::StringTable texts;
    const char* src = std::getenv("ZARNIK_SOURCE_DIR");
    texts.Load(std::string(src ? src : ".") + "/resources/lang", "1033");
    return texts;
}

inline engine::ChangeRecord Report(std::int32_t action, std::int32_t lat, std::int32_t lon, std::int32_t category = 3,
                           std::int32_t direction = 90) {
    engine::ChangeRecord r{};
    r.action = action;
    r.latitude = lat;
    r.longitude = lon;
    r.category = category;
    r.direction = direction;
    r.extra = 50;
    return r;
}

inline void WriteUpdates(const std::vector<engine::ChangeRecord>& records, const std::string& extra = "") {
    std::string bytes(reinterpret_cast<const char*>(records.data()), records.size() * sizeof(engine::ChangeRecord));
    testsupport::WriteWholeFile("poiupdates.upd", bytes + extra);
}

inline std::vector<service::CameraRecord> LocalCache() {
    std::vector<service::CameraRecord> records;
    service::ReadCacheFile("local.cache", records);
    return records;
}

// Runs one synchronisation in the working folder against the service at baseUrl.
struct SyncRun {
    std::uint32_t code = 0;
    engine::SyncCounts counts;
    RecordingProgress progress;

    SyncRun(const std::string& folder, const std::string& baseUrl, const std::string& registrar,
            const std::string& serial, const std::string& email, const engine::SyncOptions& options = {}) {
        const platform::StringTable texts = EnglishTexts();
        CServiceClient client{platform::WorkFolder(folder)};
        client.SetBaseUrl(baseUrl.c_str());
        code = engine::RunSynchronisation(client, progress, texts,
                                          testsupport::Who(registrar.c_str(), serial.c_str(), email.c_str()), "2.0",
                                          counts, options);
    }
};

}  // namespace e2e
