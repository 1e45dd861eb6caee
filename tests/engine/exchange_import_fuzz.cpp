// Any bytes as a reports file: the import either appends whole "add" records after the records
// already there, or leaves the personal-updates file byte for byte as it was. Built once for
// every format, the content sniffed, and once for each reader with ZARNIK_FUZZ_PREFIX put
// before the input so that every input reaches that reader.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/camera_exchange.h"
#include "engine/change_record.h"
#include "device_reports.h"
#include "temp_dir.h"

#ifndef ZARNIK_FUZZ_PREFIX
#define ZARNIK_FUZZ_PREFIX ""
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const testsupport::TempDir folder;
    const std::string reports = folder.file("reports");
    const std::string updates = folder.file("poiupdates.upd");
    testsupport::WriteWholeFile(reports, ZARNIK_FUZZ_PREFIX + std::string(reinterpret_cast<const char*>(data), size));
    const std::string before = testsupport::DeviceReports(7).substr(0, 80);  // as the navigation software writes
    testsupport::WriteWholeFile(updates, before);

    engine::ImportSummary summary;
    const engine::ImportResult result = engine::ImportReports(reports, updates, summary);
    const std::string after = testsupport::ReadWholeFile(updates);
    if (result != engine::ImportResult::kAppended) {
        if (after != before) std::abort();  // a refused file must change nothing
        return 0;
    }
    if (after.size() != before.size() + summary.appended * sizeof(engine::ChangeRecord) || after.compare(0, 80, before) != 0)
        std::abort();
    const auto records = engine::ParseChangeRecords(after.data() + 80, after.size() - 80);
    for (const engine::ChangeRecord& r : records) {
        if (r.action != engine::ChangeAction::kAdd) std::abort();
    }
    return 0;
}
