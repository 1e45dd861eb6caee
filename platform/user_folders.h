#pragma once
#include <string>

namespace platform {

// Where a user's files live when nothing names them. These never fall back to the current
// folder: with no way to tell, the caller gets the reason and writes nothing.

// The working folder of the PC files: $ZARNIK_HOME, else $XDG_DATA_HOME/zarnik, else
// $HOME/.local/share/zarnik. An XDG_DATA_HOME that is not an absolute path is ignored, as the
// XDG base-directory rules say. False, with the reason for the user, when none of these is
// set. The folder is only named here, not created.
bool DefaultWorkFolderPath(std::string& path, std::string& error);
// The same folder, created with its parents when missing. False, with the reason for the user,
// when it has no place, cannot be made, or is something other than a folder.
bool CreateDefaultWorkFolder(std::string& path, std::string& error);

// Empty when the settings store has a place ($ZARNIK_SETTINGS, $XDG_CONFIG_HOME or $HOME);
// otherwise the reason it has none.
std::string SettingsStoreLocationProblem();

}  // namespace platform
