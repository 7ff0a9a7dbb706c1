#pragma once
// Typed answers: a prompt, a small line editor, and the console channel's
// read operation.

#include <cstdint>
#include <string>

namespace cncsend {

// How often a wait for a key looks again.
constexpr std::uint32_t kKeyCheckMs = 25;

// Shows the prompt (and "? " when question is not 0), lets the operator
// type one line and makes it the source of the next fields; newline not 0
// ends the line on the screen. With standard input not a keyboard nothing
// is shown and the fields come from standard input.
void prompt_input(const std::string& prompt, std::int32_t question, std::int32_t newline);

// The line typed at the cursor, finished by Enter or Ctrl+Enter.
// soft_cursor not 0 draws the byte 255 as the cursor instead of showing the
// console's own.
std::string read_console_line(std::int32_t soft_cursor);

// Moves the cursor by distance characters along the screen lines; moving
// onto the cell after the screen's last one scrolls the screen by a line.
void advance_cursor(std::int32_t column, std::int32_t row, std::int64_t distance);

// Installs the console channel's read operation, once: keys, or the
// standard input stream when standard input is not a keyboard.
void install_console_read();

// Blocks until a key waits, without spinning.
void wait_for_key();

}  // namespace cncsend
