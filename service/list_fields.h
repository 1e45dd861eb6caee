#pragma once
#include <cstdint>

#include "service/change_merge.h"
#include "service/camera_record.h"
#include "service/field_reader.h"

namespace service {

// Fields of the camera lists and the change download are at most 255 characters.
using ListFieldReader = FieldReader<256>;

enum class ListKind : int { kMutation, kOfficialOrPersonal, kChange };

// Builds camera records field by field: 8 fields a list record, 9 a change record.
class CameraRecordBuilder {
public:
    explicit CameraRecordBuilder(ListKind kind) : kind_(kind) {}

    // Takes the next field; true when it completed a record, which is then in record().
    bool Take(const char* text);
    const CameraRecord& record() const { return record_; }
    DownloadAction action() const { return action_; }
    // True right after the action field of a change record was taken.
    bool action_just_read() const { return kind_ == ListKind::kChange && index_ == 8; }

private:
    ListKind kind_;
    int index_ = 0;
    CameraRecord record_{};
    DownloadAction action_ = DownloadAction::kUnknown;
};

}  // namespace service
