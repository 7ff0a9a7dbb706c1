// The screen device over the console screen-buffer calls. Bytes are written
// with the "A" calls, so they show in the console's output code page, which
// is the OEM code page of the program's texts: no translation here.

#include <windows.h>

#include <vector>

#include "platform/screen.hpp"
#include "platform/win32/console_handles.hpp"

namespace cncsend {

namespace {

// Set while the cursor is hidden by this program, so the end can show it.
bool cursor_hidden = false;

bool get_info(ScreenInfo* info) {
    CONSOLE_SCREEN_BUFFER_INFO csbi{};
    if (!GetConsoleScreenBufferInfo(console_output_handle(), &csbi)) return false;
    *info = ScreenInfo{csbi.dwSize.X,           csbi.dwSize.Y,           csbi.srWindow.Left,
                       csbi.srWindow.Top,       csbi.srWindow.Right,     csbi.srWindow.Bottom,
                       csbi.dwCursorPosition.X, csbi.dwCursorPosition.Y, csbi.wAttributes};
    return true;
}

bool get_cursor_visible(bool* visible) {
    CONSOLE_CURSOR_INFO cursor{};
    if (!GetConsoleCursorInfo(console_output_handle(), &cursor)) return false;
    *visible = cursor.bVisible != FALSE;
    return true;
}

bool set_cursor_visible(bool visible) {
    // The cursor keeps its size; only its visibility changes.
    CONSOLE_CURSOR_INFO cursor{};
    const HANDLE out = console_output_handle();
    if (!GetConsoleCursorInfo(out, &cursor)) return false;
    cursor.bVisible = visible ? TRUE : FALSE;
    if (!SetConsoleCursorInfo(out, &cursor)) return false;
    cursor_hidden = !visible;
    return true;
}

COORD cell(int x, int y) {
    return COORD{static_cast<SHORT>(x), static_cast<SHORT>(y)};
}

bool set_cursor(int x, int y) {
    return SetConsoleCursorPosition(console_output_handle(), cell(x, y)) != FALSE;
}

bool set_attribute(std::uint16_t attribute) {
    return SetConsoleTextAttribute(console_output_handle(), attribute) != FALSE;
}

bool write_cells(int x, int y, const char* bytes, std::size_t count, std::uint16_t attribute) {
    if (count == 0) return true;
    std::vector<CHAR_INFO> cells(count);
    for (std::size_t i = 0; i < count; ++i) {
        cells[i].Char.AsciiChar = bytes[i];
        cells[i].Attributes = attribute;
    }
    SMALL_RECT target{static_cast<SHORT>(x), static_cast<SHORT>(y),
                      static_cast<SHORT>(x + static_cast<int>(count) - 1), static_cast<SHORT>(y)};
    return WriteConsoleOutputA(console_output_handle(), cells.data(),
                               cell(static_cast<int>(count), 1), cell(0, 0), &target) != FALSE;
}

bool fill_cells(int x, int y, std::size_t count, char byte, std::uint16_t attribute) {
    const HANDLE out = console_output_handle();
    DWORD done = 0;
    const BOOL colours =
        FillConsoleOutputAttribute(out, attribute, static_cast<DWORD>(count), cell(x, y), &done);
    const BOOL characters =
        FillConsoleOutputCharacterA(out, byte, static_cast<DWORD>(count), cell(x, y), &done);
    return colours && characters;
}

bool blank_rows(const ScreenRect& rect, int first, int last, std::uint16_t attribute) {
    bool ok = true;
    const auto width = static_cast<std::size_t>(rect.right - rect.left + 1);
    for (int row = last; row >= first; --row)
        ok = fill_cells(rect.left, row, width, ' ', attribute) && ok;
    return ok;
}

bool scroll_up(const ScreenRect& rect, int lines, std::uint16_t attribute) {
    if (lines <= 0) return true;
    const int height = rect.bottom - rect.top + 1;
    if (lines >= height) return blank_rows(rect, rect.top, rect.bottom, attribute);
    SMALL_RECT source{rect.left, static_cast<SHORT>(rect.top + lines), rect.right, rect.bottom};
    CHAR_INFO blank{};
    blank.Char.AsciiChar = ' ';
    blank.Attributes = attribute;
    // Without a clip rectangle the rows the move leaves behind are filled
    // with the blank, and they are exactly the lines bottom rows.
    return ScrollConsoleScreenBufferA(console_output_handle(), &source, nullptr,
                                      cell(rect.left, rect.top), &blank) != FALSE;
}

bool set_window(const ScreenRect& window) {
    SMALL_RECT rect{window.left, window.top, window.right, window.bottom};
    return SetConsoleWindowInfo(console_output_handle(), TRUE, &rect) != FALSE;
}

void beep(unsigned frequency, unsigned milliseconds) {
    Beep(frequency, milliseconds);
}

long write_raw(const char* bytes, std::size_t count) {
    DWORD written = 0;
    if (!WriteFile(console_output_handle(), bytes, static_cast<DWORD>(count), &written, nullptr))
        return -1;
    return static_cast<long>(written);
}

// Every call above reaches the console at once: nothing is held back.
void flush() {}

void release() {
    // A hidden cursor would stay hidden in the console after the program.
    if (cursor_hidden) set_cursor_visible(true);
}

const ScreenOps win32_screen_ops = {
    get_info,   get_cursor_visible, set_cursor_visible, set_cursor, set_attribute, write_cells,
    fill_cells, scroll_up,          set_window,         beep,       write_raw,     flush,
    release,
};

}  // namespace

const ScreenOps& native_screen_ops() {
    return win32_screen_ops;
}

}  // namespace cncsend
