#include "support/memory_screen.hpp"

#include <algorithm>

#include "console/console_screen.hpp"

namespace cncsend {

namespace {

MemoryScreen screen{};

bool in_buffer(int x, int y) {
    return x >= 0 && y >= 0 && x < screen.width && y < screen.height;
}

MemoryCell& cell(int x, int y) {
    return screen.cells[static_cast<std::size_t>(y) * screen.width + x];
}

std::string where(int x, int y) {
    return std::to_string(x) + "," + std::to_string(y);
}

bool get_info(ScreenInfo* info) {
    if (!screen.is_screen) return false;
    info->buffer_width = static_cast<std::int16_t>(screen.width);
    info->buffer_height = static_cast<std::int16_t>(screen.height);
    info->window_left = screen.window.left;
    info->window_top = screen.window.top;
    info->window_right = screen.window.right;
    info->window_bottom = screen.window.bottom;
    info->cursor_x = static_cast<std::int16_t>(screen.cursor_x);
    info->cursor_y = static_cast<std::int16_t>(screen.cursor_y);
    info->attribute = screen.attribute;
    return true;
}

bool get_cursor_visible(bool* visible) {
    if (!screen.is_screen) return false;
    *visible = screen.cursor_visible;
    return true;
}

bool set_cursor_visible(bool visible) {
    if (!screen.is_screen) return false;
    screen.cursor_visible = visible;
    return true;
}

bool set_cursor(int x, int y) {
    if (!screen.is_screen || !in_buffer(x, y)) return false;
    screen.cursor_x = x;
    screen.cursor_y = y;
    return true;
}

bool set_attribute(std::uint16_t attribute) {
    if (!screen.is_screen) return false;
    screen.attribute = attribute;
    return true;
}

bool write_cells(int x, int y, const char* bytes, std::size_t count, std::uint16_t attribute) {
    if (!screen.is_screen || !in_buffer(x, y)) return false;
    if (screen.cell_writes_left == 0) return false;
    if (screen.cell_writes_left > 0) --screen.cell_writes_left;
    count = std::min(count, static_cast<std::size_t>(screen.width - x));
    for (std::size_t i = 0; i < count; ++i)
        cell(x + static_cast<int>(i), y) = {bytes[i], attribute};
    screen.events.push_back("write " + where(x, y) + " " + std::string(bytes, count));
    return true;
}

bool fill_cells(int x, int y, std::size_t count, char byte, std::uint16_t attribute) {
    if (!screen.is_screen || !in_buffer(x, y)) return false;
    count = std::min(count, static_cast<std::size_t>(screen.width - x));
    for (std::size_t i = 0; i < count; ++i) cell(x + static_cast<int>(i), y) = {byte, attribute};
    screen.events.push_back("fill " + where(x, y) + " " + std::to_string(count));
    return true;
}

bool scroll_up(const ScreenRect& rect, int lines, std::uint16_t attribute) {
    if (!screen.is_screen || lines <= 0 || !in_buffer(rect.left, rect.top) ||
        !in_buffer(rect.right, rect.bottom))
        return false;
    const int height = rect.bottom - rect.top + 1;
    for (int y = rect.top; y <= rect.bottom; ++y)
        for (int x = rect.left; x <= rect.right; ++x)
            cell(x, y) = y + lines <= rect.bottom ? cell(x, y + lines) : MemoryCell{' ', attribute};
    screen.events.push_back("scroll " + std::to_string(rect.top) + "-" +
                            std::to_string(rect.bottom) + " " +
                            std::to_string(std::min(lines, height)));
    return true;
}

bool set_window(const ScreenRect& window) {
    if (!screen.is_screen || !in_buffer(window.left, window.top) ||
        !in_buffer(window.right, window.bottom))
        return false;
    screen.window = window;
    screen.events.push_back("window " + std::to_string(window.top) + "-" +
                            std::to_string(window.bottom));
    return true;
}

void beep(unsigned, unsigned) {
    screen.events.push_back("beep");
}

long write_raw(const char* bytes, std::size_t count) {
    screen.raw.append(bytes, count);
    return static_cast<long>(count);
}

void flush() {
    screen.events.push_back("flush");
}

void release() {
    ++screen.releases;
}

constexpr ScreenOps kMemoryScreen = {
    get_info,   get_cursor_visible, set_cursor_visible, set_cursor, set_attribute, write_cells,
    fill_cells, scroll_up,          set_window,         beep,       write_raw,     flush,
    release,
};

}  // namespace

MemoryScreen& install_memory_screen(int width, int height, int window_top, int window_rows) {
    release_console_state();
    if (window_rows < 0) window_rows = height - window_top;
    screen = MemoryScreen{};
    screen.is_screen = true;
    screen.width = width;
    screen.height = height;
    screen.window =
        ScreenRect{0, static_cast<std::int16_t>(window_top), static_cast<std::int16_t>(width - 1),
                   static_cast<std::int16_t>(window_top + window_rows - 1)};
    screen.cells.assign(static_cast<std::size_t>(width) * height, MemoryCell{' ', 7});
    screen.cursor_x = 0;
    screen.cursor_y = window_top;
    screen.cursor_visible = true;
    screen.attribute = 7;
    screen.cell_writes_left = -1;
    set_screen_ops(&kMemoryScreen);
    return screen;
}

MemoryScreen& install_redirected_output() {
    install_memory_screen(1, 1);
    screen.is_screen = false;
    return screen;
}

void remove_memory_screen() {
    release_console_state();
    set_screen_ops(nullptr);
}

MemoryScreen& memory_screen() {
    return screen;
}

std::string screen_row(int y) {
    std::string row;
    for (int x = 0; x < screen.width; ++x) row += cell(x, y).byte;
    return row;
}

std::string screen_text(int y) {
    std::string row = screen_row(y);
    row.erase(row.find_last_not_of(' ') + 1);
    return row;
}

MemoryCell screen_cell(int x, int y) {
    return cell(x, y);
}

void put_screen_text(int x, int y, const std::string& text) {
    for (std::size_t i = 0; i < text.size() && x + static_cast<int>(i) < screen.width; ++i)
        cell(x + static_cast<int>(i), y).byte = text[i];
}

}  // namespace cncsend
