#pragma once
// The program's text screen: which cells it addresses, where the cursor
// stands, how written bytes appear and how the screen scrolls. Rows and
// columns are 1-based and relative to the view; 0 keeps the current one.

#include <cstddef>
#include <cstdint>

namespace cncsend {

// The part of the screen buffer the program addresses: the full buffer width
// and the rows of the visible window. All 0 when the screen cannot be read.
struct ConsoleView {
    std::int16_t left;
    std::int16_t top;
    std::int16_t right;
    std::int16_t bottom;
};

// Rows of the view in which text output scrolls, as 0-based offsets from the
// view's top; -1 until first use.
struct ScrollRegion {
    std::int32_t first;
    std::int32_t last;
};

struct ConsoleState {
    bool handles_acquired;
    ConsoleView view;
    bool view_read;
    ScrollRegion region;
    // A write ended just past the region's last cell; its line feed waits
    // for the next write.
    bool pending_wrap;
};

// Created on first use, zeroed with the region unset.
ConsoleState& console_state();
// Ends the console layer's part of the process: a cursor hidden on a
// terminal is shown again, and the console state, the console channel and
// the formatted-print state are freed. The next use starts afresh.
void release_console_state();

struct ConsoleSize {
    std::int32_t width;
    std::int32_t height;
};
struct CursorPosition {
    std::int32_t column;
    std::int32_t row;
};

// The stored view as read from the screen (read now if never read).
const ConsoleView& console_view();
bool view_present(const ConsoleView& view);
// The scroll region, fixed at its first use to the whole view.
ScrollRegion scroll_region();

// Bit 16 of move_cursor's result: the cursor was visible before the call.
constexpr std::uint32_t kCursorWasVisible = 1u << 16;

// visibility: > 0 show, 0 hide, < 0 unchanged. start and stop (a cursor
// shape) are accepted and ignored. An out-of-range row or column keeps the
// position but still applies the visibility. Result: column | row << 8 |
// kCursorWasVisible.
std::uint32_t move_cursor(std::int32_t row, std::int32_t column, std::int32_t visibility,
                          std::int32_t start = 0, std::int32_t stop = 0);

// Stands for clear_screen called without a mode.
constexpr std::int32_t kModeOmitted = static_cast<std::int32_t>(0xFFFF0000u);
// Mode 1: nothing; 2 (or omitted): the scroll region's rows; else the view.
void clear_screen(std::int32_t mode = kModeOmitted);

// Carries out a deferred line feed even when no bytes are written.
constexpr std::uint32_t kWriteDeferredLineFeed = 8;
void console_write(const char* bytes, std::uint32_t length, std::uint32_t flags);

// 80 x 25 when the view is absent.
ConsoleSize console_size();
// 0, 0 when the screen cannot be read.
CursorPosition cursor_position();
std::int32_t cursor_column();

// While held, console operations leave their output with the screen: it
// goes out in one piece when the hold ends, and before the program waits
// for anything.
void hold_console_output(bool hold);

// The console's tone: 1000 Hz for 250 ms.
void console_beep();
// Scrolls the scroll region up by lines; the cursor goes to the region's
// last row.
void console_scroll(std::int32_t lines);
// Colours 0 to 15 for new text; a negative value keeps the current one.
void set_text_colour(std::int32_t foreground, std::int32_t background);

}  // namespace cncsend
