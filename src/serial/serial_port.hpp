#pragma once
// The serial port as a kind of channel: opening and configuring the device,
// the modem-line checks, and the channel operations.

#include <cstdint>
#include <optional>
#include <string>

#include "channels/channel.hpp"
#include "platform/comm.hpp"
#include "serial/serial_options.hpp"

namespace cncsend {

// One per open serial channel, owned by its SerialOptions (open_port).
struct SerialPort {
    CommHandle handle;
    std::uint32_t port;  // the port opened: 1 when the options named port 0
    SerialOptions* options;
};

extern const ChannelOps SerialOps;

// Opens and configures the device; on success options.open_port holds the
// new port. Returns an error code.
int configure_serial_port(Channel& ch, std::uint32_t port, SerialOptions& options,
                          const std::string& device_name);

bool check_modem_lines(CommHandle handle, const SerialOptions& options);
bool wait_modem_status(CommHandle handle, std::uint32_t mask, std::uint32_t wanted,
                       std::uint32_t timeout_ms);

// Error code; on success `count` is the number of received bytes waiting.
int serial_bytes_waiting(const SerialPort& port, std::int64_t& count);

// The serial kind's opener: `name` is the whole options string.
int open_serial_device(Channel& ch, const char* name, std::size_t length);

int open_serial_channel(const std::string& options, ChannelMode mode, ChannelAccess access,
                        std::int32_t lock_mode, int number, std::int32_t record_length,
                        const std::optional<std::string>& encoding_name);

// Blocks until the serial channel has a byte to read, the console has input
// (when asked), the line is lost or timeout_ms passes (negative: no limit).
// Returns WaitReady bits; a number that is no open serial channel gives
// WaitLineLost at once.
int serial_wait_ready(int number, bool watch_console_input, int timeout_ms);

// What an operator needs to hear about a port that did not open: the port
// as the options name it ("COM1"), the device that stands for on this
// system, and the system's reason for the last failure (may be empty).
struct SerialOpenFailure {
    std::string port;
    std::string device;
    std::string reason;
};
SerialOpenFailure describe_serial_open_failure(const std::string& options);

}  // namespace cncsend
