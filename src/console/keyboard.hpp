#pragma once
// The keyboard: key events become key codes in a queue, from which the
// program takes one key at a time without waiting.
//
// Key code: 0 to 255 a character byte; an extended key x is (x << 8) | 255
// and travels as the two bytes 255 and x; -1 is no key.

#include <cstdint>
#include <string>

#include "platform/keys.hpp"

namespace cncsend {

constexpr std::int32_t kNoKey = -1;
constexpr std::uint32_t kKeyQueueSlots = 512;

constexpr std::int32_t extended_key(std::uint32_t x) {
    return static_cast<std::int32_t>(((x & 0xFF) << 8) | 0xFF);
}

struct KeySlot {
    std::int32_t code;
    KeyEvent event;  // the event the key came from
};

// A ring; head == tail is empty, so at most 511 keys wait and an addition
// to a full ring drops the oldest.
struct KeyQueue {
    KeySlot slots[kKeyQueueSlots];
    std::uint32_t head;
    std::uint32_t tail;
};

struct KeyboardState {
    KeyQueue queue;
    bool key_arrived;
    std::uint32_t alt_number;  // the Alt+keypad number being typed, 0 when none
    bool pumped;               // pump_console_input has run
    bool handler_installed;
};

KeyboardState& keyboard_state();
// Empties the queue and forgets the Alt number; for tests.
void reset_keyboard_state();

void key_queue_add(KeyQueue& queue, std::int32_t code, const KeyEvent& event);
std::uint32_t key_queue_count(const KeyQueue& queue);

std::int32_t translate_key(const KeyEvent& event);
void pump_console_input();

// Empty when no key waits; else one byte, or 255 and x for an extended key.
std::string poll_key();
// True when a key waits; the key stays queued.
bool key_available();

// True when keys can arrive at all: standard input is a keyboard.
bool keyboard_present();
// True when the program already holds keys, or input that is not yet
// decided (a lone ESC): poll_key has something to look at without new input.
bool keys_held();
// Milliseconds until the keyboard decides held input on its own; -1 when
// it holds nothing undecided. A wait for other things ends by then.
int key_decision_due_ms();
// Waits until held input is decided: more input came, or its time is up.
// Returns at once when nothing is held.
void wait_for_key_decision();

// Called by the system, perhaps from a signal handler: a window close,
// log-off or shutdown queues the extended key 6B (Alt+F4) and is handled;
// Ctrl+C, Ctrl+Break and anything else are left to the system.
bool console_ctrl_handler(std::uint32_t event_type);

}  // namespace cncsend
