// The screen of a VT terminal on standard output. The terminal's screen is
// both the window and the whole buffer; lines scrolled off its top go to the
// terminal's own scrollback. The terminal cannot be asked where its cursor is
// without a round trip, so the cursor is learned once and tracked from then
// on. Output of one console operation is collected and reaches the terminal
// in one write() at flush.

#include "platform/posix/screen_posix.hpp"

#include <fcntl.h>
#include <langinfo.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/code_page_437.hpp"
#include "platform/drawn_cells.hpp"
#include "platform/posix/end_signals.hpp"
#include "platform/posix/terminal_charset.hpp"
#include "platform/posix/terminal_keys_posix.hpp"
#include "platform/screen.hpp"

namespace cncsend {

namespace {

constexpr int kOut = STDOUT_FILENO;
constexpr std::uint16_t kDefaultAttribute = 7;
constexpr char kShowCursor[] = "\x1b[?25h";
constexpr char kHideCursor[] = "\x1b[?25l";

struct Terminal {
    bool started;
    bool utf8;
    int rows;
    int cols;
    // Where the program wants the cursor, and where the terminal has it.
    int cursor_x;
    int cursor_y;
    int at_x;
    int at_y;
    bool at_known;  // false also while the terminal holds a wrap after the last column
    bool visible;
    std::uint16_t attribute;        // for new text
    std::uint16_t drawn_attribute;  // what the terminal's SGR state is
    std::string out;
};

Terminal term{};
// Used when the terminal is not UTF-8.
TerminalGlyphs narrow_glyphs;

// What the terminal shows of the program's drawing. The flag is set from
// signal handlers too (a suspend), so the cells are forgotten at next use.
DrawnCells drawn;
volatile std::sig_atomic_t drawn_stale = 1;

DrawnCells& drawn_cells() {
    if (drawn_stale) {
        drawn.forget(term.cols, term.rows);
        drawn_stale = 0;
    }
    return drawn;
}

// Every console operation asks for the screen's size; the terminal tells
// when it changes, so the kernel is asked again only then.
volatile std::sig_atomic_t size_changed = 1;

void on_window_change(int) {
    size_changed = 1;
}

void watch_window_size() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    struct sigaction action {};
    action.sa_handler = on_window_change;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGWINCH, &action, nullptr);
}

// A hidden cursor must not outlive the process, whatever ends it.
volatile std::sig_atomic_t cursor_hidden = 0;
bool handlers_installed = false;

void show_hidden_cursor(int) {
    if (cursor_hidden) {
        ssize_t ignored = write(kOut, kShowCursor, sizeof kShowCursor - 1);
        (void)ignored;
        cursor_hidden = 0;
    }
}

void install_signal_handlers() {
    if (handlers_installed) return;
    handlers_installed = true;
    add_end_signal_action(show_hidden_cursor);
}

bool write_all(int fd, const char* bytes, std::size_t count) {
    while (count > 0) {
        ssize_t n = write(fd, bytes, count);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

void append_number(int value) {
    char text[16];
    int n = std::snprintf(text, sizeof text, "%d", value);
    term.out.append(text, static_cast<std::size_t>(n));
}

void read_size() {
    if (!size_changed) return;
    size_changed = 0;
    drawn_stale = 1;
    winsize size{};
    if (ioctl(kOut, TIOCGWINSZ, &size) == 0 && size.ws_row > 0 && size.ws_col > 0) {
        term.rows = size.ws_row;
        term.cols = size.ws_col;
    } else {
        term.rows = 24;
        term.cols = 80;
    }
    if (term.rows > 0x7FFF) term.rows = 0x7FFF;
    if (term.cols > 0x7FFF) term.cols = 0x7FFF;
    if (term.cursor_x >= term.cols) term.cursor_x = term.cols - 1;
    if (term.cursor_y >= term.rows) term.cursor_y = term.rows - 1;
}

// Finds a cursor-position report (ESC [ row ; column R) in what the
// terminal sent; keys may come before and after it.
bool find_cursor_report(const std::string& input, std::size_t* begin, std::size_t* end, int* row,
                        int* col) {
    for (std::size_t at = input.find("\x1b["); at != std::string::npos;
         at = input.find("\x1b[", at + 1)) {
        std::size_t i = at + 2;
        int numbers[2] = {0, 0};
        bool ok = true;
        for (int n = 0; n < 2 && ok; ++n) {
            const std::size_t first = i;
            while (i < input.size() && input[i] >= '0' && input[i] <= '9' && i - first < 5)
                numbers[n] = numbers[n] * 10 + (input[i++] - '0');
            const char wanted = n == 0 ? ';' : 'R';
            ok = i > first && i < input.size() && input[i] == wanted;
            ++i;
        }
        if (!ok) continue;
        *begin = at;
        *end = i;
        *row = numbers[0];
        *col = numbers[1];
        return true;
    }
    return false;
}

// Asks the terminal for its cursor (a cursor-position report). Whatever
// else comes in can only be keys typed ahead: they go to the keyboard, in
// their order.
bool ask_cursor(int* x, int* y) {
    int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    termios saved{};
    if (tcgetattr(fd, &saved) != 0) {
        close(fd);
        return false;
    }
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    quiet.c_cc[VMIN] = 0;
    quiet.c_cc[VTIME] = 0;
    tcsetattr(fd, TCSANOW, &quiet);

    bool found = false;
    std::string input;
    if (write_all(fd, "\x1b[6n", 4)) {
        for (int waited = 0; waited < 20 && !found; ++waited) {
            pollfd ready{fd, POLLIN, 0};
            if (poll(&ready, 1, 50) <= 0) continue;
            char chunk[64];
            ssize_t n = read(fd, chunk, sizeof chunk);
            if (n <= 0) continue;
            input.append(chunk, static_cast<std::size_t>(n));
            std::size_t begin = 0, end = 0;
            int row = 0, col = 0;
            if (find_cursor_report(input, &begin, &end, &row, &col)) {
                *x = col - 1;
                *y = row - 1;
                input.erase(begin, end - begin);
                found = true;
            }
        }
    }
    tcsetattr(fd, TCSANOW, &saved);
    close(fd);
    keep_typed_ahead(input.data(), input.size());
    return found;
}

bool start() {
    if (term.started) return true;
    if (!isatty(kOut)) return false;
    term = Terminal{};
    term.started = true;
    watch_window_size();
    size_changed = 1;
    const char* codeset = nl_langinfo(CODESET);
    term.utf8 = codeset != nullptr && std::strcmp(codeset, "UTF-8") == 0;
    if (!term.utf8) narrow_glyphs = terminal_glyphs(codeset);
    term.visible = true;
    term.attribute = kDefaultAttribute;
    term.drawn_attribute = kDefaultAttribute;
    read_size();
    int x = 0, y = 0;
    if (!ask_cursor(&x, &y)) {
        // Without an answer the safest guess is the start of the last row:
        // output then scrolls the screen rather than overwriting it.
        x = 0;
        y = term.rows - 1;
    }
    term.cursor_x = x < 0 ? 0 : (x >= term.cols ? term.cols - 1 : x);
    term.cursor_y = y < 0 ? 0 : (y >= term.rows ? term.rows - 1 : y);
    term.at_x = term.cursor_x;
    term.at_y = term.cursor_y;
    term.at_known = true;
    return true;
}

void go_to(int x, int y) {
    if (term.at_known && term.at_x == x && term.at_y == y) return;
    if (term.at_known && term.at_y == y && x == 0) {
        term.out += '\r';
    } else {
        term.out += "\x1b[";
        append_number(y + 1);
        term.out += ';';
        append_number(x + 1);
        term.out += 'H';
    }
    term.at_x = x;
    term.at_y = y;
    term.at_known = true;
}

// Colour numbers of the attribute's bit order (blue, green, red) as the
// terminal counts them (red, green, blue).
int ansi_colour(unsigned nibble) {
    return ((nibble & 4) ? 1 : 0) | ((nibble & 2) ? 2 : 0) | ((nibble & 1) ? 4 : 0);
}

void use_attribute(std::uint16_t attribute) {
    if (attribute == term.drawn_attribute) return;
    term.out += "\x1b[0";
    if (attribute != kDefaultAttribute) {
        const unsigned fg = attribute & 0xF;
        const unsigned bg = (attribute >> 4) & 0xF;
        term.out += ';';
        append_number(((fg & 8) ? 90 : 30) + ansi_colour(fg));
        term.out += ';';
        append_number(((bg & 8) ? 100 : 40) + ansi_colour(bg));
    }
    term.out += 'm';
    term.drawn_attribute = attribute;
}

void append_glyph(unsigned char byte) {
    if (!term.utf8) {
        term.out += narrow_glyphs[byte];
        return;
    }
    const char32_t c = cp437_to_unicode(byte);
    if (c < 0x80) {
        term.out += static_cast<char>(c);
    } else if (c < 0x800) {
        term.out += static_cast<char>(0xC0 | (c >> 6));
        term.out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        term.out += static_cast<char>(0xE0 | (c >> 12));
        term.out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        term.out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool in_screen(int x, int y) {
    return x >= 0 && y >= 0 && x < term.cols && y < term.rows;
}

void after_drawing(std::size_t count) {
    term.at_x += static_cast<int>(count);
    // After the last column the terminal holds a pending wrap whose effect
    // differs between terminals: the next output positions afresh.
    if (term.at_x >= term.cols) term.at_known = false;
}

bool get_info(ScreenInfo* info) {
    if (!start()) return false;
    read_size();
    info->buffer_width = static_cast<std::int16_t>(term.cols);
    info->buffer_height = static_cast<std::int16_t>(term.rows);
    info->window_left = 0;
    info->window_top = 0;
    info->window_right = static_cast<std::int16_t>(term.cols - 1);
    info->window_bottom = static_cast<std::int16_t>(term.rows - 1);
    info->cursor_x = static_cast<std::int16_t>(term.cursor_x);
    info->cursor_y = static_cast<std::int16_t>(term.cursor_y);
    info->attribute = term.attribute;
    return true;
}

bool get_cursor_visible(bool* visible) {
    if (!start()) return false;
    *visible = term.visible;
    return true;
}

bool set_cursor_visible(bool visible) {
    if (!start()) return false;
    if (visible == term.visible) return true;
    term.out += visible ? kShowCursor : kHideCursor;
    term.visible = visible;
    if (!visible) install_signal_handlers();
    cursor_hidden = visible ? 0 : 1;
    return true;
}

bool set_cursor(int x, int y) {
    if (!start() || !in_screen(x, y)) return false;
    term.cursor_x = x;
    term.cursor_y = y;
    return true;
}

bool set_attribute(std::uint16_t attribute) {
    if (!start()) return false;
    term.attribute = attribute;
    return true;
}

bool write_cells(int x, int y, const char* bytes, std::size_t count, std::uint16_t attribute) {
    if (!start() || !in_screen(x, y)) return false;
    if (count > static_cast<std::size_t>(term.cols - x))
        count = static_cast<std::size_t>(term.cols - x);
    if (count == 0 || drawn_cells().already_drawn(x, y, bytes, 0, count, attribute)) return true;
    go_to(x, y);
    use_attribute(attribute);
    for (std::size_t i = 0; i < count; ++i) append_glyph(static_cast<unsigned char>(bytes[i]));
    after_drawing(count);
    drawn_cells().note_drawn(x, y, bytes, 0, count, attribute);
    return true;
}

bool fill_cells(int x, int y, std::size_t count, char byte, std::uint16_t attribute) {
    if (!start() || !in_screen(x, y)) return false;
    if (count > static_cast<std::size_t>(term.cols - x))
        count = static_cast<std::size_t>(term.cols - x);
    if (count == 0 || drawn_cells().already_drawn(x, y, nullptr, byte, count, attribute))
        return true;
    go_to(x, y);
    use_attribute(attribute);
    drawn_cells().note_drawn(x, y, nullptr, byte, count, attribute);
    if (byte == ' ' && x + static_cast<int>(count) == term.cols) {
        term.out += "\x1b[K";  // erase to the end of the row, in the current colours
        return true;
    }
    for (std::size_t i = 0; i < count; ++i) append_glyph(static_cast<unsigned char>(byte));
    after_drawing(count);
    return true;
}

bool scroll_up(const ScreenRect& rect, int lines, std::uint16_t attribute) {
    if (!start() || lines <= 0) return false;
    // Only whole rows scroll on a terminal.
    if (rect.left != 0 || rect.right != term.cols - 1 || rect.top < 0 || rect.top > rect.bottom ||
        rect.bottom >= term.rows)
        return false;
    const int height = rect.bottom - rect.top + 1;
    if (lines > height) lines = height;
    drawn_stale = 1;
    use_attribute(attribute);
    const bool whole_screen = rect.top == 0 && rect.bottom == term.rows - 1;
    if (!whole_screen) {
        // A scrolling margin; setting and clearing it sends the cursor home.
        term.out += "\x1b[";
        append_number(rect.top + 1);
        term.out += ';';
        append_number(rect.bottom + 1);
        term.out += 'r';
        term.at_known = false;
    }
    go_to(0, rect.bottom);
    // Line feeds on the bottom row scroll the way the terminal scrolls its own
    // output, so what leaves the top of the screen reaches the scrollback.
    term.out.append(static_cast<std::size_t>(lines), '\n');
    if (!whole_screen) {
        term.out += "\x1b[r";
        term.at_known = false;
    }
    return true;
}

bool set_window(const ScreenRect& window) {
    // The window is the whole buffer: it can only stay where it is.
    return start() && window.left == 0 && window.top == 0 && window.right == term.cols - 1 &&
           window.bottom == term.rows - 1;
}

void beep(unsigned, unsigned) {
    if (start()) term.out += '\a';
}

long write_raw(const char* bytes, std::size_t count) {
    drawn_stale = 1;
    for (;;) {
        ssize_t n = write(kOut, bytes, count);
        if (n >= 0) return static_cast<long>(n);
        if (errno != EINTR) return -1;
    }
}

void write_out() {
    if (!term.started) return;
    go_to(term.cursor_x, term.cursor_y);
    if (!term.out.empty()) write_all(kOut, term.out.data(), term.out.size());
    term.out.clear();
}

// A cursor that only moved is sent with the next output, or before the
// program waits: a progress display that positions and then prints costs
// one write instead of two.
void flush() {
    if (!term.out.empty()) write_out();
}

void release() {
    if (!term.started) return;
    if (!term.visible) term.out += kShowCursor;
    use_attribute(kDefaultAttribute);
    write_out();
    cursor_hidden = 0;
    term = Terminal{};
}

constexpr ScreenOps kVtScreen = {
    get_info,   get_cursor_visible, set_cursor_visible, set_cursor, set_attribute, write_cells,
    fill_cells, scroll_up,          set_window,         beep,       write_raw,     flush,
    release,
};

}  // namespace

void settle_screen_output() {
    // Where a hidden cursor waits does not matter: only output goes out.
    if (term.started && !term.visible && term.out.empty()) return;
    write_out();
}

void forget_screen_contents() {
    drawn_stale = 1;
}

const ScreenOps& native_screen_ops() {
    return kVtScreen;
}

}  // namespace cncsend
