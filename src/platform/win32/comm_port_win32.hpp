#pragma once
// An open comm port. The device is opened for overlapped I/O, so that a
// wait on the line can be one of the objects a thread waits on together
// with the console; reads and writes still complete before they return.
// At most one line wait is pending at a time, and it is cancelled before
// every read, write and close.

#include <windows.h>

#include <cstddef>

#include "platform/comm.hpp"

namespace cncsend {

// How the line is waited on. A port whose driver cannot wait for comm
// events (Wine's on a pseudo-terminal aborts every WaitCommEvent at once,
// as the device has no modem lines) is waited on by reading one byte ahead.
enum class LineWaitKind { CommEvent, ReadAhead };

// What starting or finishing a line wait gave.
enum class LineWait {
    Pending,  // in progress: port.wait.hEvent is signalled when it ends
    Done,     // ended: look at the line again
    Empty,    // a read-ahead ended with no byte (the device's read time-outs)
    Failed,   // the line is lost
};

struct Win32Port {
    HANDLE file;
    HANDLE transfer_done;  // event of the reads and writes
    OVERLAPPED wait;       // the line wait, with an event of its own
    DWORD events;          // what WaitCommEvent reported
    bool wait_pending;
    LineWaitKind wait_kind;
    bool holding;  // the read-ahead took `held` off the line
    char held;
};

Win32Port& port_of(CommHandle handle);

// Opens a device exclusively; nullptr with the system's error code set
// (GetLastError) on failure.
Win32Port* open_port(const char* path, DWORD rights);
void close_port(Win32Port* port);

LineWait start_line_wait(Win32Port& port);
// After the wait's event was signalled.
LineWait finish_line_wait(Win32Port& port);
void cancel_line_wait(Win32Port& port);

bool port_read(Win32Port& port, char* buffer, std::size_t wanted, std::size_t* got);
bool port_write(Win32Port& port, const char* bytes, std::size_t count);
// Received bytes waiting, the byte read ahead included; false when the
// device no longer answers.
bool port_bytes_waiting(Win32Port& port, std::uint32_t* count);

// The comm seam's wait_ready.
int comm_wait_ready(CommHandle handle, bool watch_console_input, int timeout_ms);

}  // namespace cncsend
