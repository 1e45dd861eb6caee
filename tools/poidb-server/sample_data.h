#pragma once
#include <cstdint>
#include <string>

#include "tools/poidb-server/sqlite_db.h"

namespace poidb {

struct SampleOptions {
    std::int64_t cameras = 1000;
    std::int64_t mutations = 0;
    std::int64_t personal = 0;  // personal cameras of each sample user
    std::int64_t users = 1;
    std::uint64_t seed = 1;
};

// Fills an empty database with a deterministic camera set: the same options give the same
// rows on every machine. Cameras cluster around European cities; categories lie on both sides
// of 27515; directions include -1, -2 and 361..720; some names need cutting to 51 bytes.
// Sample users are "Sample User K" / "SAMPLE-000K" / "userK@example.org". The data is the
// starting state, so it is not in the change log: every user begins with a full retrieval.
bool GenerateSample(Database& db, const SampleOptions& options, std::string& error);

}  // namespace poidb
