#include <gtest/gtest.h>

#include <string>

#include "console/keyboard.hpp"
#include "scripted_keys.hpp"

namespace cncsend {
namespace {

using test::block_key;
using test::char_key;
using test::key;
using test::push;
using test::ScriptedKeyboard;

constexpr std::uint32_t kAlt = LeftAltPressed;
constexpr std::uint32_t kCtrl = LeftCtrlPressed;
constexpr std::uint32_t kShift = ShiftPressed;
constexpr std::uint32_t kEnh = EnhancedKey;

struct TranslateCase {
    const char* name;
    KeyEvent event;
    std::int32_t code;
};

TEST(TranslateKey, KeysGiveTheirCodes) {
    ScriptedKeyboard keyboard;  // the US layout answers the layout questions
    const TranslateCase cases[] = {
        {"F1", key(0x70, 0x3B, 0), extended_key(0x3B)},
        {"Shift+F1", key(0x70, 0x3B, 0, kShift), extended_key(0x54)},
        {"Ctrl+F10", key(0x79, 0x44, 0, kCtrl), extended_key(0x67)},
        {"Alt+F1", key(0x70, 0x3B, 0, kAlt), extended_key(0x68)},
        {"F11", key(0x7A, 0x57, 0), extended_key(0x85)},
        {"Alt+F12", key(0x7B, 0x58, 0, kAlt), extended_key(0x8C)},
        {"Alt+A", key(0x41, 0x1E, 'a', kAlt), extended_key(0x1E)},
        {"Alt+Shift+A with its capital", key(0x41, 0x1E, 'A', kAlt | kShift), extended_key(0x1E)},
        {"Alt+1", key(0x31, 0x02, '1', kAlt), extended_key(0x78)},
        {"Alt+Backspace", key(0x08, 0x0E, 8, kAlt), extended_key(0xE0)},
        {"Alt+Esc", key(0x1B, 0x01, 27, kAlt), extended_key(0x01)},
        {"Ctrl+A", key(0x41, 0x1E, 1, kCtrl), 1},
        {"a", key(0x41, 0x1E, 'a'), 'a'},
        {"Shift+a", key(0x41, 0x1E, 'A', kShift), 'A'},
        {"Esc", key(0x1B, 0x01, 27), 27},
        {"Enter", key(0x0D, 0x1C, 13), 13},
        {"Ctrl+Enter", key(0x0D, 0x1C, 10, kCtrl), 10},
        {"Tab", key(0x09, 0x0F, 9), 9},
        {"Shift+Tab", key(0x09, 0x0F, 9, kShift), extended_key(0x0F)},
        {"Ctrl+Tab", key(0x09, 0x0F, 9, kCtrl), extended_key(0x94)},
        {"Up of the block", key(0x26, 0x48, 0, kEnh), extended_key(0x48)},
        {"Left of the block", key(0x25, 0x4B, 0, kEnh), extended_key(0x4B)},
        {"Right of the block", key(0x27, 0x4D, 0, kEnh), extended_key(0x4D)},
        {"Down of the block", key(0x28, 0x50, 0, kEnh), extended_key(0x50)},
        {"Ctrl+Up of the block", key(0x26, 0x48, 0, kEnh | kCtrl), extended_key(0x8D)},
        {"Alt+Delete of the block", key(0x2E, 0x53, 0, kEnh | kAlt), extended_key(0xA3)},
        {"keypad 8, Num Lock off", key(0x26, 0x48, 0), extended_key(0x48)},
        {"keypad 8, Num Lock on", key(0x68, 0x48, '8'), '8'},
        {"Ctrl+keypad 5", key(0x0C, 0x4C, 0, kCtrl), extended_key(0x8F)},
        {"keypad Enter", key(0x0D, 0x1C, 13, kEnh), 13},
        {"Ctrl+keypad Enter", key(0x0D, 0x1C, 0, kEnh | kCtrl), 10},
        {"Alt+keypad /", key(0x6F, 0x35, 0, kEnh | kAlt), extended_key(0xA4)},
        {"enhanced key not in the table", key(0x5B, 0x5B, 0, kEnh), kNoKey},
        {"Shift alone", key(0x10, 0x2A, 0, kShift), kNoKey},
        {"Ctrl alone", key(0x11, 0x1D, 0, kCtrl), kNoKey},
        {"scan above the table", key(0, 0x70, 0x84), 0x84},
        {"umlaut", key(0, 0, 0x84), 0x84},
    };
    for (const TranslateCase& c : cases) EXPECT_EQ(translate_key(c.event), c.code) << c.name;
}

std::string taken_keys() {
    std::string all;
    for (std::string k = poll_key(); !k.empty(); k = poll_key()) all += k;
    return all;
}

TEST(PollKey, KeysComeOutAsOneOrTwoBytes) {
    ScriptedKeyboard keyboard;
    EXPECT_EQ(poll_key(), "");
    EXPECT_FALSE(key_available());
    push(key(0x1B, 0x01, 27));
    push(key(0x70, 0x3B, 0));
    push(block_key(0x48));
    push(key(0x26, 0x48, 0));  // keypad 8, Num Lock off
    EXPECT_TRUE(key_available());
    EXPECT_TRUE(key_available());  // looking does not take
    EXPECT_EQ(poll_key(), "\x1b");
    EXPECT_EQ(taken_keys(), "\xff\x3b\xff\x48\xff\x48");
    EXPECT_FALSE(keyboard_state().key_arrived);
}

TEST(PollKey, KeyUpShiftAloneMouseAndZeroRepeatQueueNothing) {
    ScriptedKeyboard keyboard;
    push(key(0x10, 0x2A, 0, kShift));
    push(key(0x10, 0x2A, 0, 0, false));
    push(key(0x41, 0x1E, 'a', 0, false));
    KeyEvent no_repeat = char_key('b');
    no_repeat.repeat_count = 0;
    push(no_repeat);
    test::scripted_keys().events.push_back(InputEvent{InputEventType::Mouse, char_key('c')});
    KeyEvent repeated = char_key('d');
    repeated.repeat_count = 3;  // one key per event, whatever the count
    push(repeated);
    EXPECT_EQ(taken_keys(), "d");
    EXPECT_TRUE(test::scripted_keys().events.empty());
}

TEST(AltNumber, KeypadDigitsWithAltGiveOneByteAtTheRelease) {
    ScriptedKeyboard keyboard;
    auto digit = [](int d, bool down) { return key(0x60 + d, 0x52, 0, kAlt, down); };
    const KeyEvent alt_up = key(0x12, 0x38, 0, 0, false);
    for (int d : {3, 0, 0}) {
        push(digit(d, true));
        push(digit(d, false));  // still holding Alt: nothing yet
    }
    EXPECT_EQ(poll_key(), "");
    push(alt_up);
    EXPECT_EQ(poll_key(), std::string(1, 44));  // 300 & 255

    for (int d : {2, 5, 6}) push(digit(d, true));
    push(alt_up);
    EXPECT_EQ(poll_key(), std::string(1, '\0'));
    EXPECT_EQ(keyboard_state().alt_number, 0u);

    // Another key with Alt drops the number; a plain key does too.
    push(digit(6, true));
    push(key(0x41, 0x1E, 'a', kAlt));
    push(alt_up);
    push(digit(6, true));
    push(char_key('x'));
    push(alt_up);
    EXPECT_EQ(taken_keys(), "\xff\x1ex");
}

TEST(KeyQueueTest, AFullQueueKeepsTheLast511InOrder) {
    ScriptedKeyboard keyboard;
    for (int i = 0; i < 600; ++i) push(key(0, 0x70, static_cast<unsigned char>(1 + i % 250)));
    EXPECT_TRUE(key_available());
    EXPECT_EQ(key_queue_count(keyboard_state().queue), 511u);
    for (int i = 600 - 511; i < 600; ++i)
        ASSERT_EQ(poll_key(), std::string(1, static_cast<char>(1 + i % 250))) << i;
    EXPECT_EQ(poll_key(), "");
}

TEST(CtrlHandler, WindowCloseQueuesAltF4AndCtrlCIsLeftToTheSystem) {
    ScriptedKeyboard keyboard;
    EXPECT_EQ(poll_key(), "");
    ASSERT_EQ(test::scripted_keys().handler, &console_ctrl_handler);  // installed by the pump
    EXPECT_FALSE(console_ctrl_handler(CtrlCEvent));
    EXPECT_FALSE(console_ctrl_handler(CtrlBreakEvent));
    EXPECT_EQ(poll_key(), "");
    for (std::uint32_t event : {CloseEvent, LogoffEvent, ShutdownEvent})
        EXPECT_TRUE(console_ctrl_handler(event));
    EXPECT_EQ(taken_keys(), "\xff\x6b\xff\x6b\xff\x6b");
}

TEST(Console, NoConsoleGivesNoKeys) {
    ScriptedKeyboard keyboard;
    test::scripted_keys().console = false;
    push(char_key('a'));
    EXPECT_EQ(poll_key(), "");
    EXPECT_FALSE(key_available());
}

}  // namespace
}  // namespace cncsend
