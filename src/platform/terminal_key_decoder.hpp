#pragma once
// Turns the bytes a terminal sends for key presses into key events: plain
// bytes, control bytes, escape sequences of the cursor block and the
// function keys (with the modifiers the terminal reports), Alt as a
// leading ESC, and UTF-8 text as code page 437 characters.
//
// Pure: the terminal backend feeds what it reads and, when no byte has
// followed for a short while, tells the decoder that the pause ended the
// input, which is how a lone ESC is told from the start of a sequence.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/keys.hpp"

namespace cncsend {

// For a terminal that is not UTF-8: entry i is the code page 437 byte that
// the terminal's byte 0x80 + i stands for, 0 for none (the byte is dropped).
using TypedUpperBytes = std::array<unsigned char, 128>;

struct TerminalKeyDecoder {
    unsigned char pending[32];  // an escape sequence not yet complete
    std::size_t pending_count;
    char32_t code_point;    // a UTF-8 character not yet complete
    int utf8_missing;       // continuation bytes still expected
    bool utf8;              // the terminal speaks UTF-8
    TypedUpperBytes upper;  // else its bytes from 0x80 up
};

// Milliseconds of silence after which a pending ESC stands for itself.
constexpr std::uint32_t kEscapeTimeoutMs = 50;

// Without a table, the bytes of a terminal that is not UTF-8 are taken as
// code page 437.
TerminalKeyDecoder make_terminal_key_decoder(bool utf8, const TypedUpperBytes* upper = nullptr);

// Appends one key-down event per complete key to out.
void decode_terminal_bytes(TerminalKeyDecoder& decoder, const unsigned char* bytes,
                           std::size_t count, std::vector<KeyEvent>& out);

// The input paused: a pending ESC becomes the escape key, ESC [ and ESC O
// become Alt+[ and Alt+O, and any other unfinished sequence is dropped.
void flush_terminal_decoder(TerminalKeyDecoder& decoder, std::vector<KeyEvent>& out);

// True while bytes wait for the rest of their key.
bool terminal_decoder_pending(const TerminalKeyDecoder& decoder);

}  // namespace cncsend
