#pragma once
#include <string>

#include "platform/pc_files.h"

namespace ui {

// The desktop tool from its start to its end: one running copy per working folder (a second
// copy ends at once, shows nothing and answers 0), the first-run settings, the language, the
// service's address, alerts, information messages and version check, the device profile, and
// the main window. Answers the process's exit code: 0 whenever the tool ended as the user
// chose (also after an update offer or a cancelled first run), 1 when it could not run.
int RunApplication(const platform::WorkFolder& folder);

// True for an address the tool may hand to the browser: http:// or https:// with a host.
bool IsWebAddress(const std::string& address);

}  // namespace ui
