// The reply wait: one blocking wait on the line and the console input
// together, so that a job that waits for a slow line costs no wake-ups.

#include <windows.h>

#include "platform/comm.hpp"
#include "platform/win32/comm_port_win32.hpp"
#include "platform/win32/console_handles.hpp"

namespace cncsend {

namespace {

// A read-ahead that the device's own read time-outs end with no byte is
// not repeated at once, which would spin; the program leaves the time-outs
// as the device has them, and with none set this never happens.
constexpr DWORD kEmptyReadPauseMs = 10;

int line_state(Win32Port& port) {
    std::uint32_t waiting = 0;
    if (!port_bytes_waiting(port, &waiting)) return WaitLineLost;
    return waiting > 0 ? WaitByteReady : 0;
}

// Milliseconds left of timeout_ms since start; INFINITE without a limit.
DWORD time_left(ULONGLONG start, int timeout_ms) {
    if (timeout_ms < 0) return INFINITE;
    const ULONGLONG elapsed = GetTickCount64() - start;
    const auto limit = static_cast<ULONGLONG>(timeout_ms);
    return elapsed >= limit ? 0 : static_cast<DWORD>(limit - elapsed);
}

}  // namespace

int comm_wait_ready(CommHandle handle, bool watch_console_input, int timeout_ms) {
    // The console is asked only through its handle's wait state: under Wine
    // every question to the console is a round trip to another process.
    Win32Port& port = port_of(handle);
    const HANDLE console = console_input_handle();
    const DWORD count = watch_console_input ? 2 : 1;
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        int ready = line_state(port);
        // A quick controller has its reply there before every wait: the
        // keyboard is looked at all the same, or Escape would never count.
        if (ready == WaitByteReady && watch_console_input &&
            WaitForSingleObject(console, 0) == WAIT_OBJECT_0)
            ready |= WaitConsoleInput;
        if (ready != 0) return ready;
        if (!port.wait_pending) {
            const LineWait wait = start_line_wait(port);
            if (wait == LineWait::Failed) return WaitLineLost;
            // Ended at once, what it found is on the line now; begun, a byte
            // that came before it began raises no event: look again first.
            if (wait != LineWait::Empty) continue;
            const DWORD left = time_left(start, timeout_ms);
            const DWORD pause = left < kEmptyReadPauseMs ? left : kEmptyReadPauseMs;
            if (!watch_console_input)
                Sleep(pause);
            else if (WaitForSingleObject(console, pause) == WAIT_OBJECT_0)
                return WaitConsoleInput;
            if (pause == left) return WaitTimedOut;
            continue;
        }
        const HANDLE objects[2] = {port.wait.hEvent, console};
        const DWORD woke =
            WaitForMultipleObjects(count, objects, FALSE, time_left(start, timeout_ms));
        if (woke == WAIT_TIMEOUT) return WaitTimedOut;
        if (woke == WAIT_OBJECT_0 + 1) return WaitConsoleInput;
        if (woke != WAIT_OBJECT_0) return WaitLineLost;
        if (finish_line_wait(port) == LineWait::Failed) return WaitLineLost;
    }
}

}  // namespace cncsend
