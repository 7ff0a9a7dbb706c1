#include "platform/posix/end_signals.hpp"

#include <cerrno>

namespace cncsend {

namespace {

constexpr int kSignalCount = sizeof kEndSignals / sizeof kEndSignals[0];
constexpr int kMaxActions = 4;

EndSignalAction actions[kMaxActions];
volatile std::sig_atomic_t action_count = 0;
struct sigaction previous_actions[kSignalCount];
bool installed = false;

bool ignored(const struct sigaction& action) {
    return !(action.sa_flags & SA_SIGINFO) && action.sa_handler == SIG_IGN;
}

void on_end_signal(int signal_number) {
    const int saved_errno = errno;
    for (int i = action_count - 1; i >= 0; --i) actions[i](signal_number);
    for (int i = 0; i < kSignalCount; ++i) {
        if (kEndSignals[i] != signal_number) continue;
        const struct sigaction& previous = previous_actions[i];
        if (!(previous.sa_flags & SA_SIGINFO) && previous.sa_handler != SIG_DFL &&
            previous.sa_handler != SIG_IGN) {
            previous.sa_handler(signal_number);
        } else {
            // The signal is blocked in here: the default action ends the
            // process as soon as the handler returns.
            sigaction(signal_number, &previous, nullptr);
            raise(signal_number);
        }
    }
    errno = saved_errno;
}

void install() {
    for (int i = 0; i < kSignalCount; ++i) {
        sigaction(kEndSignals[i], nullptr, &previous_actions[i]);
        if (ignored(previous_actions[i])) continue;
        struct sigaction action {};
        action.sa_handler = on_end_signal;
        sigemptyset(&action.sa_mask);
        for (int blocked : kEndSignals) sigaddset(&action.sa_mask, blocked);
        sigaction(kEndSignals[i], &action, nullptr);
    }
}

}  // namespace

void add_end_signal_action(EndSignalAction action) {
    if (action_count >= kMaxActions) return;
    actions[action_count] = action;
    action_count = action_count + 1;
    if (!installed) {
        installed = true;
        install();
    }
}

}  // namespace cncsend
