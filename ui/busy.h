#pragma once

namespace ui {

// Long work runs on the window's thread and only lets the screen repaint; clicks the user makes
// meanwhile wait in the queue. While a BusyScope lives, the window's click handlers and its close
// do nothing; when it ends it lets those waiting clicks through first, still as no-ops, so that a
// second click on Refresh never starts a second refresh afterwards.
class BusyScope {
public:
    BusyScope();
    ~BusyScope();
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;
};

bool IsBusy();

}  // namespace ui
