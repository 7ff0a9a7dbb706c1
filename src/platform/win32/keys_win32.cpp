// Key events of the Windows console: its input records, passed through as
// they come, and its control handler for window close, log-off and
// shutdown.

#include <windows.h>

#include <atomic>

#include "platform/keys.hpp"
#include "platform/win32/console_handles.hpp"

namespace cncsend {

namespace {

bool handles_acquired = false;
HANDLE input_handle = nullptr;
HANDLE output_handle = nullptr;

void acquire_handles() {
    if (handles_acquired) return;
    handles_acquired = true;
    input_handle = GetStdHandle(STD_INPUT_HANDLE);
    output_handle = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (input_handle != nullptr && GetConsoleMode(input_handle, &mode))
        SetConsoleMode(input_handle, mode | ENABLE_PROCESSED_INPUT);
}

std::atomic<NotificationHandler> notification_handler{nullptr};

BOOL WINAPI on_console_event(DWORD event_type) {
    const NotificationHandler handler = notification_handler.load();
    return handler != nullptr && handler(event_type) ? TRUE : FALSE;
}

InputEvent from_record(const INPUT_RECORD& record) {
    InputEvent event{};
    if (record.EventType == MOUSE_EVENT) {
        event.type = InputEventType::Mouse;
        return event;
    }
    if (record.EventType != KEY_EVENT) {
        event.type = InputEventType::Other;
        return event;
    }
    const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
    event.type = InputEventType::Key;
    event.key.key_down = key.bKeyDown != FALSE;
    event.key.repeat_count = key.wRepeatCount;
    event.key.virtual_key = key.wVirtualKeyCode;
    event.key.scan_code = key.wVirtualScanCode;
    event.key.character = static_cast<unsigned char>(key.uChar.AsciiChar);
    event.key.control_state = key.dwControlKeyState;
    // Some consoles (Wine's) report Escape without its character; Windows
    // gives 27, which is what the program waits for.
    constexpr DWORD kAltCtrl =
        LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED | LEFT_CTRL_PRESSED | RIGHT_CTRL_PRESSED;
    if (key.wVirtualKeyCode == VK_ESCAPE && event.key.character == 0 &&
        !(key.dwControlKeyState & kAltCtrl))
        event.key.character = 27;
    return event;
}

// Asked before every reply wait: a console stays a console, so it is asked
// of the system once.
bool input_is_console() {
    static const bool console = [] {
        DWORD mode = 0;
        return GetConsoleMode(console_input_handle(), &mode) != FALSE;
    }();
    return console;
}

bool peek_event(InputEvent* event) {
    INPUT_RECORD record{};
    DWORD count = 0;
    if (!PeekConsoleInputA(console_input_handle(), &record, 1, &count) || count == 0) return false;
    *event = from_record(record);
    return true;
}

bool read_event(InputEvent* event) {
    // Only a waiting event is read, so the read never blocks.
    INPUT_RECORD record{};
    DWORD count = 0;
    const HANDLE in = console_input_handle();
    if (!PeekConsoleInputA(in, &record, 1, &count) || count == 0) return false;
    if (!ReadConsoleInputA(in, &record, 1, &count) || count == 0) return false;
    *event = from_record(record);
    return true;
}

bool set_notification_handler(NotificationHandler handler, bool add) {
    if (add) {
        notification_handler.store(handler);
        return SetConsoleCtrlHandler(on_console_event, TRUE) != FALSE;
    }
    NotificationHandler expected = handler;
    notification_handler.compare_exchange_strong(expected, nullptr);
    return SetConsoleCtrlHandler(on_console_event, FALSE) != FALSE;
}

void wait_for_input(std::uint32_t milliseconds) {
    // The console input handle is signalled while input waits.
    if (input_is_console())
        WaitForSingleObject(console_input_handle(), milliseconds);
    else
        Sleep(milliseconds);
}

std::uint32_t map_virtual_key(std::uint32_t code, std::uint32_t map_type) {
    return MapVirtualKeyA(code, map_type);
}

std::int16_t scan_character(unsigned char character) {
    return VkKeyScanA(static_cast<CHAR>(character));
}

// Console input arrives as whole key records: nothing waits for a decision.
int decision_due_ms() {
    return -1;
}

const KeyEventOps win32_key_ops = {
    input_is_console, peek_event,      read_event,      set_notification_handler,
    wait_for_input,   decision_due_ms, map_virtual_key, scan_character,
};

}  // namespace

HANDLE console_input_handle() {
    acquire_handles();
    return input_handle;
}

HANDLE console_output_handle() {
    acquire_handles();
    return output_handle;
}

const KeyEventOps& native_key_event_ops() {
    return win32_key_ops;
}

}  // namespace cncsend
