#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "channels/channel.hpp"
#include "channels/file_channel.hpp"
#include "channels/open_channel.hpp"
#include "console/console_channel.hpp"
#include "console/console_screen.hpp"
#include "console/print.hpp"
#include "console/print_format.hpp"
#include "support/memory_screen.hpp"

namespace cncsend {
namespace {

TEST(NumberText, SignificantDigitsAndTheLeadingBlank) {
    struct Case {
        double value;
        int digits;
        bool blank;
        const char* text;
    };
    const Case cases[] = {
        {2.5, 16, true, " 2.5"},
        {3.0, 16, true, " 3"},
        {0.1, 16, true, " 0.1"},
        {1.0 / 3.0, 16, true, " 0.3333333333333333"},
        {-0.25, 16, true, "-0.25"},
        {2.9973459243774414, 16, true, " 2.997345924377441"},
        {2.9973459243774414, 7, true, " 2.997346"},
        {0.0, 16, true, " 0"},
        {1e20, 16, true, " 1e+20"},
        {12345.678, 3, false, "1.23e+04"},
        {-7.0, 16, false, "-7"},
    };
    for (const Case& c : cases) EXPECT_EQ(number_to_text(c.value, c.digits, c.blank), c.text);
}

// Texts longer than any small buffer: the precision is the caller's choice.
TEST(NumberText, HighPrecisionsGiveTheWholeText) {
    for (int digits : {57, 64, 81, 300}) {
        for (double value : {-1.2345e-300, 2.0 / 3.0 * 1e-100}) {
            std::vector<char> full(1024);
            const int n = std::snprintf(full.data(), full.size(), "%.*g", digits, value);
            const std::string expected(full.data(), static_cast<std::size_t>(n));
            EXPECT_EQ(number_to_text(value, digits, false), expected) << digits;
            EXPECT_EQ(number_to_text(value, digits, true), (value < 0 ? "" : " ") + expected);
        }
    }
}

TEST(NumberText, IntegersWithoutBlankOrPlus) {
    EXPECT_EQ(int_to_text(0), "0");
    EXPECT_EQ(int_to_text(-5), "-5");
    EXPECT_EQ(int_to_text(42), "42");
    EXPECT_EQ(int_to_text(2147483647), "2147483647");
    EXPECT_EQ(int_to_text(std::numeric_limits<std::int32_t>::min()), "-2147483648");
}

// Printing to a real file channel, read back byte for byte.
class PrintToFile : public ::testing::Test {
  protected:
    void SetUp() override {
        io_state() = IoState{};
        path_ =
            std::filesystem::temp_directory_path() /
            ("cncsend_print_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        ASSERT_EQ(
            open_file_channel(path_.string(), ChannelMode::Output, ChannelAccess::Default, 0, 4, 0),
            0);
    }
    void TearDown() override {
        close_all_channels();
        std::filesystem::remove(path_);
        release_print_format_state();
    }
    std::string contents() {
        close_channel(4);
        std::ifstream in(path_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::filesystem::path path_;
};

TEST_F(PrintToFile, TextAndNewlineAreTheExactBytes) {
    print_text(4, "ABC", kPrintNewline);
    print_text(4, "", kPrintNewlineToo);
    print_text(4, "", 0);
    print_text(4, "G1 X", 0);
    print_text(4, int_to_text(-15), kPrintNewline);
    print_number(4, 2.5, 0);
    print_number(4, -0.25, kPrintNewline);
    print_single(4, 1.0f / 3.0f, 0);
    EXPECT_EQ(contents(), "ABC\r\n\r\nG1 X-15\r\n 2.5-0.25\r\n 0.3333333");
}

TEST_F(PrintToFile, PrintZonesFollowTheColumn) {
    struct Case {
        int column;
        std::uint32_t width;
        std::string written;
    };
    const Case cases[] = {
        {0, 0, std::string(14, ' ')},
        {13, 0, " "},
        {14, 0, std::string(14, ' ')},
        {27, 80, " "},
        {70, 80, "\r\n"},
        {70, 0, std::string(14, ' ')},
        {69, 80, " "},
        {79, 80, "\r\n"},
    };
    for (const Case& c : cases) {
        Channel& ch = *resolve_channel(4);
        ch.width = c.width;
        ch.column = c.column;
        std::FILE* stream = file_stream(ch);
        const long before = std::ftell(stream);
        advance_print_zone(4);
        std::fflush(stream);
        const long after = std::ftell(stream);
        std::string written(static_cast<std::size_t>(after - before), '\0');
        std::FILE* reader = std::fopen(path_.string().c_str(), "rb");
        std::fseek(reader, before, SEEK_SET);
        ASSERT_EQ(std::fread(written.data(), 1, written.size(), reader), written.size());
        std::fclose(reader);
        EXPECT_EQ(written, c.written) << c.column << " width " << c.width;
    }
}

TEST_F(PrintToFile, ZoneFlagAfterAnItem) {
    print_text(4, "ab", kPrintZone);
    print_text(4, "c", kPrintZone | kPrintNewline);  // the newline wins
    EXPECT_EQ(contents(), "ab" + std::string(12, ' ') + "c\r\n");
}

TEST_F(PrintToFile, ClosedChannelsRecordInvalidCall) {
    for (int number : {9, 300, -7}) {
        set_last_error(0);
        print_text(number, "x", kPrintNewline);
        EXPECT_EQ(last_error(), InvalidCall) << number;
        set_last_error(0);
        advance_print_zone(number);
        EXPECT_EQ(last_error(), InvalidCall) << number;
    }
}

TEST_F(PrintToFile, PictureFieldsOfIntegers) {
    struct Case {
        std::int64_t value;
        const char* text;
    };
    const Case cases[] = {
        {0, "    0"},
        {42, "   42"},
        {100, "  100"},
        {99999, "99999"},
        {100000, "%100000"},
        {-5, "   -5"},
        {-9999, "-9999"},
        {-10000, "%-10000"},
        {std::numeric_limits<std::int64_t>::min(), "%-9223372036854775808"},
    };
    std::string expected;
    for (const Case& c : cases) {
        begin_formatted_print("#####");
        print_formatted(4, c.value, 0);
        end_formatted_print(4);
        expected += c.text;
    }
    EXPECT_EQ(contents(), expected);
}

TEST_F(PrintToFile, PictureFieldsOfDoublesRoundHalfAwayFromZero) {
    struct Case {
        double value;
        const char* text;
    };
    const Case cases[] = {
        {2.5, "    3"},
        {0.5, "    1"},
        {-2.5, "   -3"},
        {99999.5, "%100000"},
        {-0.4, "   -0"},
        {0.49999999999999994, "    0"},
        {2.4999999999999996, "    3"},
        {-0.0, "    0"},
    };
    std::string expected;
    for (const Case& c : cases) {
        begin_formatted_print("#####");
        print_formatted_double(4, c.value, 0);
        end_formatted_print(4);
        expected += c.text;
    }
    EXPECT_EQ(contents(), expected);
}

TEST_F(PrintToFile, PictureIsUsedAgainAndLiteralsSurroundFields) {
    begin_formatted_print("#####");
    print_formatted(4, 42, 0);
    print_formatted(4, 43, 0);
    end_formatted_print(4);

    begin_formatted_print("X=## _#_!Y=##!");
    print_formatted(4, 7, 0);
    print_formatted(4, -3, kPrintNewline);
    end_formatted_print(4);

    begin_formatted_print("[##]");
    // A negative flag releases the picture.
    print_formatted(4, 5, std::numeric_limits<std::int32_t>::min());
    end_formatted_print(4);  // nothing left to print

    begin_formatted_print("a$$b");
    end_formatted_print(4);
    EXPECT_EQ(contents(), "   42   43X= 7 #!Y=-3\r\n[ 5]a");
}

// Printing to the console channel on the in-memory screen.
class PrintToConsole : public ::testing::Test {
  protected:
    void SetUp() override {
        io_state() = IoState{};
        install_memory_screen(80, 25);
    }
    void TearDown() override { remove_memory_screen(); }
};

TEST_F(PrintToConsole, NumbersAndTextLandAtTheCursor) {
    move_cursor(10, 60, -1);
    print_number(0, 2.5, 0);
    EXPECT_EQ(screen_text(9), std::string(59, ' ') + " 2.5");
    EXPECT_EQ(cursor_position().column, 64);
    EXPECT_EQ(console_channel().column, 63);

    move_cursor(10, 60, -1);
    begin_formatted_print("#####");
    print_formatted(0, 42, 0);
    end_formatted_print(0);
    EXPECT_EQ(screen_text(9), std::string(59, ' ') + "   42");
    EXPECT_EQ(cursor_position().row, 10);
    EXPECT_EQ(cursor_position().column, 65);

    print_text(0, "Ende", kPrintNewline);
    EXPECT_EQ(cursor_position().row, 11);
    EXPECT_EQ(cursor_position().column, 1);
    EXPECT_EQ(console_channel().column, 0);
}

TEST_F(PrintToConsole, ZonesOnTheConsoleWidth) {
    struct Case {
        std::int32_t column;  // 1-based, where the cursor stands
        std::int32_t row_after;
        std::int32_t column_after;
    };
    const Case cases[] = {{1, 5, 15}, {14, 5, 15}, {15, 5, 29}, {71, 6, 1}};
    for (const Case& c : cases) {
        move_cursor(5, c.column, -1);
        advance_print_zone(0);
        EXPECT_EQ(cursor_position().row, c.row_after) << c.column;
        EXPECT_EQ(cursor_position().column, c.column_after) << c.column;
        EXPECT_EQ(console_channel().column, c.column_after - 1) << c.column;
    }
}

TEST_F(PrintToConsole, ALineOfExactlyTheWidthLeavesTheColumnAtZero) {
    move_cursor(25, 1, -1);
    print_text(0, std::string(80, '-'), 0);
    EXPECT_EQ(console_channel().column, 0);
    print_text(0, "x", 0);
    EXPECT_EQ(screen_text(23), std::string(80, '-'));
    EXPECT_EQ(screen_text(24), "x");
}

}  // namespace
}  // namespace cncsend
