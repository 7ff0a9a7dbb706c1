#include "platform/posix/terminal_charset.hpp"

#include <iconv.h>

#include <algorithm>

namespace cncsend {

namespace {

// C0 and C1 controls, also inside a multi-byte character: a charset that
// needs shift sequences is not worth a terminal that misreads them.
bool is_control(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F || (byte >= 0x80 && byte <= 0x9F);
}

// One byte of code page 437 in the target charset; "?" when it has none.
std::string converted(iconv_t to_terminal, unsigned char byte) {
    char in[1] = {static_cast<char>(byte)};
    char out[16];
    char* in_at = in;
    char* out_at = out;
    std::size_t in_left = sizeof in, out_left = sizeof out;
    iconv(to_terminal, nullptr, nullptr, nullptr, nullptr);
    if (iconv(to_terminal, &in_at, &in_left, &out_at, &out_left) == static_cast<std::size_t>(-1))
        return "?";
    // A stateful charset ends in its initial shift state.
    if (iconv(to_terminal, nullptr, nullptr, &out_at, &out_left) == static_cast<std::size_t>(-1))
        return "?";
    std::string glyph(out, static_cast<std::size_t>(out_at - out));
    if (glyph.empty() || std::any_of(glyph.begin(), glyph.end(), is_control)) return "?";
    return glyph;
}

}  // namespace

TerminalGlyphs terminal_glyphs(const char* codeset) {
    TerminalGlyphs glyphs;
    // Control bytes would steer the terminal instead of showing a glyph.
    for (int byte = 0; byte < 0x100; ++byte) {
        const bool plain = byte >= 0x20 && byte < 0x7F;
        glyphs[byte] = std::string(1, byte == 0 ? ' ' : plain ? static_cast<char>(byte) : '?');
    }

    const iconv_t to_terminal =
        codeset != nullptr ? iconv_open(codeset, "CP437") : reinterpret_cast<iconv_t>(-1);
    if (to_terminal == reinterpret_cast<iconv_t>(-1)) return glyphs;
    for (int byte = 0x80; byte < 0x100; ++byte)
        glyphs[byte] = converted(to_terminal, static_cast<unsigned char>(byte));
    iconv_close(to_terminal);
    return glyphs;
}

TypedUpperBytes terminal_typed_bytes(const char* codeset) {
    TypedUpperBytes typed{};
    const TerminalGlyphs glyphs = terminal_glyphs(codeset);
    for (int byte = 0x80; byte < 0x100; ++byte) {
        const std::string& glyph = glyphs[byte];
        const auto sent = static_cast<unsigned char>(glyph[0]);
        // A character of several bytes, or plain ASCII standing in, is no
        // byte that a key of this terminal sends for it.
        if (glyph.size() != 1 || sent < 0x80) continue;
        if (typed[sent - 0x80] == 0) typed[sent - 0x80] = static_cast<unsigned char>(byte);
    }
    return typed;
}

}  // namespace cncsend
