#pragma once
#include <string>

#include "engine/app_config.h"
#include "platform/folder_lock.h"
#include "platform/pc_files.h"
#include "platform/string_table.h"

namespace zsync {

// The working folder of the PC files ($ZARNIK_HOME, else $XDG_DATA_HOME/zarnik, else
// ~/.local/share/zarnik), created when missing; false with a message when that is impossible
// (no HOME either, or a folder that cannot be made).
bool OpenWorkingFolder(platform::WorkFolder& folder, std::string& error);

// The same folder named without creating it, for commands that only read from it.
bool NameWorkingFolder(platform::WorkFolder& folder, std::string& error);

// What every command that talks to the service does first: the working folder and its lock, a
// settings store that can be used, the settings, the language's texts and the service address
// (found through the server-address file of the "Url" folder, else the alternative address).
// False with the message for the user. Otherwise notice is empty, or says why the "Url" folder
// was not used (its host unknown, its server refusing): the user would not see it else, since
// the alternative address is asked instead.
bool OpenForService(platform::WorkFolder& folder, platform::FolderLock& lock, AppConfig& config,
                    platform::StringTable& texts, std::string& error, std::string& notice);

// The settings as start-up makes them: the record from the settings store, the language's
// texts, and (when asked) the service base URL; notice as above.
bool LoadStartupSettings(const platform::WorkFolder& folder, AppConfig& config, platform::StringTable& texts,
                         bool resolveServiceAddress, std::string* notice = nullptr);

}  // namespace zsync
