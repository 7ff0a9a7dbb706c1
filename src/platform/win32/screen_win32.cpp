// The screen device over the console screen-buffer calls. Bytes are written
// with the "A" calls, so they show in the console's output code page, which
// is the OEM code page of the program's texts: no translation here.

#include <windows.h>

#include <vector>

#include "platform/drawn_cells.hpp"
#include "platform/screen.hpp"
#include "platform/win32/console_handles.hpp"

namespace cncsend {

namespace {

// Every console call is a round trip to the console's own process, and a
// job line would cost a dozen of them for a progress display that mostly
// stays the same. So the backend remembers what it last learnt of the
// console and what it drew, and asks again only after a while: the
// operator may resize or scroll the console, and that shows within
// kRecheckMs. The cursor is put in place when an operation ends, and only
// if it has to move.
constexpr DWORD kRecheckMs = 200;

struct Known {
    bool info = false;
    ScreenInfo screen{};  // the cursor in it is where the program wants it
    DWORD asked_at = 0;
    bool cursor_placed = true;  // the console's cursor is where the program wants it
    bool placed_known = false;  // and where it was put last
    int placed_x = 0;
    int placed_y = 0;
    bool visibility = false;
    bool visible = true;
};

Known known;
DrawnCells drawn;
// Set while the cursor is hidden by this program, so the end can show it.
bool cursor_hidden = false;

COORD cell(int x, int y) {
    return COORD{static_cast<SHORT>(x), static_cast<SHORT>(y)};
}

bool in_window(int x, int y) {
    const ScreenInfo& s = known.screen;
    return x >= s.window_left && x <= s.window_right && y >= s.window_top && y <= s.window_bottom;
}

// The console scrolls its window to a cursor placed outside it.
void place_cursor() {
    if (known.cursor_placed) return;
    known.cursor_placed = true;
    const int x = known.screen.cursor_x;
    const int y = known.screen.cursor_y;
    if (known.placed_known && known.placed_x == x && known.placed_y == y) return;
    known.placed_known = SetConsoleCursorPosition(console_output_handle(), cell(x, y)) != FALSE;
    known.placed_x = x;
    known.placed_y = y;
    if (!known.placed_known || !in_window(x, y)) known.info = false;
}

// The screen changed in ways not known here: ask again, draw everything.
void forget_console() {
    place_cursor();
    known.info = false;
    known.placed_known = false;
    drawn.forget(0, 0);
}

bool get_info(ScreenInfo* info) {
    if (known.info && GetTickCount() - known.asked_at < kRecheckMs) {
        *info = known.screen;
        return true;
    }
    place_cursor();
    CONSOLE_SCREEN_BUFFER_INFO csbi{};
    if (!GetConsoleScreenBufferInfo(console_output_handle(), &csbi)) {
        known.info = false;
        return false;
    }
    const ScreenInfo fresh{csbi.dwSize.X,           csbi.dwSize.Y,           csbi.srWindow.Left,
                           csbi.srWindow.Top,       csbi.srWindow.Right,     csbi.srWindow.Bottom,
                           csbi.dwCursorPosition.X, csbi.dwCursorPosition.Y, csbi.wAttributes};
    // A new buffer size may have rewrapped the text.
    if (!known.info || fresh.buffer_width != known.screen.buffer_width ||
        fresh.buffer_height != known.screen.buffer_height)
        drawn.forget(fresh.buffer_width, fresh.buffer_height);
    known.screen = fresh;
    known.info = true;
    known.placed_known = true;
    known.placed_x = fresh.cursor_x;
    known.placed_y = fresh.cursor_y;
    known.asked_at = GetTickCount();
    *info = fresh;
    return true;
}

bool get_cursor_visible(bool* visible) {
    if (!known.visibility) {
        CONSOLE_CURSOR_INFO cursor{};
        if (!GetConsoleCursorInfo(console_output_handle(), &cursor)) return false;
        known.visible = cursor.bVisible != FALSE;
        known.visibility = true;
    }
    *visible = known.visible;
    return true;
}

bool set_cursor_visible(bool visible) {
    if (known.visibility && known.visible == visible) return true;
    // The cursor keeps its size; only its visibility changes.
    CONSOLE_CURSOR_INFO cursor{};
    const HANDLE out = console_output_handle();
    if (!GetConsoleCursorInfo(out, &cursor)) return false;
    cursor.bVisible = visible ? TRUE : FALSE;
    if (!SetConsoleCursorInfo(out, &cursor)) return false;
    known.visible = visible;
    known.visibility = true;
    cursor_hidden = !visible;
    return true;
}

bool set_cursor(int x, int y) {
    ScreenInfo info{};
    if (!get_info(&info)) return SetConsoleCursorPosition(console_output_handle(), cell(x, y));
    // What the console refuses.
    if (x < 0 || y < 0 || x >= info.buffer_width || y >= info.buffer_height) return false;
    if (x == known.screen.cursor_x && y == known.screen.cursor_y) return true;
    known.screen.cursor_x = static_cast<std::int16_t>(x);
    known.screen.cursor_y = static_cast<std::int16_t>(y);
    known.cursor_placed = false;
    return true;
}

bool set_attribute(std::uint16_t attribute) {
    if (known.info && known.screen.attribute == attribute) return true;
    if (!SetConsoleTextAttribute(console_output_handle(), attribute)) return false;
    known.screen.attribute = attribute;
    return true;
}

bool write_cells(int x, int y, const char* bytes, std::size_t count, std::uint16_t attribute) {
    if (count == 0 || drawn.already_drawn(x, y, bytes, 0, count, attribute)) return true;
    std::vector<CHAR_INFO> cells(count);
    for (std::size_t i = 0; i < count; ++i) {
        cells[i].Char.AsciiChar = bytes[i];
        cells[i].Attributes = attribute;
    }
    SMALL_RECT target{static_cast<SHORT>(x), static_cast<SHORT>(y),
                      static_cast<SHORT>(x + static_cast<int>(count) - 1), static_cast<SHORT>(y)};
    if (!WriteConsoleOutputA(console_output_handle(), cells.data(),
                             cell(static_cast<int>(count), 1), cell(0, 0), &target))
        return false;
    drawn.note_drawn(x, y, bytes, 0, count, attribute);
    return true;
}

bool fill_cells(int x, int y, std::size_t count, char byte, std::uint16_t attribute) {
    if (count == 0 || drawn.already_drawn(x, y, nullptr, byte, count, attribute)) return true;
    const HANDLE out = console_output_handle();
    DWORD done = 0;
    const BOOL colours =
        FillConsoleOutputAttribute(out, attribute, static_cast<DWORD>(count), cell(x, y), &done);
    const BOOL characters =
        FillConsoleOutputCharacterA(out, byte, static_cast<DWORD>(count), cell(x, y), &done);
    if (!colours || !characters) return false;
    drawn.note_drawn(x, y, nullptr, byte, count, attribute);
    return true;
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
    const ScreenInfo size = known.screen;
    drawn.forget(size.buffer_width, size.buffer_height);
    return ScrollConsoleScreenBufferA(console_output_handle(), &source, nullptr,
                                      cell(rect.left, rect.top), &blank) != FALSE;
}

bool set_window(const ScreenRect& window) {
    SMALL_RECT rect{window.left, window.top, window.right, window.bottom};
    place_cursor();
    known.info = false;
    return SetConsoleWindowInfo(console_output_handle(), TRUE, &rect) != FALSE;
}

void beep(unsigned frequency, unsigned milliseconds) {
    Beep(frequency, milliseconds);
}

long write_raw(const char* bytes, std::size_t count) {
    // Raw output goes where the cursor is, and moves it.
    forget_console();
    DWORD written = 0;
    if (!WriteFile(console_output_handle(), bytes, static_cast<DWORD>(count), &written, nullptr))
        return -1;
    return static_cast<long>(written);
}

// Cell writes reach the console at once; only the cursor waits for the end
// of an operation.
void flush() {
    place_cursor();
}

void release() {
    place_cursor();
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
