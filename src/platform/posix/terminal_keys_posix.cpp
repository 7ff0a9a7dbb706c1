// Key events from a terminal: standard input in raw mode (no line
// buffering, no echo, signals still generated), its bytes decoded into key
// events. The terminal's settings are put back on every way out: normal
// end, the end signals, and while the program is suspended.

#include "platform/posix/terminal_keys_posix.hpp"

#include <langinfo.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "platform/keys.hpp"
#include "platform/posix/end_signals.hpp"
#include "platform/posix/screen_posix.hpp"
#include "platform/posix/terminal_charset.hpp"
#include "platform/terminal_key_decoder.hpp"

namespace cncsend {

namespace {

// Read by the signal handlers: set before any handler is installed.
termios saved_settings{};
bool output_is_terminal = false;
volatile sig_atomic_t raw_wanted = 0;  // the program runs with the terminal in raw mode
volatile sig_atomic_t raw_active = 0;  // raw settings are on the terminal now
std::atomic<NotificationHandler> notification_handler{nullptr};

struct Keyboard {
    bool probed;
    bool terminal;
    bool input_gone;  // the terminal hung up or ended
    TerminalKeyDecoder decoder;
    std::deque<KeyEvent> events;
    std::int64_t last_byte_ms;
    std::string typed_ahead;  // taken from the input by the cursor query
};

Keyboard keyboard{};

std::int64_t now_ms() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

// Everything below down to the handlers must stay async-signal-safe.
void show_cursor() {
    static const char kShow[] = "\x1b[?25h";
    if (output_is_terminal) {
        ssize_t ignored = write(STDOUT_FILENO, kShow, sizeof kShow - 1);
        (void)ignored;
    }
}

void put_back_settings() {
    if (!raw_active) return;
    tcsetattr(STDIN_FILENO, TCSANOW, &saved_settings);
    raw_active = 0;
}

void enter_raw_mode() {
    if (raw_active || !raw_wanted) return;
    // A background job that changed the settings would be stopped for it.
    if (tcgetpgrp(STDIN_FILENO) != getpgrp()) return;
    termios raw = saved_settings;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHONL | IEXTEN);
    raw.c_lflag |= ISIG;
    // Enter must arrive as 13 and Ctrl+J as 10; Ctrl+S and Ctrl+Q are keys.
    raw.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR | IXON | ISTRIP);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0) raw_active = 1;
}

void on_end_signal(int signal_number) {
    put_back_settings();
    show_cursor();
    // A hang-up is the terminal window being closed.
    if (signal_number == SIGHUP) {
        NotificationHandler handler = notification_handler.load();
        if (handler != nullptr) handler(CloseEvent);
    }
}

void install_suspend_handler();

void on_suspend(int) {
    const int saved_errno = errno;
    put_back_settings();
    show_cursor();
    struct sigaction stop {};
    stop.sa_handler = SIG_DFL;
    sigemptyset(&stop.sa_mask);
    sigaction(SIGTSTP, &stop, nullptr);
    sigset_t tstp;
    sigemptyset(&tstp);
    sigaddset(&tstp, SIGTSTP);
    sigprocmask(SIG_UNBLOCK, &tstp, nullptr);
    raise(SIGTSTP);  // stops here until continued
    install_suspend_handler();
    enter_raw_mode();
    errno = saved_errno;
}

void on_continue(int) {
    const int saved_errno = errno;
    forget_screen_contents();
    enter_raw_mode();
    errno = saved_errno;
}

// A signal the process was started ignoring stays ignored.
void install_handler(int signal_number, void (*handler)(int), int flags) {
    struct sigaction old {};
    sigaction(signal_number, nullptr, &old);
    if (!(old.sa_flags & SA_SIGINFO) && old.sa_handler == SIG_IGN) return;
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_flags = flags;
    sigemptyset(&action.sa_mask);
    for (int blocked : kEndSignals) sigaddset(&action.sa_mask, blocked);
    sigaction(signal_number, &action, nullptr);
}

void install_suspend_handler() {
    install_handler(SIGTSTP, on_suspend, SA_RESTART);
}

void restore_at_exit() {
    std::fflush(stdout);
    raw_wanted = 0;
    put_back_settings();
    show_cursor();
}

bool locale_is_utf8() {
    const char* codeset = nl_langinfo(CODESET);
    return codeset != nullptr && std::strcmp(codeset, "UTF-8") == 0;
}

bool probe() {
    if (keyboard.probed) return keyboard.terminal;
    keyboard.probed = true;
    if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &saved_settings) != 0) return false;
    output_is_terminal = isatty(STDOUT_FILENO);
    if (locale_is_utf8()) {
        keyboard.decoder = make_terminal_key_decoder(true);
    } else {
        const TypedUpperBytes typed = terminal_typed_bytes(nl_langinfo(CODESET));
        keyboard.decoder = make_terminal_key_decoder(false, &typed);
    }
    raw_wanted = 1;
    enter_raw_mode();
    if (!raw_active) {
        raw_wanted = 0;
        return false;
    }
    std::atexit(restore_at_exit);
    add_end_signal_action(on_end_signal);
    install_suspend_handler();
    install_handler(SIGCONT, on_continue, SA_RESTART);
    keyboard.terminal = true;
    return true;
}

void decode_bytes(const unsigned char* bytes, std::size_t count, std::vector<KeyEvent>& out) {
    decode_terminal_bytes(keyboard.decoder, bytes, count, out);
    keyboard.last_byte_ms = now_ms();
}

void decode_waiting_bytes() {
    std::vector<KeyEvent> decoded;
    if (!keyboard.typed_ahead.empty()) {
        decode_bytes(reinterpret_cast<const unsigned char*>(keyboard.typed_ahead.data()),
                     keyboard.typed_ahead.size(), decoded);
        keyboard.typed_ahead.clear();
    }
    while (!keyboard.input_gone) {
        pollfd input{STDIN_FILENO, POLLIN, 0};
        if (poll(&input, 1, 0) <= 0 || !(input.revents & POLLIN)) break;
        unsigned char bytes[256];
        const ssize_t n = read(STDIN_FILENO, bytes, sizeof bytes);
        if (n <= 0) {
            // Readable but nothing to read: the terminal is gone.
            if (n == 0 || errno != EINTR) keyboard.input_gone = true;
            break;
        }
        decode_bytes(bytes, static_cast<std::size_t>(n), decoded);
    }
    if (terminal_decoder_pending(keyboard.decoder) &&
        now_ms() - keyboard.last_byte_ms >= static_cast<std::int64_t>(kEscapeTimeoutMs))
        flush_terminal_decoder(keyboard.decoder, decoded);
    keyboard.events.insert(keyboard.events.end(), decoded.begin(), decoded.end());
}

int decision_due_ms() {
    if (!keyboard.terminal || !terminal_decoder_pending(keyboard.decoder)) return -1;
    const std::int64_t left =
        static_cast<std::int64_t>(kEscapeTimeoutMs) - (now_ms() - keyboard.last_byte_ms);
    return left > 0 ? static_cast<int>(left) : 0;
}

bool input_is_console() {
    return probe();
}

bool peek_event(InputEvent* event) {
    if (!probe()) return false;
    if (keyboard.events.empty()) decode_waiting_bytes();
    if (keyboard.events.empty()) return false;
    event->type = InputEventType::Key;
    event->key = keyboard.events.front();
    return true;
}

bool read_event(InputEvent* event) {
    if (!peek_event(event)) return false;
    keyboard.events.pop_front();
    return true;
}

bool set_notification_handler(NotificationHandler handler, bool add) {
    if (add) {
        notification_handler.store(handler);
    } else {
        NotificationHandler expected = handler;
        notification_handler.compare_exchange_strong(expected, nullptr);
    }
    return true;
}

void pause_ms(int milliseconds) {
    settle_screen_output();
    if (milliseconds > 0) poll(nullptr, 0, milliseconds);
}

void wait_for_input(std::uint32_t milliseconds) {
    int timeout = static_cast<int>(milliseconds > 60'000 ? 60'000 : milliseconds);
    if (!probe() || keyboard.input_gone) {
        pause_ms(timeout);
        return;
    }
    if (!keyboard.events.empty() || !keyboard.typed_ahead.empty()) return;
    const int due = decision_due_ms();
    if (due >= 0 && due < timeout) timeout = due;
    settle_screen_output();
    pollfd input{STDIN_FILENO, POLLIN, 0};
    const std::int64_t start = now_ms();
    if (poll(&input, 1, timeout) > 0 && (input.revents & (POLLHUP | POLLERR | POLLNVAL)) &&
        !(input.revents & POLLIN)) {
        // A hung-up terminal is always "ready": sleep out the wait instead.
        keyboard.input_gone = true;
        pause_ms(timeout - static_cast<int>(now_ms() - start));
    }
}

const KeyEventOps terminal_ops = {
    input_is_console,
    peek_event,
    read_event,
    set_notification_handler,
    wait_for_input,
    decision_due_ms,
    us_layout_map_virtual_key,
    us_layout_scan_character,
};

}  // namespace

void keep_typed_ahead(const char* bytes, std::size_t count) {
    keyboard.typed_ahead.append(bytes, count);
}

bool typed_ahead_waiting() {
    return !keyboard.typed_ahead.empty();
}

bool terminal_input_gone() {
    return keyboard.input_gone;
}

const KeyEventOps& native_key_event_ops() {
    return terminal_ops;
}

}  // namespace cncsend
