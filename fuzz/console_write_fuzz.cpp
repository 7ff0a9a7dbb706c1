// console_write and its neighbours on the in-memory screen, at arbitrary
// window sizes, buffer heights and cursor positions: whatever bytes are
// written, every cell written, filled or scrolled lies inside the buffer.
// (A cursor asked for outside it is refused by every screen, so set_cursor
// is left to the screen's own check.)
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "console/console_screen.hpp"
#include "platform/screen.hpp"
#include "support/memory_screen.hpp"

using namespace cncsend;

namespace {

ScreenOps memory_ops;

bool inside(int x, int y) {
    const MemoryScreen& s = memory_screen();
    if (x >= 0 && y >= 0 && x < s.width && y < s.height) return true;
    std::fprintf(stderr, "cell %d,%d outside the buffer of %d x %d (cursor %d,%d)\n", x, y, s.width,
                 s.height, s.cursor_x, s.cursor_y);
    return false;
}

bool checked_write_cells(int x, int y, const char* bytes, std::size_t count,
                         std::uint16_t attribute) {
    if (!inside(x, y) || count > static_cast<std::size_t>(memory_screen().width - x)) std::abort();
    return memory_ops.write_cells(x, y, bytes, count, attribute);
}

bool checked_fill_cells(int x, int y, std::size_t count, char byte, std::uint16_t attribute) {
    if (!inside(x, y) || count > static_cast<std::size_t>(memory_screen().width - x)) std::abort();
    return memory_ops.fill_cells(x, y, count, byte, attribute);
}

bool checked_scroll_up(const ScreenRect& rect, int lines, std::uint16_t attribute) {
    if (!inside(rect.left, rect.top) || !inside(rect.right, rect.bottom) || lines < 0) std::abort();
    return memory_ops.scroll_up(rect, lines, attribute);
}

struct Reader {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at;
    int byte() { return at < size ? data[at++] : 0; }
    int signed_byte() { return static_cast<std::int8_t>(byte()); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Reader in{data, size, 0};
    const int width = 1 + in.byte() % 100;
    const int height = 1 + in.byte() % 60;
    const int window_top = in.byte() % height;
    const int window_rows = 1 + in.byte() % (height - window_top);
    install_memory_screen(width, height, window_top, window_rows);
    memory_ops = screen_ops();
    ScreenOps checked = memory_ops;
    checked.write_cells = checked_write_cells;
    checked.fill_cells = checked_fill_cells;
    checked.scroll_up = checked_scroll_up;
    set_screen_ops(&checked);

    for (int steps = 0; in.at < in.size && steps < 64; ++steps) {
        switch (in.byte() % 6) {
            case 0: {
                const int row = in.signed_byte(), column = in.signed_byte();
                move_cursor(row, column, in.byte() % 3 - 1);
                break;
            }
            case 1:
            case 2: {
                const std::uint32_t flags = static_cast<std::uint32_t>(in.byte());
                std::size_t length = static_cast<std::size_t>(in.byte());
                if (length > in.size - in.at) length = in.size - in.at;
                console_write(reinterpret_cast<const char*>(data + in.at),
                              static_cast<std::uint32_t>(length), flags);
                in.at += length;
                break;
            }
            case 3:
                clear_screen(in.byte() % 4);
                break;
            case 4:
                console_scroll(in.signed_byte());
                break;
            case 5:
                set_text_colour(in.signed_byte() % 17, in.signed_byte() % 17);
                break;
        }
    }
    remove_memory_screen();
    return 0;
}
