#include <gtest/gtest.h>

#include <string>

#include "console/console_channel.hpp"
#include "console/console_screen.hpp"
#include "support/memory_screen.hpp"

namespace cncsend {
namespace {

void write(const std::string& text, std::uint32_t flags = 0) {
    console_write(text.data(), static_cast<std::uint32_t>(text.size()), flags);
}

// An 80 x 25 screen whose view has been read, as the console channel's
// set-up does before the program's first write.
class ConsoleOutput : public ::testing::Test {
  protected:
    void SetUp() override { use_screen(80, 25, 0, 25); }
    void TearDown() override { remove_memory_screen(); }

    void use_screen(int width, int height, int window_top, int window_rows) {
        install_memory_screen(width, height, window_top, window_rows);
        console_channel();
    }
    MemoryScreen& screen() { return memory_screen(); }
    CursorPosition at() { return cursor_position(); }
};

TEST_F(ConsoleOutput, MoveCursorConvertsToTheWindowOfATallerBuffer) {
    use_screen(80, 200, 100, 25);
    const std::uint32_t result = move_cursor(12, 60, -1);
    EXPECT_EQ(screen().cursor_x, 59);
    EXPECT_EQ(screen().cursor_y, 111);
    EXPECT_EQ(result, 60u | (12u << 8) | kCursorWasVisible);
    EXPECT_EQ(at().column, 60);
    EXPECT_EQ(at().row, 12);
    EXPECT_EQ(console_channel().column, 59);
}

TEST_F(ConsoleOutput, MoveCursorOutOfRangeKeepsThePositionButAppliesVisibility) {
    struct Case {
        std::int32_t row, column, visibility;
        bool visible_after;
    };
    const Case cases[] = {
        {26, 1, -1, true}, {1, 81, -1, true}, {-1, 1, -1, true},
        {1, -3, -1, true}, {26, 1, 0, false},
    };
    for (const Case& c : cases) {
        use_screen(80, 25, 0, 25);
        move_cursor(5, 7, -1);
        const std::uint32_t result = move_cursor(c.row, c.column, c.visibility);
        EXPECT_EQ(screen().cursor_x, 6) << c.row << "," << c.column;
        EXPECT_EQ(screen().cursor_y, 4) << c.row << "," << c.column;
        EXPECT_EQ(screen().cursor_visible, c.visible_after) << c.row << "," << c.column;
        EXPECT_EQ(result, 7u | (5u << 8) | kCursorWasVisible);
        EXPECT_EQ(console_channel().column, 6);
    }
}

TEST_F(ConsoleOutput, MoveCursorZeroKeepsThatCoordinateAndReportsEarlierVisibility) {
    move_cursor(9, 30, 0);
    const std::uint32_t result = move_cursor(0, 5, -1);
    EXPECT_EQ(at().row, 9);
    EXPECT_EQ(at().column, 5);
    EXPECT_EQ(console_channel().column, 4);
    EXPECT_EQ(result & kCursorWasVisible, 0u);
    EXPECT_EQ(result & 0xFFFF, 5u | (9u << 8));

    const std::uint32_t only_visibility = move_cursor(0, 0, 1);
    EXPECT_TRUE(screen().cursor_visible);
    EXPECT_EQ(at().column, 5);
    EXPECT_EQ(console_channel().column, 4);  // no column given, none set
    EXPECT_EQ(only_visibility & kCursorWasVisible, 0u);
}

TEST_F(ConsoleOutput, FillingTheLastRowDefersTheLineFeed) {
    put_screen_text(0, 0, "top line");
    move_cursor(25, 1, -1);
    write(std::string(80, 'x'));
    EXPECT_EQ(screen_text(0), "top line");  // nothing scrolled
    EXPECT_EQ(screen_row(24), std::string(80, 'x'));
    EXPECT_EQ(screen().cursor_x, 79);
    EXPECT_EQ(screen().cursor_y, 24);
    EXPECT_TRUE(console_state().pending_wrap);

    write("y");
    EXPECT_EQ(screen_text(23), std::string(80, 'x'));
    EXPECT_EQ(screen_text(24), "y");
    EXPECT_EQ(at().column, 2);
    EXPECT_EQ(at().row, 25);
    EXPECT_FALSE(console_state().pending_wrap);
}

TEST_F(ConsoleOutput, DeferredLineFeedRunsOnFlagEightAlone) {
    move_cursor(25, 1, -1);
    write(std::string(80, 'x'));
    write("", 0);
    EXPECT_TRUE(console_state().pending_wrap);
    write("", kWriteDeferredLineFeed);
    EXPECT_EQ(screen_text(23), std::string(80, 'x'));
    EXPECT_EQ(screen_text(24), "");
    EXPECT_EQ(at().column, 1);
    EXPECT_EQ(at().row, 25);
}

TEST_F(ConsoleOutput, PositioningDropsTheDeferredLineFeed) {
    move_cursor(25, 1, -1);
    write(std::string(80, 'x'));
    move_cursor(3, 1, -1);
    write("z");
    EXPECT_EQ(screen_text(24), std::string(80, 'x'));
    EXPECT_EQ(screen_text(2), "z");
}

TEST_F(ConsoleOutput, LineFeedAfterAFullLineLeavesOneEmptyLine) {
    move_cursor(3, 1, -1);
    write(std::string(80, 'a') + "\r\nb");
    EXPECT_EQ(screen_text(3), "");
    EXPECT_EQ(screen_text(4), "b");

    move_cursor(25, 1, -1);
    write(std::string(80, 'c') + "\r\n");
    EXPECT_EQ(screen_text(22), std::string(80, 'c'));
    EXPECT_EQ(screen_text(23), "");
    EXPECT_EQ(at().row, 25);
    EXPECT_EQ(at().column, 1);
}

TEST_F(ConsoleOutput, LineFeedOnTheLastRowScrollsAtOnce) {
    put_screen_text(0, 0, "first");
    put_screen_text(0, 1, "second");
    move_cursor(25, 10, -1);
    write("end\n");
    EXPECT_EQ(screen_text(0), "second");
    EXPECT_EQ(screen_text(23), "         end");
    EXPECT_EQ(at().row, 25);
    EXPECT_EQ(at().column, 1);  // a line feed alone also returns
}

TEST_F(ConsoleOutput, ControlBytes) {
    struct Case {
        std::int32_t column;
        std::string text;
        std::string row;
        std::int32_t column_after;
    };
    const Case cases[] = {
        {1, "\tX", "        X", 10},
        {8, "\tX", "        X", 10},
        {1, "ab\tc", "ab      c", 10},
        {1, "\bQ", "Q", 2},
        {1, "AB\bC", "AC", 3},
        {1, "AB\rC", "CB", 2},
        {1, "a\x0b\x0c\x84", "a\x0b\x0c\x84", 5},
    };
    for (const Case& c : cases) {
        use_screen(80, 25, 0, 25);
        move_cursor(4, c.column, -1);
        if (c.column > 1)
            put_screen_text(0, 3, std::string(static_cast<std::size_t>(c.column - 1), ' '));
        write(c.text);
        EXPECT_EQ(screen_text(3), c.row) << c.text;
        EXPECT_EQ(at().column, c.column_after) << c.text;
        EXPECT_EQ(at().row, 4) << c.text;
    }
}

TEST_F(ConsoleOutput, TabAtColumnEightWritesOneBlank) {
    put_screen_text(0, 0, "1234567890");
    move_cursor(1, 8, -1);
    write("\t");
    EXPECT_EQ(screen_text(0), "1234567 90");
    EXPECT_EQ(at().column, 9);
}

TEST_F(ConsoleOutput, BellSoundsBeforeTheTextAheadOfItAndTakesNoCell) {
    move_cursor(2, 1, -1);
    screen().events.clear();
    write("ab\acd");
    EXPECT_EQ(screen_text(1), "abcd");
    ASSERT_GE(screen().events.size(), 2u);
    EXPECT_EQ(screen().events[0], "beep");
    EXPECT_EQ(screen().events[1], "write 0,1 abcd");
}

TEST_F(ConsoleOutput, OneWriteIsOneRunPerRowAndOneFlush) {
    move_cursor(1, 71, -1);
    screen().events.clear();
    write(std::string(25, 'r'));
    const std::vector<std::string> expected = {
        "write 70,0 " + std::string(10, 'r'),
        "write 0,1 " + std::string(15, 'r'),
        "flush",
    };
    EXPECT_EQ(screen().events, expected);
}

TEST_F(ConsoleOutput, HeldOperationsReachTheDeviceInOneFlush) {
    screen().events.clear();
    hold_console_output(true);
    move_cursor(12, 60, -1);
    write("0");
    move_cursor(10, 60, -1);
    write("   45");
    hold_console_output(false);
    const std::vector<std::string> expected = {"write 59,11 0", "write 59,9    45", "flush"};
    EXPECT_EQ(screen().events, expected);
    EXPECT_EQ(at().column, 65);
    EXPECT_EQ(at().row, 10);
}

TEST_F(ConsoleOutput, LongWritesCrossTheBatchAndScroll) {
    std::string text;
    for (int line = 0; line < 40; ++line)
        text += "line " + std::to_string(line) + "\t|" + std::string(60, '.') + "\r\n";
    write(text);
    EXPECT_EQ(screen_text(0), "line 16 |" + std::string(60, '.'));
    EXPECT_EQ(screen_text(23), "line 39 |" + std::string(60, '.'));
    EXPECT_EQ(screen_text(24), "");
    EXPECT_EQ(at().row, 25);
}

TEST_F(ConsoleOutput, LongRunsWrapAcrossRowsAndBatches) {
    write(std::string(1500, 'x') + "\t" + std::string(496, 'y') + "END");
    for (int y = 0; y < 17; ++y) EXPECT_EQ(screen_row(y), std::string(80, 'x')) << y;
    EXPECT_EQ(screen_row(17), std::string(60, 'x') + std::string(4, ' ') + std::string(16, 'y'));
    for (int y = 18; y < 24; ++y) EXPECT_EQ(screen_row(y), std::string(80, 'y')) << y;
    EXPECT_EQ(screen_text(24), "END");
    EXPECT_EQ(at().column, 4);
}

TEST_F(ConsoleOutput, WindowFollowsIntoRowsBelowThenTheBufferScrolls) {
    use_screen(80, 30, 0, 25);
    put_screen_text(0, 0, "row zero");
    move_cursor(25, 1, -1);
    write("a\r\nb\r\nc");
    EXPECT_EQ(screen().window.top, 2);
    EXPECT_EQ(screen().window.bottom, 26);
    EXPECT_EQ(screen_text(0), "row zero");  // moved out of view, not scrolled
    EXPECT_EQ(screen_text(26), "c");
    EXPECT_EQ(at().row, 25);

    write("\r\nd\r\ne\r\nf\r\ng");
    EXPECT_EQ(screen().window.top, 5);
    EXPECT_EQ(screen().window.bottom, 29);
    EXPECT_EQ(screen_text(28), "f");
    EXPECT_EQ(screen_text(29), "g");
    EXPECT_EQ(screen_text(0), "");  // one line scrolled out of the buffer
    EXPECT_EQ(screen_text(23), "a");
    EXPECT_EQ(at().row, 25);
    EXPECT_EQ(at().column, 2);
}

TEST_F(ConsoleOutput, RestrictedRegionScrollsOnlyItsRows) {
    // The region is fixed at first use; the window grows afterwards.
    use_screen(80, 30, 0, 25);
    ASSERT_EQ(scroll_region().last, 24);
    screen().window.bottom = 29;
    move_cursor(1, 1, -1);  // the view is read again by a write only
    write("");
    write("", kWriteDeferredLineFeed);
    put_screen_text(0, 0, "region top");
    put_screen_text(0, 27, "below region");

    move_cursor(25, 1, -1);
    write("x\r\ny");
    EXPECT_EQ(screen().window.top, 0);
    EXPECT_EQ(screen().window.bottom, 29);
    EXPECT_EQ(screen_text(23), "x");
    EXPECT_EQ(screen_text(24), "y");
    EXPECT_EQ(screen_text(27), "below region");
    EXPECT_EQ(at().row, 25);
    EXPECT_EQ(move_cursor(26, 1, -1) & 0xFFFF, 2u | (25u << 8));  // row 26 lies outside

    clear_screen();
    EXPECT_EQ(screen_text(27), "below region");
    EXPECT_EQ(screen_text(24), "");
    clear_screen(0);
    EXPECT_EQ(screen_text(27), "");
}

TEST_F(ConsoleOutput, RestrictedRegionBlanksWhenScrolledByItsHeight) {
    use_screen(80, 30, 0, 25);
    scroll_region();
    screen().window.bottom = 29;
    write("", kWriteDeferredLineFeed);
    put_screen_text(0, 0, "gone");
    put_screen_text(0, 26, "kept");
    move_cursor(25, 1, -1);
    write(std::string(30, '\n') + "z");
    EXPECT_EQ(screen_text(0), "");
    EXPECT_EQ(screen_text(24), "z");
    EXPECT_EQ(screen_text(26), "kept");
}

TEST_F(ConsoleOutput, ClearScreenBlanksOnlyTheWindowRowsOfATallerBuffer) {
    use_screen(80, 300, 100, 30);
    for (int y : {99, 100, 129, 130}) put_screen_text(5, y, "text");
    move_cursor(7, 7, -1);
    console_state().pending_wrap = true;
    clear_screen();
    EXPECT_EQ(screen_text(99), "     text");
    EXPECT_EQ(screen_text(100), "");
    EXPECT_EQ(screen_text(129), "");
    EXPECT_EQ(screen_text(130), "     text");
    EXPECT_EQ(screen().cursor_x, 0);
    EXPECT_EQ(screen().cursor_y, 100);
    EXPECT_FALSE(console_state().pending_wrap);
    EXPECT_EQ(console_channel().column, 0);
    EXPECT_TRUE(screen().cursor_visible);

    put_screen_text(0, 100, "mode one");
    clear_screen(1);
    EXPECT_EQ(screen_text(100), "mode one");
}

TEST_F(ConsoleOutput, ClearingAndWritingTakeTheCurrentAttribute) {
    set_text_colour(14, 1);
    clear_screen();
    EXPECT_EQ(screen_cell(79, 24).attribute, 0x1E);
    set_text_colour(-1, 4);
    write("q");
    EXPECT_EQ(screen_cell(0, 0).attribute, 0x4E);
}

TEST_F(ConsoleOutput, AFailedRunDropsTheRestOfTheBatch) {
    move_cursor(1, 75, -1);
    screen().cell_writes_left = 1;
    write("0123456789");
    EXPECT_EQ(screen_text(0), std::string(74, ' ') + "012345");
    EXPECT_EQ(screen_text(1), "");
}

TEST_F(ConsoleOutput, ConsoleChannelStartsAtTheCursorWithTheConsoleWidth) {
    install_memory_screen(132, 43);
    screen().cursor_x = 17;
    screen().cursor_y = 3;
    const Channel& ch = console_channel();
    EXPECT_EQ(ch.width, 132u);
    EXPECT_EQ(ch.column, 17);
    EXPECT_EQ(ch.mode, ChannelMode::Append);
    EXPECT_EQ(ch.access, ChannelAccess::ReadWrite);
    EXPECT_EQ(ch.kind, ChannelKind::Ordinary);
    EXPECT_NE(ch.device, nullptr);
    EXPECT_EQ(console_size().width, 132);
    EXPECT_EQ(console_size().height, 43);
}

TEST(ConsoleRedirected, BytesPassThroughAndPositioningDoesNothing) {
    MemoryScreen& screen = install_redirected_output();
    console_channel();
    EXPECT_EQ(console_size().width, 80);
    EXPECT_EQ(console_size().height, 25);
    const std::string bytes("A\x07\x08\t\r\n\x84\x94\x81\0z", 11);
    write(bytes);
    move_cursor(3, 3, 0);
    clear_screen();
    write("", kWriteDeferredLineFeed);
    EXPECT_EQ(screen.raw, bytes);
    EXPECT_EQ(cursor_position().column, 0);
    EXPECT_EQ(console_channel().width, 80u);
    EXPECT_EQ(console_channel().column, 2);
    remove_memory_screen();
}

TEST(ConsoleRedirected, AWriteBeforeTheViewIsReadPassesThrough) {
    MemoryScreen& screen = install_memory_screen();
    write("early");
    EXPECT_EQ(screen.raw, "early");
    EXPECT_EQ(screen_text(0), "");
    remove_memory_screen();
}

}  // namespace
}  // namespace cncsend
