#pragma once
// The OEM code page 437 of the program's texts, for the terminal backends
// that speak Unicode.

namespace cncsend {

char32_t cp437_to_unicode(unsigned char byte);
int unicode_to_cp437(char32_t code_point);  // -1 when none

}  // namespace cncsend
