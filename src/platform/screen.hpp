#pragma once
// Screen-device seam: a text screen seen as a buffer of character cells with
// a visible window onto it. The console layer is written once against this
// table; the terminal backend, a future console-API backend and the tests'
// in-memory screen all provide it.
//
// Coordinates are 0-based buffer cells. Cell writes never move the cursor;
// only set_cursor does. Bytes are the program's code page 437 bytes; a
// backend translates them, if it must, at its own edge.

#include <cstddef>
#include <cstdint>

namespace cncsend {

struct ScreenInfo {
    std::int16_t buffer_width;
    std::int16_t buffer_height;
    // The visible window, inclusive buffer coordinates.
    std::int16_t window_left;
    std::int16_t window_top;
    std::int16_t window_right;
    std::int16_t window_bottom;
    std::int16_t cursor_x;
    std::int16_t cursor_y;
    // Colours for new text: low nibble foreground, high nibble background
    // (bit 0 blue, 1 green, 2 red, 3 bright); 7 is the default grey on black.
    std::uint16_t attribute;
};

// A block of cells, inclusive.
struct ScreenRect {
    std::int16_t left;
    std::int16_t top;
    std::int16_t right;
    std::int16_t bottom;
};

struct ScreenOps {
    // False when the output is not a screen (redirected, for example).
    bool (*get_info)(ScreenInfo* info);
    bool (*get_cursor_visible)(bool* visible);
    bool (*set_cursor_visible)(bool visible);
    bool (*set_cursor)(int x, int y);
    bool (*set_attribute)(std::uint16_t attribute);
    // Cells (x, y) .. (x + count - 1, y), all on one row.
    bool (*write_cells)(int x, int y, const char* bytes, std::size_t count,
                        std::uint16_t attribute);
    // count cells from (x, y) rightwards get the byte and the attribute.
    bool (*fill_cells)(int x, int y, std::size_t count, char byte, std::uint16_t attribute);
    // The rows of rect move up by lines; exactly the lines bottom rows of
    // rect (all of them when lines reaches its height) end blank.
    bool (*scroll_up)(const ScreenRect& rect, int lines, std::uint16_t attribute);
    // Moves the visible window to the rectangle (absolute coordinates).
    bool (*set_window)(const ScreenRect& window);
    void (*beep)(unsigned frequency, unsigned milliseconds);
    // Pass-through: bytes written unchanged; the count written, -1 on failure.
    long (*write_raw)(const char* bytes, std::size_t count);
    // Ends one console operation: what the backend holds back reaches the
    // device now.
    void (*flush)();
    // The program ends: a hidden cursor is shown again, held resources go.
    void (*release)();
};

const ScreenOps& screen_ops();
// Installs another table (nullptr brings back the native one).
void set_screen_ops(const ScreenOps* ops);

// The native backend's table.
const ScreenOps& native_screen_ops();

}  // namespace cncsend
