#pragma once
// A keyboard that delivers a scripted list of events, installed through the
// key event seam.

#include <cstdint>
#include <deque>
#include <initializer_list>

#include "console/keyboard.hpp"
#include "platform/keys.hpp"

namespace cncsend::test {

struct ScriptedKeys {
    std::deque<InputEvent> events;
    bool console = true;
    NotificationHandler handler = nullptr;
    int waits = 0;
    // The script ran out while a key was awaited; an Enter was made up.
    bool ran_dry = false;
    // What the keyboard reports as the time left until it decides held input.
    int decision_due_ms = -1;
    // Called at every wait, e.g. to let keys arrive over time.
    void (*on_wait)(ScriptedKeys&) = nullptr;
};

ScriptedKeys& scripted_keys();

// Installs the scripted keyboard with no events and an empty key queue;
// the destructor brings back the native keyboard.
struct ScriptedKeyboard {
    ScriptedKeyboard();
    ~ScriptedKeyboard();
    ScriptedKeys& keys() { return scripted_keys(); }
};

KeyEvent key(std::uint16_t virtual_key, std::uint16_t scan, unsigned char character,
             std::uint32_t state = 0, bool down = true);
// The key down for a character on the US layout.
KeyEvent char_key(unsigned char character);
// Keys of the cursor block (enhanced): scan 47 Home, 4B Left, 4D Right,
// 4F End, 48 Up, 50 Down, 53 Delete.
KeyEvent block_key(std::uint16_t scan);

void push(const KeyEvent& event);
void push_text(const char* text);
void push_keys(std::initializer_list<KeyEvent> events);

}  // namespace cncsend::test
