#include "ui/busy.h"

#include <QCoreApplication>

namespace ui {
namespace {
int depth = 0;
}

BusyScope::BusyScope() { ++depth; }

BusyScope::~BusyScope() {
    if (depth == 1) QCoreApplication::processEvents();
    --depth;
}

bool IsBusy() { return depth > 0; }

}  // namespace ui
