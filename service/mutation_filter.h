#pragma once
#include <vector>

#include "platform/key_chain_index.h"
#include "service/camera_record.h"

namespace service {

// Applies the service's mutations of official cameras to the official list: the first mutation
// standing at a camera's position decides; flag 1 takes its direction and category, any other
// flag drops the camera. The same result as a front-to-back scan of the mutations for every
// camera, through a position index built once.
class MutationFilter {
public:
    explicit MutationFilter(const std::vector<CameraRecord>& mutations);
    // False when the camera was deleted; otherwise the record is adjusted in place.
    bool Apply(CameraRecord& official) const;

private:
    const std::vector<CameraRecord>& mutations_;
    platform::KeyChainIndex byPosition_;
};

}  // namespace service
