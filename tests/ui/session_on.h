#pragma once
// The window's tests hold the engine session the window does, on a working folder of their own.
#include <cstdlib>
#include <memory>
#include <string>

#include "engine/session.h"

namespace uitest {

inline std::unique_ptr<engine::Session> SessionOn(const std::string& folder) {
    setenv("ZARNIK_HOME", folder.c_str(), 1);
    auto session = std::make_unique<engine::Session>();
    if (!session->OpenWorkingFolder(engine::Session::FolderUse::kCreate).ok()) std::abort();
    return session;
}

}  // namespace uitest
