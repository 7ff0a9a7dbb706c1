#include <algorithm>

#include "console/console_channel.hpp"
#include "console/console_screen.hpp"
#include "console/print_format.hpp"
#include "platform/screen.hpp"

namespace cncsend {

namespace {

// Set while the caller collects several console operations into one
// output to the device.
bool output_held = false;

// One console operation is complete: its output goes to the device.
void end_console_operation() {
    if (!output_held) screen_ops().flush();
}

constexpr std::uint16_t kDefaultAttribute = 7;
constexpr std::size_t kBatchSize = 1024;

ConsoleState* state = nullptr;

void acquire_handles() {
    // The terminal backend needs no handles; the flag keeps the order of
    // first uses visible to tests and to the keyboard part.
    console_state().handles_acquired = true;
}

void read_view() {
    ConsoleState& s = console_state();
    ScreenInfo info{};
    if (screen_ops().get_info(&info))
        s.view = ConsoleView{0, info.window_top, static_cast<std::int16_t>(info.buffer_width - 1),
                             info.window_bottom};
    else
        s.view = ConsoleView{};
    s.view_read = true;
}

std::uint16_t current_attribute() {
    ScreenInfo info{};
    return screen_ops().get_info(&info) ? info.attribute : kDefaultAttribute;
}

void set_console_column(std::int32_t column) {
    console_channel().column = column;
}

// The text writer of one console_write: the area in buffer coordinates, the
// cursor, and the batch of bytes not yet drawn.
struct Writer {
    std::int32_t left;
    std::int32_t right;
    std::int32_t region_top;
    std::int32_t region_bottom;
    bool restricted;
    std::int32_t buffer_width;
    std::int32_t buffer_height;
    std::uint16_t attribute;
    std::int32_t x;
    std::int32_t y;
    bool region_moved;
    char batch[kBatchSize];
    std::size_t count;
    std::int32_t planned_x;  // where x stands once the batch is drawn
};

void blank_rows(const Writer& w, std::int32_t top, std::int32_t bottom) {
    for (std::int32_t row = bottom; row >= top; --row)
        screen_ops().fill_cells(w.left, row, static_cast<std::size_t>(w.right - w.left + 1), ' ',
                                w.attribute);
}

void scroll(Writer& w, std::int32_t lines) {
    const ScreenOps& ops = screen_ops();
    if (!w.restricted) {
        const std::int32_t below = w.buffer_height - w.region_bottom - 1;
        if (below > 0) {
            // Rows below the window come into view before anything scrolls.
            const std::int32_t k = std::min(lines, below);
            w.region_top += k;
            w.region_bottom += k;
            w.region_moved = true;
            lines -= k;
        }
        if (lines > 0) {
            const bool region_is_buffer =
                w.region_top == 0 && w.region_bottom == w.buffer_height - 1;
            if (lines >= w.buffer_height && !region_is_buffer) {
                blank_rows(w, w.region_top, w.region_bottom);
            } else {
                const ScreenRect whole{0, 0, static_cast<std::int16_t>(w.buffer_width - 1),
                                       static_cast<std::int16_t>(w.buffer_height - 1)};
                ops.scroll_up(whole, lines, w.attribute);
            }
        }
    } else {
        const ScreenRect rect{
            static_cast<std::int16_t>(w.left), static_cast<std::int16_t>(w.region_top),
            static_cast<std::int16_t>(w.right), static_cast<std::int16_t>(w.region_bottom)};
        ops.scroll_up(rect, lines, w.attribute);
    }
    w.y = w.region_bottom;
}

void scroll_if_below(Writer& w) {
    if (w.y > w.region_bottom) scroll(w, w.y - w.region_bottom);
}

void draw_batch(Writer& w) {
    std::size_t done = 0;
    while (done < w.count) {
        scroll_if_below(w);
        const std::size_t room = static_cast<std::size_t>(w.right - w.x + 1);
        const std::size_t run = std::min(w.count - done, room);
        if (!screen_ops().write_cells(w.x, w.y, w.batch + done, run, w.attribute)) break;
        w.x += static_cast<std::int32_t>(run);
        if (w.x > w.right) {
            w.x = w.left;
            ++w.y;
        }
        done += run;
    }
    w.count = 0;
    w.planned_x = w.x;
}

void add_to_batch(Writer& w, char byte, std::size_t repeat) {
    if (w.count + repeat > kBatchSize) draw_batch(w);
    for (std::size_t i = 0; i < repeat; ++i) {
        w.batch[w.count++] = byte;
        if (++w.planned_x > w.right) w.planned_x = w.left;
    }
}

void write_text(Writer& w, const char* bytes, std::uint32_t length) {
    for (std::uint32_t i = 0; i < length; ++i) {
        const char byte = bytes[i];
        switch (byte) {
            case '\a':
                // Sounds before the batch ahead of it is drawn.
                screen_ops().beep(1000, 250);
                break;
            case '\b':
                draw_batch(w);
                if (w.x > w.left) --w.x;
                w.planned_x = w.x;
                break;
            case '\t':
                add_to_batch(w, ' ', static_cast<std::size_t>(8 - (w.planned_x - w.left) % 8));
                break;
            case '\n':
                draw_batch(w);
                w.x = w.left;
                ++w.y;
                w.planned_x = w.x;
                break;
            case '\r':
                draw_batch(w);
                w.x = w.left;
                w.planned_x = w.x;
                break;
            default:
                add_to_batch(w, byte, 1);
                break;
        }
    }
    if (w.count > 0)
        draw_batch(w);
    else
        scroll_if_below(w);
}

void pass_through(const char* bytes, std::uint32_t length) {
    std::size_t done = 0;
    while (done < length) {
        const long n = screen_ops().write_raw(bytes + done, length - done);
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

void make_writer(Writer* w, const ConsoleView& view, ScrollRegion region) {
    *w = Writer{};
    w->left = view.left;
    w->right = view.right;
    w->region_top = view.top + region.first;
    w->region_bottom = view.top + region.last;
    w->restricted = w->region_top != view.top || w->region_bottom != view.bottom;
    ScreenInfo info{};
    if (screen_ops().get_info(&info)) {
        w->buffer_width = info.buffer_width;
        w->buffer_height = info.buffer_height;
        w->x = info.cursor_x;
        w->y = info.cursor_y;
        w->attribute = info.attribute;
    } else {
        w->buffer_width = 80;
        w->buffer_height = 25;
        w->x = w->left;
        w->y = w->region_top;
        w->attribute = kDefaultAttribute;
    }
    w->planned_x = w->x;
}

// The cursor moves on the screen only here; the window follows the region.
void finish_writer(const Writer& w) {
    const ScreenOps& ops = screen_ops();
    ops.set_cursor(w.x, w.y);
    if (w.region_moved)
        ops.set_window(ScreenRect{
            static_cast<std::int16_t>(w.left), static_cast<std::int16_t>(w.region_top),
            static_cast<std::int16_t>(w.right), static_cast<std::int16_t>(w.region_bottom)});
    read_view();
    end_console_operation();
}

}  // namespace

ConsoleState& console_state() {
    if (!state) {
        state = new ConsoleState{};
        state->region = ScrollRegion{-1, -1};
    }
    return *state;
}

void release_console_state() {
    screen_ops().release();
    release_console_channel();
    release_print_format_state();
    delete state;
    state = nullptr;
}

const ConsoleView& console_view() {
    if (!console_state().view_read) read_view();
    return console_state().view;
}

bool view_present(const ConsoleView& view) {
    return view.left != view.right && view.top != view.bottom;
}

ConsoleSize console_size() {
    const ConsoleView& view = console_view();
    if (!view_present(view)) return ConsoleSize{80, 25};
    return ConsoleSize{view.right - view.left + 1, view.bottom - view.top + 1};
}

ScrollRegion scroll_region() {
    ConsoleState& s = console_state();
    if (s.region.first == -1) s.region = ScrollRegion{0, console_size().height - 1};
    return s.region;
}

CursorPosition cursor_position() {
    acquire_handles();
    const ConsoleView& view = console_view();
    ScreenInfo info{};
    if (!screen_ops().get_info(&info)) return CursorPosition{0, 0};
    if (!view_present(view)) return CursorPosition{info.cursor_x, info.cursor_y};
    return CursorPosition{info.cursor_x + 1 - view.left, info.cursor_y + 1 - view.top};
}

std::int32_t cursor_column() {
    return cursor_position().column;
}

std::uint32_t move_cursor(std::int32_t row, std::int32_t column, std::int32_t visibility,
                          std::int32_t start, std::int32_t stop) {
    acquire_handles();
    const ScrollRegion region = scroll_region();
    const bool row_valid = row == 0 || (row >= region.first + 1 && row <= region.last + 1);
    const bool column_valid = column == 0 || (column >= 1 && column <= console_size().width);
    if (!row_valid || !column_valid) return move_cursor(0, 0, visibility, start, stop);

    const std::int32_t given_column = column;
    const CursorPosition at = cursor_position();
    if (row == 0) row = at.row;
    if (column == 0) column = at.column;

    const ScreenOps& ops = screen_ops();
    bool was_visible = false;
    if (!ops.get_cursor_visible(&was_visible)) was_visible = false;

    const ConsoleView& view = console_view();
    std::int32_t x = column;
    std::int32_t y = row;
    if (view_present(view)) {
        x = column + view.left - 1;
        y = row + view.top - 1;
    }
    if (visibility >= 0) ops.set_cursor_visible(visibility != 0);
    console_state().pending_wrap = false;
    ops.set_cursor(x, y);
    end_console_operation();
    if (given_column != 0) set_console_column(given_column - 1);

    return (static_cast<std::uint32_t>(column) & 0xFF) |
           ((static_cast<std::uint32_t>(row) & 0xFF) << 8) | (was_visible ? kCursorWasVisible : 0);
}

void clear_screen(std::int32_t mode) {
    acquire_handles();
    const ConsoleView view = console_view();
    if (!view_present(view) || mode == 1) return;
    std::int32_t first = 0;
    std::int32_t last = view.bottom - view.top;
    if (mode == 2 || mode == kModeOmitted) {
        const ScrollRegion region = scroll_region();
        first = region.first;
        last = region.last;
    }
    const std::uint16_t attribute = current_attribute();
    const ScreenOps& ops = screen_ops();
    for (std::int32_t row = last; row >= first; --row)
        ops.fill_cells(view.left, view.top + row,
                       static_cast<std::size_t>(view.right - view.left + 1), ' ', attribute);
    ops.set_cursor(view.left, view.top + first);
    console_state().pending_wrap = false;
    end_console_operation();
    set_console_column(0);
}

void console_write(const char* bytes, std::uint32_t length, std::uint32_t flags) {
    if (length == 0 && (flags & kWriteDeferredLineFeed) == 0) return;
    acquire_handles();
    ConsoleState& s = console_state();
    // Only a view read earlier counts here: a write never asks for it.
    if (!s.view_read || !view_present(s.view)) {
        pass_through(bytes, length);
        return;
    }
    Writer writer;
    make_writer(&writer, s.view, scroll_region());
    Writer* w = &writer;
    if (s.pending_wrap) {
        s.pending_wrap = false;
        w->x = w->left;
        ++w->y;
        scroll_if_below(*w);
        w->planned_x = w->x;
    }
    write_text(*w, bytes, length);

    if (w->x == w->left && w->y == w->region_bottom + 1) {
        // Filling the region's last cell does not scroll until more follows.
        s.pending_wrap = true;
        w->x = w->right;
        w->y = w->region_bottom;
    } else {
        scroll_if_below(*w);
    }
    finish_writer(writer);
}

void hold_console_output(bool hold) {
    output_held = hold;
    if (!hold) screen_ops().flush();
}

void console_beep() {
    acquire_handles();
    screen_ops().beep(1000, 250);
    end_console_operation();
}

void console_scroll(std::int32_t lines) {
    acquire_handles();
    const ConsoleView view = console_view();
    if (!view_present(view) || lines <= 0) return;
    Writer writer;
    make_writer(&writer, view, scroll_region());
    scroll(writer, lines);
    finish_writer(writer);
}

void set_text_colour(std::int32_t foreground, std::int32_t background) {
    static constexpr std::uint16_t kColours[16] = {0, 1, 2,  3,  4,  5,  6,  7,
                                                   8, 9, 10, 11, 12, 13, 14, 15};
    acquire_handles();
    std::uint16_t attribute = current_attribute();
    if (foreground >= 0 && foreground < 16)
        attribute = static_cast<std::uint16_t>((attribute & ~0x0Fu) | kColours[foreground]);
    if (background >= 0 && background < 16)
        attribute = static_cast<std::uint16_t>((attribute & ~0xF0u) | (kColours[background] << 4));
    screen_ops().set_attribute(attribute);
}

}  // namespace cncsend
