#include "scripted_keys.hpp"

namespace cncsend::test {

namespace {

ScriptedKeys script;

bool is_console() {
    return script.console;
}

bool peek(InputEvent* event) {
    if (!script.console || script.events.empty()) return false;
    *event = script.events.front();
    return true;
}

bool read(InputEvent* event) {
    if (!peek(event)) return false;
    script.events.pop_front();
    return true;
}

bool set_handler(NotificationHandler handler, bool add) {
    script.handler = add ? handler : nullptr;
    return true;
}

void wait(std::uint32_t) {
    ++script.waits;
    if (script.on_wait) {
        script.on_wait(script);
    } else if (script.events.empty()) {
        script.ran_dry = true;
        script.events.push_back(InputEvent{InputEventType::Key, char_key(13)});
    }
}

int decision_due() {
    return script.decision_due_ms;
}

const KeyEventOps scripted_ops = {is_console,
                                  peek,
                                  read,
                                  set_handler,
                                  wait,
                                  decision_due,
                                  us_layout_map_virtual_key,
                                  us_layout_scan_character};

}  // namespace

ScriptedKeys& scripted_keys() {
    return script;
}

ScriptedKeyboard::ScriptedKeyboard() {
    script = ScriptedKeys{};
    set_key_event_ops(&scripted_ops);
    reset_keyboard_state();
}

ScriptedKeyboard::~ScriptedKeyboard() {
    reset_keyboard_state();
    set_key_event_ops(nullptr);
}

KeyEvent key(std::uint16_t virtual_key, std::uint16_t scan, unsigned char character,
             std::uint32_t state, bool down) {
    return KeyEvent{down, 1, virtual_key, scan, character, state};
}

KeyEvent char_key(unsigned char character) {
    const std::int16_t typed = us_layout_scan_character(character);
    if (typed < 0) return key(0, 0, character);
    const auto virtual_key = static_cast<std::uint16_t>(typed & 0xFF);
    const std::uint32_t state = (typed & 0x100) ? std::uint32_t{ShiftPressed} : 0u;
    return key(virtual_key, static_cast<std::uint16_t>(us_layout_map_virtual_key(virtual_key, 0)),
               character, state);
}

KeyEvent block_key(std::uint16_t scan) {
    std::uint16_t virtual_key = 0;
    switch (scan) {
        case 0x47:
            virtual_key = 0x24;
            break;
        case 0x48:
            virtual_key = 0x26;
            break;
        case 0x4B:
            virtual_key = 0x25;
            break;
        case 0x4D:
            virtual_key = 0x27;
            break;
        case 0x4F:
            virtual_key = 0x23;
            break;
        case 0x50:
            virtual_key = 0x28;
            break;
        case 0x53:
            virtual_key = 0x2E;
            break;
        default:
            break;
    }
    return key(virtual_key, scan, 0, EnhancedKey);
}

void push(const KeyEvent& event) {
    script.events.push_back(InputEvent{InputEventType::Key, event});
}

void push_text(const char* text) {
    for (; *text; ++text) push(char_key(static_cast<unsigned char>(*text)));
}

void push_keys(std::initializer_list<KeyEvent> events) {
    for (const KeyEvent& event : events) push(event);
}

}  // namespace cncsend::test
