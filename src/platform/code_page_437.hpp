#pragma once
// Code page 437, the OEM code page of the program's texts, and Unicode.

namespace cncsend {

// The glyph of a code page 437 byte (0x01-0x1F and 0x7F as their graphic glyphs, 0x00 as a blank).
char32_t cp437_to_unicode(unsigned char byte);
// The code page 437 byte for a Unicode code point, or -1 when the code page has none.
int unicode_to_cp437(char32_t code_point);

}  // namespace cncsend
