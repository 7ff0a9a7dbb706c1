#pragma once
// Where the field reader takes its bytes from: a channel, or a text with a
// read position (a line typed at the console).

#include <cstdint>
#include <string>

#include "channels/channel.hpp"

namespace cncsend {

struct InputSource {
    Channel* channel;  // when set and open, bytes come from here
    std::string text;  // otherwise from this text
    std::int32_t position;
};

// The process-wide source, created empty on first use.
InputSource& input_source();
// Drops it at shutdown; the next use creates it anew.
void release_input_source();

// Reads fields from the channel from now on. A number that is not an open
// channel gives 1 and leaves the source as it was.
int select_input_channel(int number);
// Reads fields from the text from now on (prompted input).
void select_input_text(const std::string& text);

constexpr int kEndOfInput = -1;

// The next byte of the source as 0..255, or kEndOfInput.
int next_input_byte();
// Gives the byte just read back to the source.
void give_back_input_byte(int byte);

}  // namespace cncsend
