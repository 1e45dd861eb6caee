#include "service/list_fields.h"

#include <cstring>

#include "platform/fixed_text.h"

namespace service {

bool CameraRecordBuilder::Take(const char* text) {
    switch (index_) {
        case 0:
            record_ = CameraRecord{};
            record_.identifier = ReadNumber(text);
            break;
        case 1: record_.latitude = ReadNumber(text); break;
        case 2: record_.longitude = ReadNumber(text); break;
        case 3: platform::CopyToField(record_.name, text); break;
        case 4: record_.direction = ReadNumber(text); break;
        case 5: record_.category = ReadNumber(text); break;
        case 6: record_.extra = ReadNumber(text); break;
        case 7:
            if (kind_ == ListKind::kChange) {
                action_ = DownloadActionFromText(text);
            } else if (kind_ == ListKind::kMutation) {
                record_.flag = std::strcmp(text, "DT") == 0 ? 0 : 1;
            } else {
                record_.flag = ReadNumber(text);
            }
            break;
        default: record_.flag = ReadNumber(text); break;
    }
    ++index_;
    const int fields = kind_ == ListKind::kChange ? 9 : 8;
    if (index_ < fields) return false;
    index_ = 0;
    return true;
}

}  // namespace service
