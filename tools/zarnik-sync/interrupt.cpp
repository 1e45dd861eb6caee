#include "interrupt.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>

namespace zsync {

namespace {

std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

constexpr char kNotice[] = "\nzarnik-sync: interrupted; stopping at the next safe point (again to stop at once)\n";

void OnInterrupt(int /*signal*/) {
    interrupted.store(true);
    const ssize_t written = ::write(STDERR_FILENO, kNotice, sizeof kNotice - 1);
    (void)written;  // nothing to do about a closed standard error inside a handler
}

}  // namespace

void StopAtSafePointOnInterrupt() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    // Once only: a second signal ends the process. Calls under way go on, to the safe point.
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool Interrupted() { return interrupted.load(); }

}  // namespace zsync
