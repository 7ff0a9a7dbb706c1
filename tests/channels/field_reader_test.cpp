#include "channels/field_reader.hpp"

#include <cstdint>
#include <string>
#include <vector>

#include "channel_files.hpp"

namespace cncsend {
namespace {

using namespace std::string_literals;

std::vector<std::int32_t> ints(int how_many) {
    std::vector<std::int32_t> values;
    for (int i = 0; i < how_many; ++i) {
        std::int32_t value = 12345;
        EXPECT_EQ(read_int_field(value), 0);
        values.push_back(value);
    }
    return values;
}

std::vector<std::string> strings(int how_many) {
    std::vector<std::string> values;
    for (int i = 0; i < how_many; ++i) {
        std::string value = "stale";
        EXPECT_EQ(read_string_field(value), 0);
        values.push_back(value);
    }
    return values;
}

struct IntCase {
    std::string text;
    std::int32_t value;
};

TEST(FieldReader, IntegerFieldForms) {
    const std::vector<IntCase> cases = {
        {"1.5", 2},
        {"2.5", 2},
        {"-2.5", -2},
        {"3.5", 4},
        {"0.49", 0},
        {"1D3", 1000},
        {"1e3", 1000},
        {"12E", 12},
        {"0x1F", 0},
        {"0x1E", 0},
        {"&H1F", 31},
        {"&h1f", 31},
        {"&H1D", 29},
        {"&O17", 15},
        {"&17", 15},
        {"&B101", 5},
        {"&9", 0},
        {"&", 0},
        {"&HFFFFFFFF", -1},
        {"&H100000001", 1},
        {"-5", -5},
        {"4294967295", -1},
        {"4294967296", -1},
        {"2147483648", INT32_MIN},
        {"abc", 0},
        {"12abc", 12},
        {"\"12\"", 12},
        {"\" 7\"", 7},
        {"1e10", INT32_MIN},
        {"-1e10", INT32_MIN},
        {"", 0},
        {"  \t42  ", 42},
        {"+8", 8},
        {"1\0"
         "5"s,
         1},
    };
    for (const IntCase& c : cases) {
        SCOPED_TRACE(c.text);
        select_input_text(c.text);
        EXPECT_EQ(ints(1), std::vector<std::int32_t>{c.value});
    }
    release_input_source();
}

TEST(FieldReader, SeparatorsBetweenNumbers) {
    for (const char* text :
         {"2,3,4", "2 3 4", "2 , 3 ,4", "2\r\n3\r\n4\r\n", "2\n3\n4", "\"2\",3\t,4", "2\r3\r4"}) {
        SCOPED_TRACE(text);
        select_input_text(text);
        EXPECT_EQ(ints(3), (std::vector<std::int32_t>{2, 3, 4}));
    }
    select_input_text("2;3;4");
    EXPECT_EQ(ints(3), (std::vector<std::int32_t>{2, 0, 0}));
    select_input_text(",,5");
    EXPECT_EQ(ints(3), (std::vector<std::int32_t>{0, 0, 5}));
    release_input_source();
}

TEST(FieldReader, LongNumberGivesItsRestToTheNextField) {
    std::string digits;
    for (int i = 0; i < 7; ++i) digits += "1234567890";
    select_input_text(digits);
    const Field first = next_field(kIntFieldCapacity, false);
    EXPECT_EQ(first.text, digits.substr(0, 67));
    EXPECT_EQ(ints(2), (std::vector<std::int32_t>{890, 0}));
    release_input_source();
}

TEST(FieldReader, StringFields) {
    struct StringCase {
        std::string text;
        std::vector<std::string> fields;
    };
    const std::vector<StringCase> cases = {
        {"  Hello, World", {"Hello", "World", ""}},
        {"\"  Hello, World\"", {"  Hello, World", "", ""}},
        {"a b  ,c", {"a b  ", "c", ""}},
        {"\"x\"  ,y", {"x", "y", ""}},
        {"\"x\"y\r\nz", {"x", "y", "z"}},
        {"1D3,1.5", {"1D3", "1.5", ""}},
        {"ab\0cd,ef"s, {"ab", "ef", ""}},
        {"\xff\r\n", {"\xff", "", ""}},
    };
    for (const StringCase& c : cases) {
        SCOPED_TRACE(c.text);
        select_input_text(c.text);
        EXPECT_EQ(strings(3), c.fields);
    }
    release_input_source();
}

TEST_F(ChannelFiles, FieldsFromAConfigurationFile) {
    open_with(3, "2, 3 ,4\r\n", ChannelMode::Input);
    ASSERT_EQ(select_input_channel(3), 0);
    EXPECT_EQ(ints(3), (std::vector<std::int32_t>{2, 3, 4}));
    EXPECT_EQ(channel_at_end(3), -1);
    EXPECT_EQ(ints(1), std::vector<std::int32_t>{0});
}

TEST_F(ChannelFiles, CtrlZEndsFieldsOnlyInInputMode) {
    const std::string bytes =
        "a,\x1a"
        "b";
    open_with(1, bytes, ChannelMode::Binary);
    open_with(2, bytes, ChannelMode::Input);
    ASSERT_EQ(select_input_channel(1), 0);
    EXPECT_EQ(strings(2), (std::vector<std::string>{"a",
                                                    "\x1a"
                                                    "b"}));
    ASSERT_EQ(select_input_channel(2), 0);
    EXPECT_EQ(strings(2), (std::vector<std::string>{"a", ""}));
}

TEST_F(ChannelFiles, FieldEndingInCrAtTheEndLeavesNothing) {
    open_with(1, "7\r", ChannelMode::Binary);
    ASSERT_EQ(select_input_channel(1), 0);
    EXPECT_EQ(ints(1), std::vector<std::int32_t>{7});
    EXPECT_EQ(channel_at_end(1), -1);
}

TEST_F(ChannelFiles, GivenBackByteStaysWithTheChannel) {
    open_with(1, "12 34\r\n56\n", ChannelMode::Binary);
    ASSERT_EQ(select_input_channel(1), 0);
    EXPECT_EQ(ints(1), std::vector<std::int32_t>{12});
    // "12 " is consumed; the 3 was read and given back.
    EXPECT_EQ(channel_position(1), 3);
    std::string line;
    EXPECT_EQ(read_line(1, line), 0);
    EXPECT_EQ(line, "34");
    EXPECT_EQ(ints(1), std::vector<std::int32_t>{56});
}

TEST_F(ChannelFiles, SourceSelection) {
    select_input_text("9");
    EXPECT_EQ(select_input_channel(5), 1);
    EXPECT_EQ(last_error(), 1);
    EXPECT_EQ(ints(1), std::vector<std::int32_t>{9});

    open_with(3, "1,2", ChannelMode::Input);
    ASSERT_EQ(select_input_channel(3), 0);
    EXPECT_EQ(ints(1), std::vector<std::int32_t>{1});
    close_channel(3);
    EXPECT_EQ(ints(1), std::vector<std::int32_t>{0});  // a closed source is at its end
}

}  // namespace
}  // namespace cncsend
