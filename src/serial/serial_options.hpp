#pragma once
// The serial options string: "com1:9600,n,8,1,RS,DS0,CS0,CD0" names a port
// and all of its line settings in one text.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace cncsend {

enum class SerialParity : std::int32_t { None = 0, Even = 1, Odd = 2, Space = 3, Mark = 4 };
enum class SerialStopBits : std::int32_t { One = 0, OneAndHalf = 1, Two = 2 };

struct SerialPort;

// The parsed options; also the device state of an open serial channel,
// which owns it and, through it, the open port.
struct SerialOptions {
    SerialPort* open_port = nullptr;
    std::string device_name;
    std::uint32_t port = 0;
    std::uint32_t baud_rate = 300;
    std::uint32_t data_bits = 7;
    SerialParity parity = SerialParity::Even;
    SerialStopBits stop_bits = SerialStopBits::One;
    std::uint32_t cts_timeout = 1000;
    std::uint32_t dsr_timeout = 1000;
    std::uint32_t cd_timeout = 0;
    std::uint32_t open_timeout = 0;
    std::int32_t rts_off = 0;
    std::int32_t text_mode = 0;
    std::int32_t parity_check = 0;
    std::int32_t dtr_enable = 0;
    std::int32_t fe_flag = 0;
    std::int32_t me_flag = 0;
    std::uint32_t ir_value = 0;
    std::uint32_t tx_queue_size = 0;
    std::uint32_t rx_queue_size = 0;
};

// The port number when the text names a serial device, else nothing.
std::optional<std::uint32_t> parse_serial_device_name(const char* text, std::size_t length);

// Device name, port and every item of the text into `options` (which starts
// from the defaults); 0, or 1 when the text does not fit the grammar.
int parse_serial_options(const char* text, std::size_t length, SerialOptions& options);

}  // namespace cncsend
