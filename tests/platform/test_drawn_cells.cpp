#include <gtest/gtest.h>

#include "platform/drawn_cells.hpp"

namespace cncsend {
namespace {

// An 8 x 4 screen with "abc" drawn at (2, 1) in attribute 7 and a run of
// three blanks in attribute 0x17 at (5, 1).
DrawnCells screen_with_text() {
    DrawnCells cells;
    cells.forget(8, 4);
    cells.note_drawn(2, 1, "abc", 0, 3, 7);
    cells.note_drawn(5, 1, nullptr, ' ', 3, 0x17);
    return cells;
}

TEST(DrawnCells, OnlyTheSameBytesInTheSameColoursCountAsDrawn) {
    struct Case {
        int x;
        int y;
        const char* bytes;  // null: the fill byte repeated
        char fill;
        std::size_t count;
        std::uint16_t attribute;
        bool drawn;
    };
    const Case cases[] = {
        {2, 1, "abc", 0, 3, 7, true},         {3, 1, "bc", 0, 2, 7, true},  // part of a drawing
        {2, 1, "abd", 0, 3, 7, false},                                      // another byte
        {2, 1, "abc", 0, 3, 0x70, false},                                   // other colours
        {1, 1, "xabc", 0, 4, 7, false},                                     // a cell never drawn
        {5, 1, nullptr, ' ', 3, 0x17, true},                                // a fill as a fill
        {5, 1, "   ", 0, 3, 0x17, true},                                    // and as bytes
        {5, 1, nullptr, ' ', 4, 0x17, false},                               // past the row's end
        {2, 2, "abc", 0, 3, 7, false},                                      // another row
        {2, 9, "abc", 0, 3, 7, false},                                      // below the screen
        {-1, 1, "abc", 0, 3, 7, false},
    };
    const DrawnCells cells = screen_with_text();
    for (const Case& c : cases)
        EXPECT_EQ(cells.already_drawn(c.x, c.y, c.bytes, c.fill, c.count, c.attribute), c.drawn)
            << c.x << "," << c.y << " " << (c.bytes ? c.bytes : "fill");
}

TEST(DrawnCells, ForgettingOrANewSizeLeavesNothingKnown) {
    DrawnCells cells = screen_with_text();
    cells.forget(8, 4);
    EXPECT_FALSE(cells.already_drawn(2, 1, "abc", 0, 3, 7));

    cells = screen_with_text();
    cells.forget(0, 0);  // not known how big the screen is: nothing is kept
    cells.note_drawn(2, 1, "abc", 0, 3, 7);
    EXPECT_FALSE(cells.already_drawn(2, 1, "abc", 0, 3, 7));
}

TEST(DrawnCells, ADrawingCutAtTheRowsEndKeepsOnlyWhatFits) {
    DrawnCells cells;
    cells.forget(8, 4);
    cells.note_drawn(6, 0, "wxyz", 0, 4, 7);
    EXPECT_TRUE(cells.already_drawn(6, 0, "wx", 0, 2, 7));
    EXPECT_FALSE(cells.already_drawn(0, 1, "yz", 0, 2, 7));  // nothing wrapped
}

}  // namespace
}  // namespace cncsend
