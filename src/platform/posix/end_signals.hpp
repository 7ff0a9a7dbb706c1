#pragma once
// Work that must be done however a signal ends the process (Ctrl+C,
// SIGTERM, a hang-up, SIGQUIT): above all, giving the terminal back as it
// was found. One handler serves every part of the program that needs such
// work, so no part has to know about the others.

#include <csignal>

namespace cncsend {

inline constexpr int kEndSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// Runs inside the signal handler: only async-signal-safe calls.
using EndSignalAction = void (*)(int signal_number);

// Adds an action; the last added runs first. After the actions the
// disposition the signal had before takes over (a handler the program was
// started with, or the default action, which ends the process). A signal
// the process was started ignoring stays ignored.
void add_end_signal_action(EndSignalAction action);

}  // namespace cncsend
