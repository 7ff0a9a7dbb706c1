#pragma once
// The exchange with the controller: one command line out, one byte back,
// "0" for accepted.

#include <string>

namespace cncsend {

// Sends the command and its newline, waits for the one-byte reply and, for
// anything but "0", shows it and waits for Enter.
void send_command(const std::string& command, int channel);

// Blocks until a reply byte waits on the channel, using no processor time
// while the controller takes its time. With escape_ends set the keyboard is
// watched too and Escape ends the program (exit code 0); other keys are
// dropped. False when the line to the controller is lost.
[[nodiscard]] bool await_reply(int channel, bool escape_ends);

// The one reply byte (empty when none could be read).
std::string read_reply(int channel);

}  // namespace cncsend
