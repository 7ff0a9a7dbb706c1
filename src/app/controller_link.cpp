#include "app/controller_link.hpp"

#include "app/operator_messages.hpp"
#include "app/run_record.hpp"
#include "app/startup.hpp"
#include "channels/field_reader.hpp"
#include "channels/read_channel.hpp"
#include "console/keyboard.hpp"
#include "console/line_input.hpp"
#include "console/print.hpp"
#include "platform/comm.hpp"
#include "platform/keys.hpp"
#include "serial/serial_port.hpp"

namespace cncsend {

namespace {

constexpr char kEscape = 27;
// A lone Escape is told from the start of a key sequence by a short pause,
// so input that gave no key yet may give one a little later: look again
// this often, this many times, before waiting for the line alone.
constexpr int kKeyPendingMs = 20;
constexpr int kKeyPendingLooks = 10;

}  // namespace

void await_reply(int channel, bool escape_ends, const std::string& what) {
    // Standard input that is no keyboard (a file, /dev/null) gives no keys,
    // and a file at its end would always look ready: do not watch it.
    const bool watch_keys = escape_ends && key_event_ops().input_is_console();
    int looks_left = 0;
    for (;;) {
        if (channel_position(channel) > 0) return;
        if (escape_ends) {
            const std::string key = poll_key();
            if (key.size() == 1 && key[0] == kEscape) {
                record_end_escape();
                end_program(0);
            }
            if (!key.empty()) continue;  // other keys are dropped; take them all
        }
        const int ready =
            serial_wait_ready(channel, watch_keys, looks_left > 0 ? kKeyPendingMs : -1);
        if (ready & WaitConsoleInput)
            looks_left = kKeyPendingLooks;
        else if (looks_left > 0)
            --looks_left;
        if (ready & (WaitByteReady | WaitConsoleInput | WaitTimedOut)) continue;
        if (ready & WaitLineLost) fail_connection_lost(what);
    }
}

std::string read_reply(int channel) {
    const std::string reply = read_bytes(1, channel);
    record_reply(reply);
    return reply;
}

void send_command(const std::string& command, int channel) {
    print_text(channel, command, kPrintNewline);
    record_send(0, command);
    await_reply(channel, false, "Befehl \"" + command + "\"");
    const std::string reply = read_reply(channel);
    if (reply == "0") return;
    print_text(0, "Fehler ", 0);
    print_text(0, reply, kPrintNewline);
    prompt_input("", -1, -1);
    std::string ignored;
    read_string_field(ignored);
    record_pause_end();
}

}  // namespace cncsend
