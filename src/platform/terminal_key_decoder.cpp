#include "platform/terminal_key_decoder.hpp"

#include "platform/code_page_437.hpp"

namespace cncsend {

namespace {

constexpr unsigned char kEsc = 0x1B;

// Virtual keys of the keys that only escape sequences report.
enum : std::uint16_t {
    VkTab = 0x09,
    VkReturn = 0x0D,
    VkPageUp = 0x21,
    VkPageDown = 0x22,
    VkEnd = 0x23,
    VkHome = 0x24,
    VkLeft = 0x25,
    VkUp = 0x26,
    VkRight = 0x27,
    VkDown = 0x28,
    VkInsert = 0x2D,
    VkDelete = 0x2E,
    VkF1 = 0x70,
};

KeyEvent key_down(std::uint16_t virtual_key, unsigned char character, std::uint32_t state) {
    KeyEvent event{};
    event.key_down = true;
    event.repeat_count = 1;
    event.virtual_key = virtual_key;
    event.scan_code = static_cast<std::uint16_t>(us_layout_map_virtual_key(virtual_key, 0));
    event.character = character;
    event.control_state = state;
    return event;
}

// A byte as typed on the keyboard; DEL is what most terminals send for
// the Backspace key.
KeyEvent byte_event(unsigned char byte, std::uint32_t extra_state) {
    if (byte == 0x7F || byte == 0x08) return key_down(0x08, 8, extra_state);
    const std::int16_t typed = us_layout_scan_character(byte);
    if (typed < 0) {
        KeyEvent event = key_down(0, byte, extra_state);
        event.scan_code = 0;
        return event;
    }
    std::uint32_t state = extra_state;
    if (typed & 0x100) state |= ShiftPressed;
    if (typed & 0x200) state |= LeftCtrlPressed;
    if (typed & 0x400) state |= LeftAltPressed;
    return key_down(static_cast<std::uint16_t>(typed & 0xFF), byte, state);
}

// xterm's modifier parameter: 1 + (1 Shift, 2 Alt, 4 Ctrl, 8 Meta).
std::uint32_t modifier_state(int parameter) {
    if (parameter < 2) return 0;
    const int bits = parameter - 1;
    std::uint32_t state = 0;
    if (bits & 1) state |= ShiftPressed;
    if (bits & (2 | 8)) state |= LeftAltPressed;
    if (bits & 4) state |= LeftCtrlPressed;
    return state;
}

KeyEvent cursor_block_key(std::uint16_t virtual_key, int modifiers) {
    return key_down(virtual_key, 0, modifier_state(modifiers) | EnhancedKey);
}

KeyEvent function_key(int number, int modifiers) {
    return key_down(static_cast<std::uint16_t>(VkF1 + number - 1), 0, modifier_state(modifiers));
}

// Final letters shared by CSI and SS3 sequences; false for any other.
bool letter_key(unsigned char final_byte, int modifiers, std::vector<KeyEvent>& out) {
    switch (final_byte) {
        case 'A':
            out.push_back(cursor_block_key(VkUp, modifiers));
            return true;
        case 'B':
            out.push_back(cursor_block_key(VkDown, modifiers));
            return true;
        case 'C':
            out.push_back(cursor_block_key(VkRight, modifiers));
            return true;
        case 'D':
            out.push_back(cursor_block_key(VkLeft, modifiers));
            return true;
        case 'H':
            out.push_back(cursor_block_key(VkHome, modifiers));
            return true;
        case 'F':
            out.push_back(cursor_block_key(VkEnd, modifiers));
            return true;
        case 'P':
            out.push_back(function_key(1, modifiers));
            return true;
        case 'Q':
            out.push_back(function_key(2, modifiers));
            return true;
        case 'R':
            out.push_back(function_key(3, modifiers));
            return true;
        case 'S':
            out.push_back(function_key(4, modifiers));
            return true;
        default:
            return false;
    }
}

void tilde_key(int number, int modifiers, std::vector<KeyEvent>& out) {
    switch (number) {
        case 1:
        case 7:
            out.push_back(cursor_block_key(VkHome, modifiers));
            return;
        case 2:
            out.push_back(cursor_block_key(VkInsert, modifiers));
            return;
        case 3:
            out.push_back(cursor_block_key(VkDelete, modifiers));
            return;
        case 4:
        case 8:
            out.push_back(cursor_block_key(VkEnd, modifiers));
            return;
        case 5:
            out.push_back(cursor_block_key(VkPageUp, modifiers));
            return;
        case 6:
            out.push_back(cursor_block_key(VkPageDown, modifiers));
            return;
        default:
            break;
    }
    // 11-15 F1-F5, 17-21 F6-F10, 23-24 F11-F12: the gaps are historical.
    if (number >= 11 && number <= 15) out.push_back(function_key(number - 10, modifiers));
    if (number >= 17 && number <= 21) out.push_back(function_key(number - 11, modifiers));
    if (number >= 23 && number <= 24) out.push_back(function_key(number - 12, modifiers));
}

// ESC [ parameters final. Sequences that are no key (reports, private
// modes) are dropped.
void csi_key(const unsigned char* params, std::size_t length, unsigned char final_byte,
             std::vector<KeyEvent>& out) {
    if (length > 0 && params[0] >= '<' && params[0] <= '?') return;
    int numbers[2] = {0, 0};
    int count = 0;
    bool digits = false;
    for (std::size_t i = 0; i < length; ++i) {
        const unsigned char b = params[i];
        if (b >= '0' && b <= '9') {
            if (count < 2 && numbers[count] < 10000)
                numbers[count] = numbers[count] * 10 + (b - '0');
            digits = true;
        } else if (b == ';') {
            ++count;
            digits = false;
        } else {
            return;
        }
    }
    const int parameters = count + (digits || count > 0 ? 1 : 0);
    if (final_byte == '~') {
        tilde_key(numbers[0], parameters > 1 ? numbers[1] : 1, out);
        return;
    }
    if (final_byte == 'Z') {
        out.push_back(key_down(VkTab, 9, ShiftPressed));
        return;
    }
    // A modified F1-F4 is ESC [ 1 ; m P..S; with any other first number (or
    // m of 1) ESC [ ... R is a cursor position report, not a key.
    if (final_byte >= 'P' && final_byte <= 'S' && parameters > 0 &&
        (numbers[0] != 1 || parameters != 2 || numbers[1] < 2))
        return;
    letter_key(final_byte, parameters > 1 ? numbers[1] : 1, out);
}

void ss3_key(const unsigned char* params, std::size_t length, unsigned char final_byte,
             std::vector<KeyEvent>& out) {
    int modifiers = 1;
    if (length > 0) modifiers = params[length - 1] - '0';
    if (final_byte == 'M') {
        out.push_back(key_down(VkReturn, 13, modifier_state(modifiers) | EnhancedKey));
        return;
    }
    letter_key(final_byte, modifiers, out);
}

void feed_byte(TerminalKeyDecoder& d, unsigned char b, std::vector<KeyEvent>& out);

void start_utf8(TerminalKeyDecoder& d, unsigned char b) {
    if (b >= 0xC2 && b <= 0xDF) {
        d.code_point = b & 0x1F;
        d.utf8_missing = 1;
    } else if (b >= 0xE0 && b <= 0xEF) {
        d.code_point = b & 0x0F;
        d.utf8_missing = 2;
    } else if (b >= 0xF0 && b <= 0xF4) {
        d.code_point = b & 0x07;
        d.utf8_missing = 3;
    }
    // Any other byte cannot start a character and is dropped.
}

void finish_utf8(char32_t code_point, std::vector<KeyEvent>& out) {
    const int byte = unicode_to_cp437(code_point);
    // Overlong forms of ASCII and the glyphs of the control bytes would
    // otherwise arrive as control keys.
    if (code_point < 0x80 || byte < 0x20) return;
    KeyEvent event = key_down(0, static_cast<unsigned char>(byte), 0);
    event.scan_code = 0;
    out.push_back(event);
}

// The byte just added to the pending sequence decides what it is.
void advance_sequence(TerminalKeyDecoder& d, std::vector<KeyEvent>& out) {
    const unsigned char* p = d.pending;
    const std::size_t n = d.pending_count;
    if (n < 2) return;
    const unsigned char second = p[1];
    if (second == kEsc) {
        out.push_back(byte_event(kEsc, 0));
        d.pending_count = 1;
        return;
    }
    if (second != '[' && second != 'O') {
        d.pending_count = 0;
        if (second < 0x80) {
            out.push_back(byte_event(second, LeftAltPressed));
        } else {
            out.push_back(byte_event(kEsc, 0));
            feed_byte(d, second, out);
        }
        return;
    }
    if (n == 2) return;
    const unsigned char last = p[n - 1];
    if (second == '[' && p[2] == '[') {  // the Linux console's F1-F5
        if (n < 4) return;
        d.pending_count = 0;
        if (last >= 'A' && last <= 'E') out.push_back(function_key(last - 'A' + 1, 1));
        return;
    }
    const bool parameter =
        second == '[' ? (last >= 0x20 && last <= 0x3F) : (last >= '0' && last <= '9');
    if (parameter) {
        if (n == sizeof d.pending) d.pending_count = 0;  // far too long for a key
        return;
    }
    d.pending_count = 0;
    if (last < 0x40 || last > 0x7E) {
        // Not a sequence after all: the byte stands for itself.
        feed_byte(d, last, out);
        return;
    }
    if (second == '[')
        csi_key(p + 2, n - 3, last, out);
    else
        ss3_key(p + 2, n - 3, last, out);
}

void feed_byte(TerminalKeyDecoder& d, unsigned char b, std::vector<KeyEvent>& out) {
    if (d.pending_count > 0) {
        d.pending[d.pending_count++] = b;
        advance_sequence(d, out);
        return;
    }
    if (d.utf8_missing > 0) {
        if ((b & 0xC0) == 0x80) {
            d.code_point = (d.code_point << 6) | (b & 0x3F);
            if (--d.utf8_missing == 0) finish_utf8(d.code_point, out);
            return;
        }
        d.utf8_missing = 0;  // a broken character is dropped
    }
    if (b == kEsc) {
        d.pending[0] = b;
        d.pending_count = 1;
    } else if (b < 0x80) {
        out.push_back(byte_event(b, 0));
    } else if (!d.utf8) {
        if (d.upper[b - 0x80] != 0) out.push_back(byte_event(d.upper[b - 0x80], 0));
    } else {
        start_utf8(d, b);
    }
}

}  // namespace

TerminalKeyDecoder make_terminal_key_decoder(bool utf8, const TypedUpperBytes* upper) {
    TerminalKeyDecoder decoder{};
    decoder.utf8 = utf8;
    for (std::size_t i = 0; i < decoder.upper.size(); ++i)
        decoder.upper[i] = upper ? (*upper)[i] : static_cast<unsigned char>(0x80 + i);
    return decoder;
}

void decode_terminal_bytes(TerminalKeyDecoder& decoder, const unsigned char* bytes,
                           std::size_t count, std::vector<KeyEvent>& out) {
    for (std::size_t i = 0; i < count; ++i) feed_byte(decoder, bytes[i], out);
}

void flush_terminal_decoder(TerminalKeyDecoder& decoder, std::vector<KeyEvent>& out) {
    const std::size_t n = decoder.pending_count;
    decoder.pending_count = 0;
    if (n == 1) out.push_back(byte_event(kEsc, 0));
    if (n == 2) out.push_back(byte_event(decoder.pending[1], LeftAltPressed));
}

bool terminal_decoder_pending(const TerminalKeyDecoder& decoder) {
    return decoder.pending_count > 0;
}

}  // namespace cncsend
