#pragma once
#include <string>

#include "tools/poidb-server/sqlite_db.h"

namespace poidb {

// Opens the database file, creating it and its tables when asked; an existing file keeps its
// data. False with a message when the file cannot be opened or is not ours.
bool OpenStore(Database& db, const std::string& path, bool create, std::string& error);

}  // namespace poidb
