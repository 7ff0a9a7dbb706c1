#pragma once
// A screen buffer in memory behind the screen-device seam: cells with their
// attributes, a cursor with its visibility, and a window that may show only
// part of a taller buffer. Tests install it, drive the console layer and
// read the screen back.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/screen.hpp"

namespace cncsend {

struct MemoryCell {
    char byte;
    std::uint16_t attribute;
};

struct MemoryScreen {
    // false: behaves as output that is not a screen (only write_raw works).
    bool is_screen;
    int width;
    int height;
    ScreenRect window;
    std::vector<MemoryCell> cells;  // row after row
    int cursor_x;
    int cursor_y;
    bool cursor_visible;
    std::uint16_t attribute;
    // Bytes written in pass-through.
    std::string raw;
    // What happened, in order: "beep", "write x,y text", "fill x,y n",
    // "scroll top-bottom n", "window top-bottom", "flush".
    std::vector<std::string> events;
    int releases;
    // When >= 0, write_cells fails once this many more runs were written.
    int cell_writes_left;
};

// Installs a fresh screen of width x height cells whose window shows
// window_rows rows from window_top, with the cursor at the window's top
// left; the console layer starts afresh too.
MemoryScreen& install_memory_screen(int width = 80, int height = 25, int window_top = 0,
                                    int window_rows = -1);
// Installs output that is not a screen: every byte passes through to raw.
MemoryScreen& install_redirected_output();
// Brings back the native screen and starts the console layer afresh.
void remove_memory_screen();
MemoryScreen& memory_screen();

// A buffer row as text, its width in full.
std::string screen_row(int y);
// The same without the trailing blanks.
std::string screen_text(int y);
MemoryCell screen_cell(int x, int y);
// Puts text into the buffer directly, as if earlier output had left it.
void put_screen_text(int x, int y, const std::string& text);

}  // namespace cncsend
