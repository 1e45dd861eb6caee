#pragma once
#include <string>

#include "engine/app_config.h"
#include "platform/pc_files.h"
#include "platform/string_table.h"

namespace zsync {

// The working folder of the PC files ($ZARNIK_HOME, else ~/.local/share/zarnik), created when
// missing; false with a message when that is impossible.
bool OpenWorkingFolder(platform::WorkFolder& folder, std::string& error);

// The settings as start-up makes them: the record from the settings store, the language's
// texts, and the service base URL found through the server-address file of the "Url" folder
// (else the alternative address).
bool LoadStartupSettings(const platform::WorkFolder& folder, AppConfig& config, platform::StringTable& texts,
                         bool resolveServiceAddress);

}  // namespace zsync
