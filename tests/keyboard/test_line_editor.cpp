#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "channels/field_reader.hpp"
#include "channels/input_source.hpp"
#include "channels/read_channel.hpp"
#include "console/console_channel.hpp"
#include "console/console_screen.hpp"
#include "console/line_input.hpp"
#include "scripted_keys.hpp"
#include "support/memory_screen.hpp"

namespace cncsend {
namespace {

using test::block_key;
using test::char_key;
using test::key;
using test::push;
using test::push_text;

const KeyEvent kLeft = block_key(0x4B);
const KeyEvent kRight = block_key(0x4D);
const KeyEvent kHome = block_key(0x47);
const KeyEvent kEnd = block_key(0x4F);
const KeyEvent kUp = block_key(0x48);
const KeyEvent kDown = block_key(0x50);
const KeyEvent kDelete = block_key(0x53);
const KeyEvent kInsert = key(0x2D, 0x52, 0, EnhancedKey);
const KeyEvent kEnter = char_key(13);
const KeyEvent kCtrlEnter = key(0x0D, 0x1C, 10, LeftCtrlPressed);
const KeyEvent kEscape = char_key(27);
const KeyEvent kBackspace = char_key(8);
const KeyEvent kTab = char_key(9);

// A step of a script: text typed key by key, or one key.
struct Step {
    Step(const char* typed) : text(typed) {}
    Step(const KeyEvent& k) : event(k), is_key(true) {}
    std::string text;
    KeyEvent event{};
    bool is_key = false;
};

void script(std::initializer_list<Step> steps) {
    for (const Step& step : steps) {
        if (step.is_key)
            push(step.event);
        else
            push_text(step.text.c_str());
    }
}

class LineEditor : public ::testing::Test {
  protected:
    void SetUp() override { use_screen(10, 5); }
    void TearDown() override {
        EXPECT_FALSE(test::scripted_keys().ran_dry) << "the editor wanted more keys";
        remove_memory_screen();
    }
    void use_screen(int width, int height) {
        install_memory_screen(width, height);
        console_channel();
    }
    // Screen rows from the given one on, joined, trailing blanks cut.
    std::string shown(int first_row = 1) {
        std::string all;
        for (int y = first_row - 1; y < memory_screen().height; ++y) all += screen_row(y);
        return all.substr(0, all.find_last_not_of(' ') + 1);
    }
    test::ScriptedKeyboard keyboard;
};

struct EditCase {
    const char* name;
    std::vector<Step> steps;
    const char* line;
};

TEST_F(LineEditor, EditingKeys) {
    const EditCase cases[] = {
        {"Left then insert", {"12", kLeft, "3", kEnter}, "132"},
        {"Home and Delete", {"123", kHome, kDelete, kEnter}, "23"},
        {"Escape clears", {"abc", kEscape, kEnter}, ""},
        {"typing after Escape", {"abcdef", kLeft, kLeft, kEscape, "xy", kEnter}, "xy"},
        {"Backspace in the middle", {"abc", kLeft, kBackspace, kEnter}, "ac"},
        {"Backspace at the start", {kBackspace, "a", kEnter}, "a"},
        {"Tab at 3 gives 5 blanks", {"abc", kTab, "x", kEnter}, "abc     x"},
        {"Tab at 8 gives 8 blanks", {"abcdefgh", kTab, "x", kEnter}, "abcdefgh        x"},
        {"End after Home", {"abc", kHome, kEnd, "d", kEnter}, "abcd"},
        {"Right stops at the end", {"ab", kRight, "c", kHome, kRight, "X", kEnter}, "aXbc"},
        {"Insert does nothing", {"ab", kInsert, kLeft, "c", kEnter}, "acb"},
        {"Ctrl+Enter ends too", {"ab", kCtrlEnter}, "ab"},
        {"Up by the width", {"abcdefghijkl", kUp, "X", kEnter}, "abXcdefghijkl"},
        {"Up with less than a width before", {"abc", kUp, "X", kEnter}, "abcX"},
        {"Down by the width", {"abcdefghijkl", kHome, kDown, "X", kEnter}, "abcdefghijXkl"},
        {"Down with less than a width after",
         {"abcdefghijkl", kHome, kRight, kRight, kRight, kDown, "X", kEnter},
         "abcXdefghijkl"},
        {"Delete in a wrapped line", {"abcdefghijkl", kHome, kDelete, kEnter}, "bcdefghijkl"},
        {"umlaut", {"\x84", kEnter}, "\x84"},
    };
    for (const EditCase& c : cases) {
        use_screen(10, 5);
        for (const Step& step : c.steps) script({step});
        EXPECT_EQ(read_console_line(0), c.line) << c.name;
        EXPECT_EQ(shown(), c.line) << c.name;
        // The cursor ends after the text.
        const std::size_t length = std::string(c.line).size();
        EXPECT_EQ(cursor_position().column, static_cast<int>(length % 10) + 1) << c.name;
        EXPECT_EQ(cursor_position().row, static_cast<int>(length / 10) + 1) << c.name;
        EXPECT_TRUE(test::scripted_keys().events.empty()) << c.name;
    }
}

TEST_F(LineEditor, DeleteAtTheEndBeepsAndChangesNothing) {
    script({"ab", kDelete, kEnter});
    EXPECT_EQ(read_console_line(0), "ab");
    int beeps = 0;
    for (const std::string& event : memory_screen().events) beeps += event == "beep";
    EXPECT_EQ(beeps, 1);
}

TEST_F(LineEditor, TypingIntoTheLastCellScrollsOneLine) {
    use_screen(10, 3);
    put_screen_text(0, 0, "top");
    move_cursor(3, 1, -1);
    script({"abcdefghi"});
    test::scripted_keys().on_wait = [](test::ScriptedKeys& keys) {
        // The nine keys leave the screen as it was; the tenth scrolls it.
        if (keys.waits == 1) {
            EXPECT_EQ(screen_text(0), "top");
            keys.events.push_back(InputEvent{InputEventType::Key, char_key('j')});
        } else {
            EXPECT_EQ(screen_text(0), "");
            EXPECT_EQ(screen_text(1), "abcdefghij");
            EXPECT_EQ(cursor_position().row, 3);
            EXPECT_EQ(cursor_position().column, 1);
            keys.events.push_back(InputEvent{InputEventType::Key, char_key(13)});
        }
    };
    EXPECT_EQ(read_console_line(0), "abcdefghij");
}

TEST_F(LineEditor, InsertingThatPushesTheLinePastTheScreenKeepsTheCursorRight) {
    use_screen(10, 2);
    move_cursor(2, 1, -1);
    script({"abcdefghi", kHome, "X", "Y", "Z", kEnter});
    EXPECT_EQ(read_console_line(0), "XYZabcdefghi");
    EXPECT_EQ(screen_text(0), "XYZabcdefg");
    EXPECT_EQ(screen_text(1), "hi");
    EXPECT_EQ(cursor_position().row, 2);
    EXPECT_EQ(cursor_position().column, 3);
}

TEST_F(LineEditor, CursorIsShownWhileTypingAndRestoredAfter) {
    for (bool visible_before : {false, true}) {
        use_screen(10, 5);
        move_cursor(0, 0, visible_before ? 1 : 0);
        script({"1"});
        test::scripted_keys().on_wait = [](test::ScriptedKeys& keys) {
            EXPECT_TRUE(memory_screen().cursor_visible);
            if (keys.events.empty())
                keys.events.push_back(InputEvent{InputEventType::Key, char_key(13)});
        };
        EXPECT_EQ(read_console_line(0), "1");
        EXPECT_EQ(memory_screen().cursor_visible, visible_before);
    }
}

TEST_F(LineEditor, SoftCursorDrawsItsOwnCell) {
    script({"ab", kLeft});
    test::scripted_keys().on_wait = [](test::ScriptedKeys& keys) {
        EXPECT_FALSE(memory_screen().cursor_visible);
        if (keys.events.empty()) {
            EXPECT_EQ(screen_text(0), "a\xff");
            keys.events.push_back(InputEvent{InputEventType::Key, char_key(13)});
        }
    };
    EXPECT_EQ(read_console_line(1), "ab");
    EXPECT_EQ(screen_text(0), "ab");
}

TEST_F(LineEditor, PromptShowsTextAndQuestionAndTheAnswerIsTheNextField) {
    use_screen(40, 5);
    script({"42", kEnter});
    prompt_input("Spindeldrehzahl ", -1, -1);
    EXPECT_EQ(screen_text(0), "Spindeldrehzahl ? 42");
    EXPECT_EQ(cursor_position().row, 2);
    EXPECT_EQ(cursor_position().column, 1);
    std::int32_t value = 0;
    read_int_field(value);
    EXPECT_EQ(value, 42);

    script({"-7", kEnter});
    prompt_input("", -1, -1);
    EXPECT_EQ(screen_text(1), "? -7");
    std::string text;
    read_string_field(text);
    EXPECT_EQ(text, "-7");
    EXPECT_EQ(last_error(), 0);
}

TEST_F(LineEditor, PromptWithoutAKeyboardShowsNothingAndReadsTheConsoleChannel) {
    test::scripted_keys().console = false;
    prompt_input("Spindeldrehzahl ", -1, -1);
    EXPECT_EQ(shown(), "");
    EXPECT_EQ(input_source().channel, &console_channel());
    EXPECT_NE(console_channel().ops->read, nullptr);
}

TEST_F(LineEditor, ConsoleChannelReadsKeysAsBytes) {
    install_console_read();
    push(char_key('a'));
    push(key(0x70, 0x3B, 0));  // F1
    push(char_key('b'));
    EXPECT_EQ(read_bytes(2, 0), "a\xff");
    EXPECT_EQ(read_bytes(2, 0), std::string("\x3b"
                                            "b"));
    EXPECT_EQ(shown(), "");  // not echoed
}

}  // namespace
}  // namespace cncsend
