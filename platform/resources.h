#pragma once
#include <string>

namespace platform {

// The folder of the installed data (language packs, help, devices.ini): $ZARNIK_RESOURCES when
// set, else "../share/zarnik" beside the running program.
std::string ResourceFolder();

}  // namespace platform
