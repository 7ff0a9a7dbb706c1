#include <gtest/gtest.h>

#include "platform/code_page_437.hpp"

namespace cncsend {
namespace {

TEST(CodePage437, GlyphsOfTheProgramsBytes) {
    struct Case {
        unsigned char byte;
        char32_t glyph;
    };
    const Case cases[] = {
        {0x84, U'ä'}, {0x94, U'ö'}, {0x81, U'ü'}, {0x8E, U'Ä'}, {0x99, U'Ö'},
        {0x9A, U'Ü'}, {0xE1, U'ß'}, {0x00, U' '}, {0x01, U'☺'}, {0x0A, U'◙'},
        {0x1B, U'←'}, {0x7F, U'⌂'}, {0x41, U'A'}, {0xB3, U'│'}, {0xFF, 0x00A0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(cp437_to_unicode(c.byte), c.glyph) << int(c.byte);
        if (c.byte != 0) {
            EXPECT_EQ(unicode_to_cp437(c.glyph), c.byte) << int(c.byte);
        }
    }
}

TEST(CodePage437, EveryByteRoundTripsAndStrangersHaveNone) {
    for (int byte = 1; byte < 256; ++byte)
        EXPECT_EQ(unicode_to_cp437(cp437_to_unicode(static_cast<unsigned char>(byte))), byte);
    EXPECT_EQ(unicode_to_cp437(U'\r'), '\r');
    EXPECT_EQ(unicode_to_cp437(U'€'), -1);
    EXPECT_EQ(unicode_to_cp437(U'あ'), -1);
    EXPECT_EQ(unicode_to_cp437(U'β'), 0xE1);
}

}  // namespace
}  // namespace cncsend
