#pragma once

// Ctrl-C (SIGINT) and SIGTERM during long work: the first says on standard error that the work
// stops at its next safe point and is remembered for the work to ask; a second one gets the
// signal's default action (the process ends at once), since the handler is used only once.
namespace zsync {

inline constexpr int kExitInterrupted = 130;

void StopAtSafePointOnInterrupt();
bool Interrupted();

}  // namespace zsync
