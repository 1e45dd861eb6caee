#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "service/camera_record.h"

// Reads the speed cameras of OpenStreetMap files (PBF ".osm.pbf", XML ".osm", ".osm.gz",
// ".osm.bz2"; the format is told by the name) into camera records, ready for a cache file.
//
// Which objects are cameras: every node tagged highway=speed_camera, and the "device" member
// nodes of every relation tagged type=enforcement (its "from" node when it has no device).
// A node counts once, however many files or relations name it. Relations need their member
// nodes' positions, so each file is read twice: its relations first, then only the nodes, and
// of those only the tagged cameras and the members named are kept. Memory grows with the
// number of cameras, never with the size of the extract.
//
// How a record is filled (camera_tags.h holds the rules for each tag):
//   position   the node's, in micro-degrees rounded to nearest;
//   direction  the node's "direction" tag, else its "camera:direction", else the relation's
//              (in the same order); -1 when none is there;
//   category   the relation's enforcement kind for a member node (osm::CameraKind), else
//              fixed speed;
//   name       the node's "name", else the relation's, cut to 51 bytes at a character
//              boundary; without either, a name from the kind and the speed;
//   extra      the speed in km/h of the node's "maxspeed", else the relation's; 0 when unknown;
//   identifier never positive (osm::RecordIdentifier); flag osm::kOsmFlag.
// The records come in ascending order of node id.
namespace osm {

struct ReadFailure {
    std::string file;   // the file that could not be read
    std::string cause;  // why: missing, not OpenStreetMap data, cut short, ...
};

struct ReadCounts {
    std::size_t cameraNodes = 0;      // nodes tagged highway=speed_camera
    std::size_t relations = 0;        // enforcement relations
    std::size_t relationCameras = 0;  // cameras that only a relation made
};

// The cameras of all the files together, or false with the first file that failed and why
// (cameras is then empty). Nothing is written anywhere.
bool ReadCameras(const std::vector<std::string>& files, std::vector<service::CameraRecord>& cameras,
                 ReadFailure& failure, ReadCounts* counts = nullptr);

}  // namespace osm
