#include "console/keyboard.hpp"

#include <array>
#include <atomic>
#include <cctype>
#include <cstdlib>

namespace cncsend {

namespace {

KeyboardState state{};
bool removal_registered = false;

// Window closes noted by console_ctrl_handler, which may run in a signal
// handler or on another thread; the program thread moves them into the
// queue, so the ring itself is only ever touched by one thread.
std::atomic<int> close_keys_pending{0};

enum ModifierClass { None = 0, Shift = 1, Ctrl = 2, Alt = 3 };

ModifierClass modifier_class(std::uint32_t control_state) {
    if (control_state & (RightAltPressed | LeftAltPressed)) return Alt;
    if (control_state & (RightCtrlPressed | LeftCtrlPressed)) return Ctrl;
    if (control_state & ShiftPressed) return Shift;
    return None;
}

// Table cells: -1 empty, 0 to 255 a character, kExt | x the extended key x.
constexpr std::int16_t kEmpty = -1;
constexpr std::int16_t kExt = 0x100;
constexpr std::int16_t X(int x) {
    return static_cast<std::int16_t>(kExt | x);
}

struct EnhancedRow {
    std::uint8_t scan;
    std::int16_t cells[4];  // none, Shift, Ctrl, Alt
};

constexpr EnhancedRow kEnhancedTable[] = {
    {0x1C, {13, 13, 10, X(0xA6)}},                 // keypad Enter
    {0x35, {47, 63, X(0x95), X(0xA4)}},            // keypad /
    {0x47, {X(0x47), X(0x47), X(0x77), X(0x97)}},  // Home
    {0x48, {X(0x48), X(0x48), X(0x8D), X(0x98)}},  // Up
    {0x49, {X(0x49), X(0x49), X(0x84), X(0x99)}},  // Page Up
    {0x4B, {X(0x4B), X(0x4B), X(0x73), X(0x9B)}},  // Left
    {0x4D, {X(0x4D), X(0x4D), X(0x74), X(0x9D)}},  // Right
    {0x4F, {X(0x4F), X(0x4F), X(0x75), X(0x9F)}},  // End
    {0x50, {X(0x50), X(0x50), X(0x91), X(0xA0)}},  // Down
    {0x51, {X(0x51), X(0x51), X(0x76), X(0xA1)}},  // Page Down
    {0x52, {X(0x52), X(0x52), X(0x92), X(0xA2)}},  // Insert
    {0x53, {X(0x53), X(0x53), X(0x93), X(0xA3)}},  // Delete
};

constexpr std::uint32_t kMainTableRows = 0x59;
using MainTable = std::array<std::array<std::int16_t, 4>, kMainTableRows>;

// The extended codes of the main table, by scan code and modifier class;
// the character cells never reach a result and are left empty.
constexpr MainTable make_main_table() {
    MainTable t{};
    for (auto& row : t) row = {kEmpty, kEmpty, kEmpty, kEmpty};
    t[0x01][Alt] = X(0x01);
    for (int s = 0x02; s <= 0x0D; ++s) t[s][Alt] = X(s + 0x76);  // digits, - and =
    t[0x03][Ctrl] = X(0x03);
    t[0x0E][Alt] = X(0xE0);
    t[0x0F] = {kEmpty, X(0x0F), X(0x94), X(0x0F)};
    for (int s = 0x10; s <= 0x1B; ++s) t[s][Alt] = X(s);
    t[0x1C][Alt] = X(0x1C);
    for (int s = 0x1E; s <= 0x29; ++s) t[s][Alt] = X(s);
    for (int s = 0x2C; s <= 0x35; ++s) t[s][Alt] = X(s);
    for (int s = 0x3B; s <= 0x44; ++s)  // F1 to F10
        t[s] = {X(s), X(s + 0x19), X(s + 0x23), X(s + 0x2D)};
    const std::uint8_t keypad[][2] = {{0x47, 0x77}, {0x48, 0x8D}, {0x49, 0x84}, {0x4B, 0x73},
                                      {0x4D, 0x74}, {0x4F, 0x75}, {0x50, 0x91}, {0x51, 0x76},
                                      {0x52, 0x92}, {0x53, 0x93}};
    for (const auto& key : keypad) {
        t[key[0]][None] = X(key[0]);
        t[key[0]][Ctrl] = X(key[1]);
    }
    t[0x4C] = {X(0x4C), kEmpty, X(0x8F), X(0x4C)};
    t[0x57] = {X(0x85), X(0x87), X(0x89), X(0x8B)};  // F11
    t[0x58] = {X(0x86), X(0x88), X(0x8A), X(0x8C)};  // F12
    return t;
}

constexpr MainTable kMainTable = make_main_table();

std::int32_t cell_code(std::int16_t cell) {
    if (cell & kExt) return extended_key(static_cast<std::uint32_t>(cell & 0xFF));
    return cell;
}

KeyEvent made_up_event(std::uint16_t virtual_key, std::uint32_t control_state,
                       unsigned char character) {
    KeyEvent event{};
    event.key_down = true;
    event.repeat_count = 1;
    event.virtual_key = virtual_key;
    event.scan_code = static_cast<std::uint16_t>(key_event_ops().map_virtual_key(virtual_key, 0));
    event.character = character;
    event.control_state = control_state;
    return event;
}

void add_key(std::int32_t code, const KeyEvent& event) {
    key_queue_add(state.queue, code, event);
    state.key_arrived = true;
}

void complete_alt_number() {
    if (state.alt_number == 0) return;
    const auto character = static_cast<unsigned char>(state.alt_number & 0xFF);
    const std::int16_t typed = key_event_ops().scan_character(character);
    std::uint16_t virtual_key = 0;
    std::uint32_t control_state = 0;
    if (typed != -1) {
        virtual_key = static_cast<std::uint16_t>(typed & 0xFF);
        if (typed & 0x100) control_state |= ShiftPressed;
        if (typed & 0x200) control_state |= LeftCtrlPressed;
        if (typed & 0x400) control_state |= LeftAltPressed;
    }
    add_key(character, made_up_event(virtual_key, control_state, character));
    state.alt_number = 0;
}

bool alt_alone(std::uint32_t control_state) {
    return (control_state & (RightAltPressed | LeftAltPressed)) &&
           !(control_state & (RightCtrlPressed | LeftCtrlPressed | ShiftPressed));
}

void key_event_step(const KeyEvent& event) {
    if (!event.key_down) {
        if (!alt_alone(event.control_state)) complete_alt_number();
        return;
    }
    const std::int32_t code = translate_key(event);
    if (!alt_alone(event.control_state)) {
        if (code == kNoKey) {
            complete_alt_number();
        } else {
            state.alt_number = 0;
            add_key(code, event);
        }
        return;
    }
    if (event.virtual_key >= 0x60 && event.virtual_key <= 0x69) {  // keypad digits
        state.alt_number = state.alt_number * 10 + (event.virtual_key - 0x60u);
        if (code != kNoKey) add_key(code, event);
    } else if (code != kNoKey) {
        state.alt_number = 0;
        add_key(code, event);
    }
}

void remove_ctrl_handler() {
    if (!state.handler_installed) return;
    key_event_ops().set_notification_handler(console_ctrl_handler, false);
    state.handler_installed = false;
}

std::int32_t next_key(bool take) {
    pump_console_input();
    KeyQueue& queue = state.queue;
    if (queue.head == queue.tail) return kNoKey;
    const std::int32_t code = queue.slots[queue.head].code;
    if (take) {
        queue.head = (queue.head + 1) & (kKeyQueueSlots - 1);
        pump_console_input();
        state.key_arrived = false;
    }
    return code;
}

}  // namespace

KeyboardState& keyboard_state() {
    return state;
}

void reset_keyboard_state() {
    remove_ctrl_handler();
    state = KeyboardState{};
    close_keys_pending.store(0);
}

void key_queue_add(KeyQueue& queue, std::int32_t code, const KeyEvent& event) {
    const std::uint32_t next = (queue.tail + 1) & (kKeyQueueSlots - 1);
    if (next == queue.head) queue.head = (queue.head + 1) & (kKeyQueueSlots - 1);
    queue.slots[queue.tail] = KeySlot{code, event};
    queue.tail = next;
}

std::uint32_t key_queue_count(const KeyQueue& queue) {
    return (queue.tail - queue.head) & (kKeyQueueSlots - 1);
}

std::int32_t translate_key(const KeyEvent& event) {
    const std::int32_t c = event.character;
    const std::uint32_t s = event.scan_code;
    const ModifierClass modifiers = modifier_class(event.control_state);
    if ((event.control_state & EnhancedKey) && c == 0) {
        for (const EnhancedRow& row : kEnhancedTable) {
            if (row.scan != s) continue;
            const std::int16_t cell = row.cells[modifiers];
            if (cell == kEmpty) return kNoKey;
            return cell_code(cell);
        }
        return kNoKey;
    }
    if (s >= kMainTableRows) return c != 0 ? c : kNoKey;
    const std::uint32_t k = key_event_ops().map_virtual_key(event.virtual_key, 2) & 0xFFFF;
    std::uint32_t swapped = k;
    if (k < 256 && std::isupper(static_cast<int>(k)))
        swapped = static_cast<std::uint32_t>(std::tolower(static_cast<int>(k)));
    else if (k < 256 && std::islower(static_cast<int>(k)))
        swapped = static_cast<std::uint32_t>(std::toupper(static_cast<int>(k)));
    // Without modifiers a key that gives a character is that character.
    const std::int16_t e = (modifiers == None && c != 0) ? kEmpty : kMainTable[s][modifiers];
    const auto character = static_cast<std::uint32_t>(c);
    if (e != kEmpty && (e & kExt) && (character == k || character == swapped)) return cell_code(e);
    return c != 0 ? c : kNoKey;
}

void pump_console_input() {
    const KeyEventOps& ops = key_event_ops();
    if (!state.pumped) {
        state.pumped = true;
        if (!removal_registered) {
            removal_registered = true;
            std::atexit(remove_ctrl_handler);
        }
        state.handler_installed = ops.set_notification_handler(console_ctrl_handler, true);
    }
    for (int closes = close_keys_pending.exchange(0); closes > 0; --closes)
        add_key(extended_key(0x6B), made_up_event(0x73, LeftAltPressed, 0));  // Alt+F4
    InputEvent event{};
    while (ops.peek_event(&event)) {
        if (!ops.read_event(&event)) break;
        if (event.type != InputEventType::Key) continue;
        if (event.key.key_down && event.key.repeat_count == 0) continue;
        key_event_step(event.key);
    }
}

std::string poll_key() {
    const std::int32_t code = next_key(true);
    if (code == kNoKey) return {};
    if (code <= 255) return std::string(1, static_cast<char>(code));
    return std::string{'\xFF', static_cast<char>((code >> 8) & 0xFF)};
}

bool key_available() {
    return next_key(false) != kNoKey;
}

bool keyboard_present() {
    return key_event_ops().input_is_console();
}

bool keys_held() {
    return key_queue_count(state.queue) != 0 || close_keys_pending.load() != 0 ||
           key_decision_due_ms() >= 0;
}

int key_decision_due_ms() {
    return key_event_ops().decision_due_ms();
}

void wait_for_key_decision() {
    const int due = key_decision_due_ms();
    if (due >= 0) key_event_ops().wait_for_input(static_cast<std::uint32_t>(due));
}

bool console_ctrl_handler(std::uint32_t event_type) {
    switch (event_type) {
        case CloseEvent:
        case LogoffEvent:
        case ShutdownEvent:
            close_keys_pending.fetch_add(1);
            return true;
        default:
            return false;
    }
}

}  // namespace cncsend
