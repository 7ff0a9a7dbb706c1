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
#include "serial/serial_port.hpp"

namespace cncsend {

namespace {

constexpr char kEscape = 27;

// Takes every key the keyboard holds: Escape ends the program at once,
// anything else is dropped.
void take_keys() {
    for (std::string key = poll_key(); !key.empty(); key = poll_key())
        if (key.size() == 1 && key[0] == kEscape) {
            record_end_escape();
            end_program(0);
        }
}

}  // namespace

bool await_reply(int channel, bool escape_ends) {
    // Standard input that is no keyboard (a file, /dev/null) gives no keys,
    // and a file at its end would always look ready: do not watch it.
    const bool watch_keys = escape_ends && keyboard_present();
    // Keys pressed before this wait count at its start, unless the reply is
    // already there: then they wait for the next line.
    if (watch_keys && keys_held()) {
        if (serial_wait_ready(channel, false, 0) & WaitByteReady) return true;
        take_keys();
    }
    for (;;) {
        const int ready =
            serial_wait_ready(channel, watch_keys, watch_keys ? key_decision_due_ms() : -1);
        if (ready & WaitConsoleInput) take_keys();
        // A lone ESC may be the operator's stop or the start of a key: it is
        // decided before a reply lets the next line go out.
        if (watch_keys && key_decision_due_ms() >= 0) {
            wait_for_key_decision();
            take_keys();
            continue;
        }
        if (ready & WaitByteReady) return true;
        if (ready & WaitLineLost) return false;
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
    if (!await_reply(channel, false)) fail_connection_lost("Befehl \"" + command + "\"");
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
