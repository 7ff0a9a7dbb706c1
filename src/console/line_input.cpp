#include "console/line_input.hpp"

#include <cstdio>
#include <cstring>
#include <new>

#include "channels/channel.hpp"
#include "channels/input_source.hpp"
#include "console/console_channel.hpp"
#include "console/console_screen.hpp"
#include "console/keyboard.hpp"
#include "console/print.hpp"
#include "platform/keys.hpp"

namespace cncsend {

namespace {

constexpr std::int32_t kEnter = 13;
constexpr std::int32_t kCtrlEnter = 10;
constexpr std::int32_t kBackspace = 8;
constexpr std::int32_t kTab = 9;
constexpr std::int32_t kEscape = 27;
constexpr std::int32_t kHome = extended_key(0x47);
constexpr std::int32_t kUp = extended_key(0x48);
constexpr std::int32_t kLeft = extended_key(0x4B);
constexpr std::int32_t kRight = extended_key(0x4D);
constexpr std::int32_t kEnd = extended_key(0x4F);
constexpr std::int32_t kDown = extended_key(0x50);
constexpr std::int32_t kDelete = extended_key(0x53);

constexpr unsigned char kSoftCursor = 255;

std::int64_t floor_div(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// Where a position ends up after distance characters on lines of width.
CursorPosition advanced(CursorPosition from, std::int64_t distance, std::int32_t width) {
    const std::int64_t q = from.column - 1 + distance;
    const std::int64_t rows = floor_div(q, width);
    return CursorPosition{static_cast<std::int32_t>(q - rows * width + 1),
                          static_cast<std::int32_t>(from.row + rows)};
}

struct LineEditor {
    std::string text;
    std::size_t p;  // insertion point
    std::int32_t width;
    std::int32_t height;
    std::int32_t visibility;  // while editing
};

void hide_cursor() {
    move_cursor(0, 0, 0);
}

void insert_bytes(LineEditor& ed, const std::string& bytes) {
    hide_cursor();
    const CursorPosition start = cursor_position();
    const bool at_end = ed.p == ed.text.size();
    const std::size_t n = bytes.size();
    ed.text.insert(ed.p, bytes);
    const std::size_t length = ed.text.size();
    console_write(ed.text.data() + ed.p, static_cast<std::uint32_t>(length - ed.p), 0);
    const CursorPosition after = cursor_position();
    if (at_end) {
        advance_cursor(start.column, start.row, static_cast<std::int64_t>(n));
    } else {
        const CursorPosition end =
            advanced(start, static_cast<std::int64_t>(length - ed.p), ed.width);
        const bool scrolled =
            end.row > ed.height + 1 || (end.row == ed.height + 1 && end.column > 1);
        if (scrolled)
            advance_cursor(after.column, after.row,
                           -static_cast<std::int64_t>(length - (ed.p + n)));
        else
            advance_cursor(start.column, start.row, static_cast<std::int64_t>(n));
    }
    ed.p += n;
}

void delete_bytes(LineEditor& ed, std::size_t count, CursorPosition at) {
    hide_cursor();
    ed.text.erase(ed.p, count);
    std::string shown = ed.text.substr(ed.p);
    shown.append(count, ' ');
    console_write(shown.data(), static_cast<std::uint32_t>(shown.size()), 0);
    move_cursor(at.row, at.column, -1);
}

void act_on_key(LineEditor& ed, std::int32_t code, CursorPosition at) {
    const auto p = static_cast<std::int64_t>(ed.p);
    const auto length = static_cast<std::int64_t>(ed.text.size());
    if (code >= 32 && code <= 255) {
        insert_bytes(ed, std::string(1, static_cast<char>(code)));
        return;
    }
    switch (code) {
        case kTab:
            insert_bytes(ed, std::string(((ed.p + 8) & ~std::size_t{7}) - ed.p, ' '));
            break;
        case kBackspace:
            if (ed.p > 0) {
                --ed.p;
                advance_cursor(at.column, at.row, -1);
                delete_bytes(ed, 1, cursor_position());
            }
            break;
        case kDelete:
            if (ed.p == ed.text.size())
                console_beep();
            else
                delete_bytes(ed, 1, at);
            break;
        case kEscape:
            advance_cursor(at.column, at.row, -p);
            if (!ed.text.empty()) {
                hide_cursor();
                const CursorPosition start = cursor_position();
                const std::string blanks(ed.text.size(), ' ');
                ed.p = 0;
                ed.text.clear();
                console_write(blanks.data(), static_cast<std::uint32_t>(blanks.size()), 0);
                move_cursor(start.row, start.column, -1);
            }
            break;
        case kHome:
            advance_cursor(at.column, at.row, -p);
            ed.p = 0;
            break;
        case kEnd:
            advance_cursor(at.column, at.row, length - p);
            ed.p = ed.text.size();
            break;
        case kLeft:
            if (ed.p > 0) {
                --ed.p;
                advance_cursor(at.column, at.row, -1);
            }
            break;
        case kRight:
            if (p < length) {
                ++ed.p;
                advance_cursor(at.column, at.row, 1);
            }
            break;
        case kUp:
            if (p >= ed.width) {
                ed.p -= static_cast<std::size_t>(ed.width);
                advance_cursor(at.column, at.row, -ed.width);
            }
            break;
        case kDown:
            if (p + ed.width <= length) {
                ed.p += static_cast<std::size_t>(ed.width);
                advance_cursor(at.column, at.row, ed.width);
            }
            break;
        default:
            break;  // Insert too: the editor always inserts
    }
}

// The soft cursor: a cell drawn over the insertion point, and what it hid.
void draw_at(CursorPosition at, unsigned char byte) {
    const char cell = static_cast<char>(byte);
    console_write(&cell, 1, 0);
    move_cursor(at.row, at.column, -1);
}

std::int32_t key_code(const std::string& key) {
    if (key.size() == 2) return extended_key(static_cast<unsigned char>(key[1]));
    return static_cast<unsigned char>(key[0]);
}

int read_console(Channel& ch, char* buffer, std::size_t& count) {
    const std::size_t wanted = count;
    if (!key_event_ops().input_is_console()) {
        const std::size_t got = std::fread(buffer, 1, wanted, stdin);
        std::memset(buffer + got, 0, wanted - got);
        count = got;
        return Success;
    }
    auto* keys = static_cast<ConsoleKeyBuffer*>(ch.device);
    constexpr std::uint32_t kSize = sizeof keys->bytes;
    std::size_t delivered = 0;
    while (delivered < wanted) {
        if (keys->count == 0) {
            wait_for_key();
            const std::string key = poll_key();
            if (key.empty()) break;
            // Unread bytes sit at the end of the buffer.
            std::memcpy(keys->bytes + kSize - key.size(), key.data(), key.size());
            keys->count = static_cast<std::uint32_t>(key.size());
        }
        buffer[delivered++] = static_cast<char>(keys->bytes[kSize - keys->count]);
        --keys->count;
    }
    std::memset(buffer + delivered, 0, wanted - delivered);
    count = delivered;
    return Success;
}

}  // namespace

void wait_for_key() {
    while (!key_available()) key_event_ops().wait_for_input(kKeyCheckMs);
}

void advance_cursor(std::int32_t column, std::int32_t row, std::int64_t distance) {
    const ConsoleSize size = console_size();
    const CursorPosition to = advanced(CursorPosition{column, row}, distance, size.width);
    if (to.row == size.height + 1 && to.column == 1) {
        move_cursor(size.height, size.width, -1);
        console_write("\r\n", 2, 0);
        return;
    }
    move_cursor(to.row, to.column, -1);
}

std::string read_console_line(std::int32_t soft_cursor) {
    const ConsoleSize size = console_size();
    LineEditor ed{{}, 0, size.width, size.height, soft_cursor == 0 ? 1 : 0};
    const bool was_visible = (move_cursor(0, 0, -1) & kCursorWasVisible) != 0;
    hide_cursor();
    move_cursor(0, 0, ed.visibility);
    for (;;) {
        const CursorPosition at = cursor_position();
        if (soft_cursor != 0) draw_at(at, kSoftCursor);
        wait_for_key();
        const std::string key = poll_key();
        if (soft_cursor != 0)
            draw_at(at, ed.p < ed.text.size() ? static_cast<unsigned char>(ed.text[ed.p]) : ' ');
        if (key.empty()) continue;
        const std::int32_t code = key_code(key);
        act_on_key(ed, code, at);
        move_cursor(0, 0, ed.visibility);
        if (code == kEnter || code == kCtrlEnter) break;
    }
    const CursorPosition at = cursor_position();
    advance_cursor(at.column, at.row, static_cast<std::int64_t>(ed.text.size() - ed.p));
    move_cursor(0, 0, was_visible ? 1 : 0);
    return ed.text;
}

void install_console_read() {
    ChannelOps& ops = console_channel_ops();
    if (!ops.read) ops.read = read_console;
}

void prompt_input(const std::string& prompt, std::int32_t question, std::int32_t newline) {
    install_console_read();
    if (!key_event_ops().input_is_console()) {
        select_input_channel(0);
        return;
    }
    select_input_text(std::string());
    console_write(nullptr, 0, kWriteDeferredLineFeed);
    if (!prompt.empty()) print_text(0, prompt, 0);
    if (question != 0) print_text(0, "? ", 0);
    try {
        std::string line = read_console_line(0);
        if (newline != 0) print_text(0, std::string(), kPrintNewline);
        select_input_text(line);
        set_last_error(Success);
    } catch (const std::bad_alloc&) {
        set_last_error(OutOfMemory);
    }
}

}  // namespace cncsend
