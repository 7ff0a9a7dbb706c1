#pragma once
// Comm device seam: what the serial channel needs of a serial line. The
// records are shaped after the serial algorithms (queue sizes, time-outs in
// milliseconds, a DCB-like line settings record, modem status bits), so the
// channel code is written once and runs on every backend and on test doubles.

#include <cstddef>
#include <cstdint>
#include <string>

namespace cncsend {

// Handle of an open comm device; kInvalidCommHandle when none.
using CommHandle = std::intptr_t;
constexpr CommHandle kInvalidCommHandle = -1;

// Access rights asked for at open (bit set; 0 asks for none).
enum CommAccess : unsigned { CommRead = 1, CommWrite = 2 };

struct CommProperties {
    std::uint32_t current_rx_queue;
    std::uint32_t max_rx_queue;
    std::uint32_t current_tx_queue;
    std::uint32_t max_tx_queue;
};

// Read time-outs: a read_interval with both totals 0 waits without limit for
// the first byte and then ends at a gap longer than read_interval.
struct CommTimeouts {
    std::uint32_t read_interval;
    std::uint32_t read_total_multiplier;
    std::uint32_t read_total_constant;
    std::uint32_t write_total_multiplier;
    std::uint32_t write_total_constant;
};

enum class LineParity : std::uint8_t { None = 0, Odd = 1, Even = 2, Mark = 3, Space = 4 };
enum class LineStopBits : std::uint8_t { One = 0, OneAndHalf = 1, Two = 2 };
enum class DtrControl : std::uint8_t { Disable = 0, Enable = 1, Handshake = 2 };
enum class RtsControl : std::uint8_t { Disable = 0, Enable = 1, Handshake = 2, Toggle = 3 };

// Line settings, field for field what a comm driver keeps.
struct LineSettings {
    std::uint32_t baud_rate;
    std::uint8_t byte_size;
    LineParity parity;
    LineStopBits stop_bits;
    bool binary;
    bool parity_check;
    bool outx_cts_flow;
    bool outx_dsr_flow;
    DtrControl dtr_control;
    bool dsr_sensitivity;
    bool tx_continue_on_xoff;
    bool out_x;
    bool in_x;
    bool error_char_enabled;
    bool null_strip;
    RtsControl rts_control;
    bool abort_on_error;
    std::uint16_t xon_limit;
    std::uint16_t xoff_limit;
    char xon_char;
    char xoff_char;
    char error_char;
    char eof_char;
    char event_char;
};

// Modem status bits.
enum ModemStatus : std::uint32_t {
    ModemCts = 0x10,
    ModemDsr = 0x20,
    ModemRing = 0x40,
    ModemCarrierDetect = 0x80,
};

// What wait_ready found (bit set).
enum WaitReady : int {
    WaitByteReady = 1,     // a received byte is waiting
    WaitConsoleInput = 2,  // the console has input
    WaitLineLost = 4,      // the line hung up or failed
    WaitTimedOut = 8,
};

struct CommOps {
    // Opens a device path ("COM1:", "COM5", "\\.\COM12" or a native path)
    // exclusively; kInvalidCommHandle when it is missing, busy or refused.
    CommHandle (*open)(const char* path, unsigned access);
    void (*close)(CommHandle handle);
    bool (*get_properties)(CommHandle handle, CommProperties* properties);
    bool (*setup_queues)(CommHandle handle, std::uint32_t rx_size, std::uint32_t tx_size);
    bool (*get_timeouts)(CommHandle handle, CommTimeouts* timeouts);
    bool (*set_timeouts)(CommHandle handle, const CommTimeouts* timeouts);
    bool (*get_line_settings)(CommHandle handle, LineSettings* settings);
    bool (*set_line_settings)(CommHandle handle, const LineSettings* settings);
    void (*raise_dtr)(CommHandle handle);
    bool (*modem_status)(CommHandle handle, std::uint32_t* status);
    bool (*bytes_waiting)(CommHandle handle, std::uint32_t* count);
    // One transfer of up to `wanted` bytes; *got is the count moved.
    bool (*read)(CommHandle handle, char* buffer, std::size_t wanted, std::size_t* got);
    // All bytes or failure.
    bool (*write)(CommHandle handle, const char* bytes, std::size_t count);
    // Blocks until a received byte or (when asked) console input is ready,
    // the line is lost, or timeout_ms passes (negative: no limit). Returns
    // WaitReady bits.
    int (*wait_ready)(CommHandle handle, bool watch_console_input, int timeout_ms);
    // The device a path stands for on this system, for messages to the
    // operator.
    std::string (*device_name)(const char* path);
    // The system's own words for the last open or setting that failed.
    std::string (*failure_reason)();
};

const CommOps& comm_ops();
// Installs another table (nullptr brings back the native one).
void set_comm_ops(const CommOps* ops);

// The native backend's table.
const CommOps& native_comm_ops();

}  // namespace cncsend
