// Code page 437 on terminals whose locale is not UTF-8: the glyph table for
// a charset, and what the screen backend really sends to a pseudo-terminal.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/posix/terminal_charset.hpp"
#include "platform/screen.hpp"

namespace cncsend {
namespace {

bool has_c1_or_control_above_ascii(const std::string& text) {
    for (unsigned char c : text)
        if (c >= 0x80 && c <= 0x9F) return true;
    return false;
}

TEST(TerminalGlyphs, EachCharsetGetsItsOwnBytesOrAQuestionMark) {
    const struct {
        const char* codeset;
        unsigned char byte;
        const char* glyph;
    } cases[] = {
        // Plain ASCII: no byte above 0x7F at all.
        {"ANSI_X3.4-1968", 0x84, "?"},
        {"ANSI_X3.4-1968", 0x9B, "?"},
        {"ANSI_X3.4-1968", 'A', "A"},
        {"ISO-8859-1", 0x84, "\xE4"},
        {"ISO-8859-1", 0x94, "\xF6"},
        {"ISO-8859-1", 0x81, "\xFC"},
        {"ISO-8859-1", 0x8E, "\xC4"},
        {"ISO-8859-1", 0xE1, "\xDF"},
        {"ISO-8859-1", 0xB3, "?"},  // box drawing: not in Latin-1
        {"ISO-8859-1", 0x9B, "\xA2"},
        {"ISO-8859-15", 0x84, "\xE4"},
        // Windows-1252 has the florin at 0x83, a C1 control to a terminal.
        {"CP1252", 0x9F, "?"},
        {"CP1252", 0x84, "\xE4"},
        // KOI8-R keeps its box drawing in 0x80-0x9F: not sent.
        {"KOI8-R", 0xB3, "?"},
        {"KOI8-R", 0xC4, "?"},
        // A charset the system does not know: ASCII alone.
        {"NO-SUCH-CHARSET", 0x84, "?"},
        {nullptr, 0x84, "?"},
    };
    for (const auto& c : cases) {
        const TerminalGlyphs glyphs = terminal_glyphs(c.codeset);
        const char* name = c.codeset ? c.codeset : "(none)";
        EXPECT_EQ(glyphs[c.byte], c.glyph) << name << " " << int(c.byte);
        EXPECT_EQ(glyphs[0], " ") << name;
        EXPECT_EQ(glyphs[0x1B], "?") << name;
        EXPECT_EQ(glyphs[0x7F], "?") << name;
        for (int byte = 0; byte < 256; ++byte) {
            EXPECT_FALSE(has_c1_or_control_above_ascii(glyphs[byte])) << name << " " << byte;
            EXPECT_FALSE(glyphs[byte].empty()) << name << " " << byte;
        }
    }
    for (int byte = 0x80; byte < 0x100; ++byte)
        EXPECT_EQ(terminal_glyphs("ANSI_X3.4-1968")[byte], "?") << byte;
}

// Runs the screen backend in a child whose standard output is a fresh
// pseudo-terminal and whose locale is the one given; gives what the
// terminal received.
std::string screen_output_under(const char* locale, const std::string& cells) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return "no pty";
    winsize size{};
    size.ws_row = 24;
    size.ws_col = 80;
    ioctl(master, TIOCSWINSZ, &size);
    const pid_t pid = fork();
    if (pid == 0) {
        // No controlling terminal: the backend cannot ask the developer's
        // terminal where its cursor is.
        setsid();
        const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
        if (slave < 0 || dup2(slave, STDOUT_FILENO) < 0) _exit(2);
        if (!std::setlocale(LC_CTYPE, locale)) _exit(3);
        const ScreenOps& screen = native_screen_ops();
        screen.write_cells(0, 0, cells.data(), cells.size(), 7);
        screen.flush();
        _exit(0);
    }
    std::string received;
    for (;;) {
        pollfd ready{master, POLLIN, 0};
        if (poll(&ready, 1, 2000) <= 0) break;
        char chunk[256];
        const ssize_t n = read(master, chunk, sizeof chunk);
        if (n <= 0) break;
        received.append(chunk, static_cast<std::size_t>(n));
    }
    int status = 0;
    waitpid(pid, &status, 0);
    close(master);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "child failed " + std::to_string(status);
    return received;
}

TEST(TerminalGlyphs, ScreenSendsTheLocalesCharset) {
    const std::string cells = "Fr\x84ser \x9B\x84 h\x94he";
    const std::string in_c = screen_output_under("C", cells);
    EXPECT_NE(in_c.find("Fr?ser ?? h?he"), std::string::npos) << in_c;
    for (unsigned char c : in_c) EXPECT_LT(c, 0x80) << in_c;

    // The UTF-8 terminal gets the glyphs themselves.
    const std::string in_utf8 = screen_output_under("C.UTF-8", cells);
    EXPECT_NE(in_utf8.find("Fr\xC3\xA4ser \xC2\xA2\xC3\xA4 h\xC3\xB6he"), std::string::npos)
        << in_utf8;
}

// Keys typed on such a terminal: its bytes become the program's code page
// 437 bytes, and what code page 437 lacks is not typed at all.
TEST(TerminalGlyphs, TypedBytesOfTheCharsetBecomeCodePage437) {
    const struct {
        const char* codeset;
        const char* typed;
        const char* keys;  // the character codes of the keys, in order
    } cases[] = {
        {"ISO-8859-1", "\xE4\xF6\xFC\xDF", "132 148 129 225"},
        {"ISO-8859-1",
         "a\xA2"
         "b",
         "97 155 98"},
        {"ISO-8859-1", "\xBE", ""},          // three quarters: not in code page 437
        {"ISO-8859-15", "\xE4\xA4", "132"},  // the euro sign is dropped
        {"KOI8-R", "\xC1", ""},              // Cyrillic
        {"ANSI_X3.4-1968", "\xE4x", "120"},
        {"NO-SUCH-CHARSET", "\x84", ""},
    };
    for (const auto& c : cases) {
        const TypedUpperBytes typed = terminal_typed_bytes(c.codeset);
        TerminalKeyDecoder decoder = make_terminal_key_decoder(false, &typed);
        std::vector<KeyEvent> events;
        const std::string bytes = c.typed;
        decode_terminal_bytes(decoder, reinterpret_cast<const unsigned char*>(bytes.data()),
                              bytes.size(), events);
        std::string keys;
        for (const KeyEvent& event : events) {
            if (!keys.empty()) keys += ' ';
            keys += std::to_string(event.character);
        }
        EXPECT_EQ(keys, c.keys) << c.codeset;
    }
}

}  // namespace
}  // namespace cncsend
