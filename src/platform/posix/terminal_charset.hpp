#pragma once
// The program's texts are code page 437; a terminal whose locale is not
// UTF-8 shows them in the locale's own 8-bit (or multi-byte) charset.

#include <array>
#include <string>

#include "platform/terminal_key_decoder.hpp"

namespace cncsend {

// What the terminal gets for each byte of code page 437: one character in
// the charset named by the codeset (as nl_langinfo(CODESET) gives it), '?'
// for what the charset lacks, ' ' for NUL and '?' for the other control
// bytes. No entry holds a byte from 0x80 to 0x9F: an 8-bit terminal takes
// those as C1 controls (0x84 moves the cursor down, 0x9B starts a sequence).
using TerminalGlyphs = std::array<std::string, 256>;
TerminalGlyphs terminal_glyphs(const char* codeset);

// The other way, for keys typed on such a terminal: entry i is the code
// page 437 byte of the charset's byte 0x80 + i, 0 where code page 437 has
// no such character.
TypedUpperBytes terminal_typed_bytes(const char* codeset);

}  // namespace cncsend
