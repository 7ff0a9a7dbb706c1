// The open comm port: overlapped transfers that complete before they
// return, and the one line wait that may run between them.

#include "platform/win32/comm_port_win32.hpp"

#include <new>

namespace cncsend {

namespace {

// A received byte wakes the wait; line errors do too, so that they are
// cleared (ClearCommError) while the port waits.
constexpr DWORD kLineEvents = EV_RXCHAR | EV_ERR;

HANDLE new_event() {
    return CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

// Waits for a transfer that did not end at once; *moved is the count.
bool finish_transfer(Win32Port& port, BOOL started, OVERLAPPED* transfer, DWORD* moved) {
    if (started) return true;
    if (GetLastError() != ERROR_IO_PENDING) return false;
    return GetOverlappedResult(port.file, transfer, moved, TRUE) != FALSE;
}

}  // namespace

Win32Port& port_of(CommHandle handle) {
    return *reinterpret_cast<Win32Port*>(handle);
}

Win32Port* open_port(const char* path, DWORD rights) {
    const HANDLE file =
        CreateFileA(path, rights, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    Win32Port* port = new (std::nothrow) Win32Port{};
    if (port) {
        port->file = file;
        port->transfer_done = new_event();
        port->wait.hEvent = new_event();
    }
    if (!port || !port->transfer_done || !port->wait.hEvent) {
        const DWORD error = port ? GetLastError() : ERROR_NOT_ENOUGH_MEMORY;
        close_port(port);
        if (!port) CloseHandle(file);
        SetLastError(error);
        return nullptr;
    }
    port->wait_kind =
        SetCommMask(file, kLineEvents) ? LineWaitKind::CommEvent : LineWaitKind::ReadAhead;
    return port;
}

void close_port(Win32Port* port) {
    if (!port) return;
    cancel_line_wait(*port);
    CloseHandle(port->file);
    if (port->transfer_done) CloseHandle(port->transfer_done);
    if (port->wait.hEvent) CloseHandle(port->wait.hEvent);
    delete port;
}

LineWait start_line_wait(Win32Port& port) {
    BOOL done = FALSE;
    DWORD got = 0;
    if (port.wait_kind == LineWaitKind::CommEvent) {
        port.events = 0;
        done = WaitCommEvent(port.file, &port.events, &port.wait);
    } else {
        done = ReadFile(port.file, &port.held, 1, &got, &port.wait);
    }
    if (!done) {
        if (GetLastError() == ERROR_IO_PENDING) {
            port.wait_pending = true;
            return LineWait::Pending;
        }
        if (port.wait_kind == LineWaitKind::ReadAhead) return LineWait::Failed;
        port.wait_kind = LineWaitKind::ReadAhead;
        return LineWait::Done;
    }
    if (port.wait_kind == LineWaitKind::CommEvent) return LineWait::Done;
    port.holding = got == 1;
    return port.holding ? LineWait::Done : LineWait::Empty;
}

LineWait finish_line_wait(Win32Port& port) {
    port.wait_pending = false;
    DWORD got = 0;
    if (GetOverlappedResult(port.file, &port.wait, &got, FALSE)) {
        if (port.wait_kind == LineWaitKind::CommEvent) return LineWait::Done;
        port.holding = got == 1;
        return port.holding ? LineWait::Done : LineWait::Empty;
    }
    // Nobody cancelled this wait: the driver gave it up. A device that is
    // gone fails the next look at the line; one that is still there cannot
    // wait for events, so read ahead from now on.
    if (port.wait_kind == LineWaitKind::CommEvent && GetLastError() == ERROR_OPERATION_ABORTED) {
        port.wait_kind = LineWaitKind::ReadAhead;
        return LineWait::Done;
    }
    return LineWait::Failed;
}

void cancel_line_wait(Win32Port& port) {
    if (!port.wait_pending) return;
    CancelIo(port.file);
    DWORD got = 0;
    const bool ended = GetOverlappedResult(port.file, &port.wait, &got, TRUE) != FALSE;
    port.wait_pending = false;
    // The read-ahead may have taken its byte before the cancel came.
    if (ended && port.wait_kind == LineWaitKind::ReadAhead && got == 1) port.holding = true;
}

bool port_read(Win32Port& port, char* buffer, std::size_t wanted, std::size_t* got) {
    cancel_line_wait(port);
    if (port.holding && wanted > 0) {
        // The byte read ahead is this read's whole result: one transfer
        // never waits for more.
        buffer[0] = port.held;
        port.holding = false;
        *got = 1;
        return true;
    }
    OVERLAPPED transfer{};
    transfer.hEvent = port.transfer_done;
    DWORD n = 0;
    const BOOL started = ReadFile(port.file, buffer, static_cast<DWORD>(wanted), &n, &transfer);
    if (!finish_transfer(port, started, &transfer, &n)) return false;
    *got = n;
    return true;
}

bool port_write(Win32Port& port, const char* bytes, std::size_t count) {
    cancel_line_wait(port);
    OVERLAPPED transfer{};
    transfer.hEvent = port.transfer_done;
    DWORD n = 0;
    const BOOL started = WriteFile(port.file, bytes, static_cast<DWORD>(count), &n, &transfer);
    return finish_transfer(port, started, &transfer, &n) && n == count;
}

bool port_bytes_waiting(Win32Port& port, std::uint32_t* count) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(port.file, &errors, &status)) return false;
    *count = status.cbInQue + (port.holding ? 1 : 0);
    return true;
}

}  // namespace cncsend
