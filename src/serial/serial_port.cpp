#include "serial/serial_port.hpp"

#include <memory>

#include "channels/open_channel.hpp"
#include "platform/timer.hpp"

namespace cncsend {

namespace {

constexpr std::uint32_t kDefaultQueueSize = 16384;
// Between two reads of the modem status; short against any time-out given.
constexpr std::uint32_t kModemPollMs = 2;

unsigned access_rights(ChannelAccess access) {
    switch (access) {
        case ChannelAccess::Default:
        case ChannelAccess::ReadWrite:
            return CommRead | CommWrite;
        case ChannelAccess::Read:
            return CommRead;
        case ChannelAccess::Write:
            return CommWrite;
        default:
            return 0;
    }
}

std::uint32_t queue_size(std::uint32_t asked, std::uint32_t current, std::uint32_t maximum) {
    if (asked != 0) return asked;
    if (current != 0) return current;
    if (maximum != 0) return maximum;
    return kDefaultQueueSize;
}

LineParity line_parity(SerialParity parity) {
    switch (parity) {
        case SerialParity::None:
            return LineParity::None;
        case SerialParity::Even:
            return LineParity::Even;
        case SerialParity::Odd:
            return LineParity::Odd;
        case SerialParity::Space:
            return LineParity::Space;
        case SerialParity::Mark:
            return LineParity::Mark;
    }
    return LineParity::None;
}

LineStopBits line_stop_bits(SerialStopBits stop_bits) {
    switch (stop_bits) {
        case SerialStopBits::OneAndHalf:
            return LineStopBits::OneAndHalf;
        case SerialStopBits::Two:
            return LineStopBits::Two;
        default:
            return LineStopBits::One;
    }
}

// Steps after the open: queues, time-outs, line settings. Returns the code
// of the first step that failed.
int configure_line(const CommOps& comm, CommHandle h, const SerialOptions& o) {
    CommProperties properties{};
    if (!comm.get_properties(h, &properties)) return SettingsUnreadable;
    if (!comm.setup_queues(
            h, queue_size(o.rx_queue_size, properties.current_rx_queue, properties.max_rx_queue),
            queue_size(o.tx_queue_size, properties.current_tx_queue, properties.max_tx_queue)))
        return InvalidCall;

    CommTimeouts timeouts{};
    if (!comm.get_timeouts(h, &timeouts)) return SettingsUnreadable;
    if (o.cts_timeout != 0) {
        timeouts.read_interval = o.cts_timeout;
        timeouts.read_total_multiplier = 0;
        timeouts.read_total_constant = 0;
    }
    if (!comm.set_timeouts(h, &timeouts)) return InvalidCall;

    LineSettings s{};
    if (!comm.get_line_settings(h, &s)) return SettingsUnreadable;
    s.baud_rate = o.baud_rate;
    s.byte_size = static_cast<std::uint8_t>(o.data_bits & 0xFF);
    s.parity = line_parity(o.parity);
    s.stop_bits = line_stop_bits(o.stop_bits);
    s.binary = o.text_mode == 0;
    s.parity_check = o.parity_check != 0;
    s.outx_cts_flow = o.cts_timeout != 0;
    s.outx_dsr_flow = false;
    s.dtr_control = o.dtr_enable ? DtrControl::Enable : DtrControl::Disable;
    s.dsr_sensitivity = o.dsr_timeout != 0;
    s.out_x = false;
    s.in_x = false;
    s.null_strip = false;
    s.rts_control = o.rts_off ? RtsControl::Disable : RtsControl::Handshake;
    s.abort_on_error = false;
    if (!comm.set_line_settings(h, &s)) return InvalidCall;
    comm.raise_dtr(h);
    return Success;
}

SerialPort* port_of(Channel& ch) {
    auto* options = static_cast<SerialOptions*>(ch.device);
    return options ? options->open_port : nullptr;
}

// A failed status query is recorded here: the callers of the end test and
// of the position return a value, not a code.
int serial_at_end(Channel& ch) {
    SerialPort* port = port_of(ch);
    std::int64_t waiting = 0;
    if (!port || serial_bytes_waiting(*port, waiting) != 0) {
        set_last_error(InvalidCall);
        return -1;
    }
    return waiting > 0 ? 0 : 1;
}

int serial_close(Channel& ch) {
    auto* options = static_cast<SerialOptions*>(ch.device);
    if (options) {
        if (options->open_port) comm_ops().close(options->open_port->handle);
        delete options->open_port;
        delete options;
    }
    ch.device = nullptr;
    return Success;
}

int serial_tell(Channel& ch, std::int64_t& position) {
    SerialPort* port = port_of(ch);
    if (!port || serial_bytes_waiting(*port, position) != 0) return set_last_error(InvalidCall);
    return Success;
}

int serial_read(Channel& ch, char* buffer, std::size_t& count) {
    SerialPort* port = port_of(ch);
    if (!port) return InvalidCall;
    if (!check_modem_lines(port->handle, *port->options)) return TransferFailure;
    std::size_t got = 0;
    if (!comm_ops().read(port->handle, buffer, count, &got)) return TransferFailure;
    count = got;
    return Success;
}

int serial_read_wide(Channel& ch, std::uint16_t* buffer, std::size_t& count) {
    std::size_t bytes = count * 2;
    int code = serial_read(ch, reinterpret_cast<char*>(buffer), bytes);
    if (code == Success) count = bytes / 2;
    return code;
}

int serial_write(Channel& ch, const char* bytes, std::size_t count) {
    SerialPort* port = port_of(ch);
    if (!port) return InvalidCall;
    if (!check_modem_lines(port->handle, *port->options)) return TransferFailure;
    return comm_ops().write(port->handle, bytes, count) ? Success : TransferFailure;
}

int serial_write_wide(Channel& ch, const std::uint16_t* chars, std::size_t count) {
    return serial_write(ch, reinterpret_cast<const char*>(chars), count * 2);
}

}  // namespace

const ChannelOps SerialOps = {
    serial_at_end,    serial_close, nullptr,           serial_tell, serial_read,
    serial_read_wide, serial_write, serial_write_wide, nullptr,     nullptr,
    nullptr,          nullptr,      nullptr,           nullptr,
};

int configure_serial_port(Channel& ch, std::uint32_t port, SerialOptions& options,
                          const std::string& device_name) {
    if (options.ir_value != 0) return InvalidCall;
    const unsigned access = access_rights(ch.access);

    std::string path;
    if (port == 0) {
        path = "COM1:";
        port = 1;
    } else {
        path = device_name.substr(0, device_name.find(':'));
        if (port >= 10) path = "\\\\.\\" + path;
    }

    const CommOps& comm = comm_ops();
    const CommHandle handle = comm.open(path.c_str(), access);
    if (handle == kInvalidCommHandle) return CannotOpen;

    int code = configure_line(comm, handle, options);
    if (!check_modem_lines(handle, options)) code = InvalidCall;
    if (code != Success) {
        comm.close(handle);
        return code;
    }
    options.open_port = new SerialPort{handle, port, &options};
    return Success;
}

bool check_modem_lines(CommHandle handle, const SerialOptions& options) {
    if (options.cd_timeout != 0 &&
        !wait_modem_status(handle, ModemCarrierDetect, ModemCarrierDetect, options.cd_timeout))
        return false;
    if (options.dsr_timeout != 0 &&
        !wait_modem_status(handle, ModemDsr, ModemDsr, options.dsr_timeout))
        return false;
    return true;
}

bool wait_modem_status(CommHandle handle, std::uint32_t mask, std::uint32_t wanted,
                       std::uint32_t timeout_ms) {
    const CommOps& comm = comm_ops();
    const auto start_ms = static_cast<std::int64_t>(seconds_timer() * 1000);
    std::uint32_t status = 0;
    if (!comm.modem_status(handle, &status)) return false;
    for (;;) {
        const auto now_ms = static_cast<std::int64_t>(seconds_timer() * 1000);
        const auto elapsed = static_cast<std::uint32_t>(now_ms - start_ms);
        if (elapsed > timeout_ms) return (status & mask) == wanted;
        if ((status & mask) == wanted) return true;
        sleep_ms(kModemPollMs);
        if (!comm.modem_status(handle, &status)) return false;
    }
}

int serial_bytes_waiting(const SerialPort& port, std::int64_t& count) {
    std::uint32_t waiting = 0;
    if (!comm_ops().bytes_waiting(port.handle, &waiting)) return InvalidCall;
    count = static_cast<std::int64_t>(waiting);
    return Success;
}

int open_serial_device(Channel& ch, const char* name, std::size_t length) {
    auto options = std::make_unique<SerialOptions>();
    if (parse_serial_options(name, length, *options) != Success) return InvalidCall;
    if (ch.mode == ChannelMode::Random) {
        ch.mode = ChannelMode::Binary;
        ch.access = ChannelAccess::ReadWrite;
    }
    int code = configure_serial_port(ch, options->port, *options, options->device_name);
    if (code != Success) return code;
    ch.ops = &SerialOps;
    ch.device = options.release();
    ch.kind = ChannelKind::Serial;
    return Success;
}

int open_serial_channel(const std::string& options, ChannelMode mode, ChannelAccess access,
                        std::int32_t lock_mode, int number, std::int32_t record_length,
                        const std::optional<std::string>& encoding_name) {
    if (number < 1 || number > kMaxChannel) return set_last_error(InvalidCall);
    const TextEncoding encoding = parse_encoding_name(encoding_name);
    return open_channel(*resolve_channel(number), options, mode, access, lock_mode, record_length,
                        encoding, open_serial_device);
}

int serial_wait_ready(int number, bool watch_console_input, int timeout_ms) {
    Channel* ch = resolve_channel(number);
    if (!is_open(ch) || ch->ops != &SerialOps) return WaitLineLost;
    // A byte given back to the channel is read before the line.
    if (ch->putback_count > 0) return WaitByteReady;
    SerialPort* port = port_of(*ch);
    if (!port) return WaitLineLost;
    return comm_ops().wait_ready(port->handle, watch_console_input, timeout_ms);
}

SerialOpenFailure describe_serial_open_failure(const std::string& options) {
    SerialOptions parsed;
    parse_serial_options(options.data(), options.size(), parsed);
    const std::string port = "COM" + std::to_string(parsed.port == 0 ? 1 : parsed.port);
    const CommOps& comm = comm_ops();
    return {port, comm.device_name(port.c_str()), comm.failure_reason()};
}

}  // namespace cncsend
