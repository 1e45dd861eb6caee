#pragma once
#include <string>


namespace engine {
class Session;
}

namespace ui {

// The desktop tool from its start to its end, on the session's working folder: one running copy per working folder (a second
// copy brings the running one's window to the front and ends with 0), the first-run settings, the language, the
// service's address, alerts, information messages and version check, the device profile, and
// the main window. Answers the process's exit code: 0 whenever the tool ended as the user
// chose (also after an update offer or a cancelled first run), 1 when it could not run.
int RunApplication(engine::Session& session);

// True for an address the tool may hand to the browser: http:// or https:// with a host.
bool IsWebAddress(const std::string& address);

}  // namespace ui
