#pragma once
// Key event seam: where the keyboard layer gets its key events from. The
// records are shaped after console input records, so the translation into
// key codes is written once and runs unchanged on every backend and
// against the scripted events of the tests.

#include <cstdint>

namespace cncsend {

// Control-key state bits of a key event.
enum ControlKeyState : std::uint32_t {
    RightAltPressed = 0x1,
    LeftAltPressed = 0x2,
    RightCtrlPressed = 0x4,
    LeftCtrlPressed = 0x8,
    ShiftPressed = 0x10,
    EnhancedKey = 0x100,
};

struct KeyEvent {
    bool key_down;
    std::uint16_t repeat_count;
    std::uint16_t virtual_key;
    std::uint16_t scan_code;      // PC scan code set 1
    unsigned char character;      // in the console's input code page, 0 if none
    std::uint32_t control_state;  // ControlKeyState bits
};

enum class InputEventType : std::int32_t { Key = 1, Mouse = 2, Other = 3 };

struct InputEvent {
    InputEventType type;
    KeyEvent key;  // meaningful for Key events only
};

// Notification events, numbered as the system numbers them.
enum NotificationEvent : std::uint32_t {
    CtrlCEvent = 0,
    CtrlBreakEvent = 1,
    CloseEvent = 2,
    LogoffEvent = 5,
    ShutdownEvent = 6,
};

// May be called from a signal handler: it must do only what is safe there.
using NotificationHandler = bool (*)(std::uint32_t event_type);

struct KeyEventOps {
    // True when standard input is a keyboard that delivers key events.
    bool (*input_is_console)();
    // Copies the next waiting event without taking it; false when none
    // waits or input is no console.
    bool (*peek_event)(InputEvent* event);
    // Takes the next waiting event; false when none waits.
    bool (*read_event)(InputEvent* event);
    // Installs (add) or removes the handler for window-close, log-off and
    // shutdown notifications; true on success.
    bool (*set_notification_handler)(NotificationHandler handler, bool add);
    // Blocks until input may be ready or the time has passed; never past
    // the moment held input must be decided.
    void (*wait_for_input)(std::uint32_t milliseconds);
    // Milliseconds until the source decides on its own what input it holds
    // undecided means (a lone ESC may still be the start of a key
    // sequence): 0 when that is due now, -1 when nothing is held. Events
    // are peeked or read again after that time to get the decision.
    int (*decision_due_ms)();
    // Keyboard layout: map type 0 gives a virtual key's scan code, map type
    // 2 the character the key gives without modifiers (0 for none).
    std::uint32_t (*map_virtual_key)(std::uint32_t code, std::uint32_t map_type);
    // The virtual key (low byte) and the shift state (high byte: 1 Shift,
    // 2 Ctrl, 4 Alt) that type a character; -1 when no key types it.
    std::int16_t (*scan_character)(unsigned char character);
};

const KeyEventOps& key_event_ops();
// Installs another table (nullptr brings back the native one).
void set_key_event_ops(const KeyEventOps* ops);

// The native backend's table.
const KeyEventOps& native_key_event_ops();

// A US keyboard layout, for backends whose keys are not real key presses.
std::uint32_t us_layout_map_virtual_key(std::uint32_t code, std::uint32_t map_type);
std::int16_t us_layout_scan_character(unsigned char character);

}  // namespace cncsend
