// Process services of Windows: the performance counter (GetTickCount where
// the machine has none), Sleep, the module's file name, the x87 control word.

#include <float.h>
#include <windows.h>

#include <string>

#include "platform/process.hpp"

// The C runtime expands wildcards in the command line before main sees it,
// as a program started from the Windows command prompt expects.
extern "C" {
int _dowildcard = -1;
}

namespace cncsend {

namespace {

bool counter_frequency(std::int64_t* ticks_per_second) {
    LARGE_INTEGER frequency{};
    if (!QueryPerformanceFrequency(&frequency) || frequency.QuadPart <= 0) return false;
    *ticks_per_second = frequency.QuadPart;
    return true;
}

std::int64_t read_counter() {
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

std::uint32_t tick_count() {
    return GetTickCount();
}

void sleep_for(std::uint32_t milliseconds) {
    Sleep(milliseconds);
}

std::string executable_path() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(GetModuleHandleA(nullptr), path, sizeof path);
    // A full buffer means the name was cut short.
    if (n == 0 || n >= sizeof path) return {};
    return std::string(path, n);
}

const ProcessOps win32_ops = {counter_frequency, read_counter,    tick_count,
                              sleep_for,         executable_path, '\\'};

}  // namespace

const ProcessOps& native_process_ops() {
    return win32_ops;
}

void prepare_floating_point() {
#if defined(__i386__)
    // The x87 unit computes with its full 64-bit mantissa, rounding to nearest.
    _controlfp(_PC_64 | _RC_NEAR, _MCW_PC | _MCW_RC);
#else
    // SSE arithmetic has no precision control; rounding to nearest is all.
    _controlfp(_RC_NEAR, _MCW_RC);
#endif
}

}  // namespace cncsend
