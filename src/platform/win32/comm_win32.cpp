// The comm device over the Windows communications API: a port opened
// exclusively, its queues, time-outs, DCB and modem lines.

#include <windows.h>

#include <string>

#include "platform/comm.hpp"
#include "platform/win32/comm_port_win32.hpp"

namespace cncsend {

namespace {

// The system's error code of the last open or setting that failed.
DWORD last_failure = 0;

bool failed() {
    last_failure = GetLastError();
    return false;
}

HANDLE handle_of(CommHandle handle) {
    return port_of(handle).file;
}

CommHandle comm_open(const char* path, unsigned access) {
    DWORD rights = 0;
    if (access & CommRead) rights |= GENERIC_READ;
    if (access & CommWrite) rights |= GENERIC_WRITE;
    last_failure = 0;
    Win32Port* port = open_port(path, rights);
    if (!port) {
        failed();
        return kInvalidCommHandle;
    }
    return reinterpret_cast<CommHandle>(port);
}

void comm_close(CommHandle handle) {
    close_port(&port_of(handle));
}

bool comm_get_properties(CommHandle handle, CommProperties* properties) {
    COMMPROP prop{};
    if (!GetCommProperties(handle_of(handle), &prop)) return failed();
    *properties = CommProperties{prop.dwCurrentRxQueue, prop.dwMaxRxQueue, prop.dwCurrentTxQueue,
                                 prop.dwMaxTxQueue};
    return true;
}

bool comm_setup_queues(CommHandle handle, std::uint32_t rx_size, std::uint32_t tx_size) {
    return SetupComm(handle_of(handle), rx_size, tx_size) ? true : failed();
}

bool comm_get_timeouts(CommHandle handle, CommTimeouts* timeouts) {
    COMMTIMEOUTS t{};
    if (!GetCommTimeouts(handle_of(handle), &t)) return failed();
    *timeouts = CommTimeouts{t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier,
                             t.ReadTotalTimeoutConstant, t.WriteTotalTimeoutMultiplier,
                             t.WriteTotalTimeoutConstant};
    return true;
}

bool comm_set_timeouts(CommHandle handle, const CommTimeouts* timeouts) {
    COMMTIMEOUTS t{timeouts->read_interval, timeouts->read_total_multiplier,
                   timeouts->read_total_constant, timeouts->write_total_multiplier,
                   timeouts->write_total_constant};
    return SetCommTimeouts(handle_of(handle), &t) ? true : failed();
}

bool comm_get_line_settings(CommHandle handle, LineSettings* settings) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle_of(handle), &dcb)) return failed();
    LineSettings s{};
    s.baud_rate = dcb.BaudRate;
    s.byte_size = dcb.ByteSize;
    s.parity = static_cast<LineParity>(dcb.Parity);
    s.stop_bits = static_cast<LineStopBits>(dcb.StopBits);
    s.binary = dcb.fBinary != 0;
    s.parity_check = dcb.fParity != 0;
    s.outx_cts_flow = dcb.fOutxCtsFlow != 0;
    s.outx_dsr_flow = dcb.fOutxDsrFlow != 0;
    s.dtr_control = static_cast<DtrControl>(dcb.fDtrControl);
    s.dsr_sensitivity = dcb.fDsrSensitivity != 0;
    s.tx_continue_on_xoff = dcb.fTXContinueOnXoff != 0;
    s.out_x = dcb.fOutX != 0;
    s.in_x = dcb.fInX != 0;
    s.error_char_enabled = dcb.fErrorChar != 0;
    s.null_strip = dcb.fNull != 0;
    s.rts_control = static_cast<RtsControl>(dcb.fRtsControl);
    s.abort_on_error = dcb.fAbortOnError != 0;
    s.xon_limit = dcb.XonLim;
    s.xoff_limit = dcb.XoffLim;
    s.xon_char = dcb.XonChar;
    s.xoff_char = dcb.XoffChar;
    s.error_char = dcb.ErrorChar;
    s.eof_char = dcb.EofChar;
    s.event_char = dcb.EvtChar;
    *settings = s;
    return true;
}

bool comm_set_line_settings(CommHandle handle, const LineSettings* s) {
    // Read first, so that what the record does not hold (the reserved bits)
    // keeps the driver's value.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    const HANDLE h = handle_of(handle);
    if (!GetCommState(h, &dcb)) return failed();
    dcb.BaudRate = s->baud_rate;
    dcb.ByteSize = s->byte_size;
    dcb.Parity = static_cast<BYTE>(s->parity);
    dcb.StopBits = static_cast<BYTE>(s->stop_bits);
    dcb.fBinary = s->binary;
    dcb.fParity = s->parity_check;
    dcb.fOutxCtsFlow = s->outx_cts_flow;
    dcb.fOutxDsrFlow = s->outx_dsr_flow;
    dcb.fDtrControl = static_cast<DWORD>(s->dtr_control);
    dcb.fDsrSensitivity = s->dsr_sensitivity;
    dcb.fTXContinueOnXoff = s->tx_continue_on_xoff;
    dcb.fOutX = s->out_x;
    dcb.fInX = s->in_x;
    dcb.fErrorChar = s->error_char_enabled;
    dcb.fNull = s->null_strip;
    dcb.fRtsControl = static_cast<DWORD>(s->rts_control);
    dcb.fAbortOnError = s->abort_on_error;
    dcb.XonLim = s->xon_limit;
    dcb.XoffLim = s->xoff_limit;
    dcb.XonChar = s->xon_char;
    dcb.XoffChar = s->xoff_char;
    dcb.ErrorChar = s->error_char;
    dcb.EofChar = s->eof_char;
    dcb.EvtChar = s->event_char;
    return SetCommState(h, &dcb) ? true : failed();
}

void comm_raise_dtr(CommHandle handle) {
    // A port without modem lines refuses; the line works all the same.
    EscapeCommFunction(handle_of(handle), SETDTR);
}

bool comm_modem_status(CommHandle handle, std::uint32_t* status) {
    DWORD lines = 0;
    if (!GetCommModemStatus(handle_of(handle), &lines)) return false;
    *status = lines & (MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON);
    return true;
}

bool comm_bytes_waiting(CommHandle handle, std::uint32_t* count) {
    return port_bytes_waiting(port_of(handle), count);
}

bool comm_read(CommHandle handle, char* buffer, std::size_t wanted, std::size_t* got) {
    return port_read(port_of(handle), buffer, wanted, got);
}

bool comm_write(CommHandle handle, const char* bytes, std::size_t count) {
    return port_write(port_of(handle), bytes, count);
}

// On Windows the path is the device's own name.
std::string comm_device_name(const char* path) {
    return path;
}

std::string comm_failure_reason() {
    if (last_failure == 0) return {};
    char text[512];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             last_failure, 0, text, sizeof text, nullptr);
    if (n == 0) return "error " + std::to_string(last_failure);
    while (n > 0 &&
           (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == ' ' || text[n - 1] == '.'))
        --n;
    // The system's words come in the ANSI code page; the console shows OEM.
    CharToOemBuffA(text, text, n);
    return std::string(text, n);
}

const CommOps win32_comm_ops = {
    comm_open,         comm_close,        comm_get_properties,    comm_setup_queues,
    comm_get_timeouts, comm_set_timeouts, comm_get_line_settings, comm_set_line_settings,
    comm_raise_dtr,    comm_modem_status, comm_bytes_waiting,     comm_read,
    comm_write,        comm_wait_ready,   comm_device_name,       comm_failure_reason,
};

}  // namespace

const CommOps& native_comm_ops() {
    return win32_comm_ops;
}

}  // namespace cncsend
