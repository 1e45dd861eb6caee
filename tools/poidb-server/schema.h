#pragma once
#include <string>

#include "tools/poidb-server/sqlite_db.h"

namespace poidb {

// Opens the database file, creating it and its tables when asked; an existing file keeps its
// data. False with a message when the file cannot be opened or is not ours.
bool OpenStore(Database& db, const std::string& path, bool create, std::string& error);

// Every write to an official camera counts once in list_state.official_version, through
// triggers that cost each such write a few microseconds. A bulk load inside a write
// transaction suspends them, and resuming counts the whole load as one write.
bool SuspendOfficialCount(Database& db);
bool ResumeOfficialCount(Database& db);

}  // namespace poidb
