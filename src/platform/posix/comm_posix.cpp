#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/comm.hpp"
#include "platform/posix/line_speed.hpp"
#include "platform/posix/low_latency.hpp"
#include "platform/posix/screen_posix.hpp"
#include "platform/posix/terminal_keys_posix.hpp"

namespace cncsend {

namespace {

constexpr std::uint32_t kNoWait = 0xFFFFFFFFu;
constexpr std::uint32_t kTtyBufferSize = 4096;

// errno of the last open or setting that failed, for the operator's message.
int last_failure = 0;

bool failed(int error) {
    last_failure = error;
    return false;
}

int fd_of(CommHandle handle) {
    return static_cast<int>(handle);
}

bool starts_with_nocase(const std::string& text, const char* prefix) {
    for (std::size_t i = 0; prefix[i] != '\0'; ++i) {
        if (i >= text.size() || std::toupper(static_cast<unsigned char>(text[i])) !=
                                    static_cast<unsigned char>(prefix[i]))
            return false;
    }
    return true;
}

// COMn (with or without "\\.\" in front and ":" behind) is /dev/ttyS<n-1>,
// unless CNCSEND_COM<n> names another device; other paths are taken as they are.
std::string device_path(const char* path) {
    std::string name = path;
    if (name.rfind("\\\\.\\", 0) == 0) name.erase(0, 4);
    if (!name.empty() && name.back() == ':') name.pop_back();
    if (!starts_with_nocase(name, "COM") || name.size() == 3) return path;
    unsigned long number = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return path;
        number = number * 10 + static_cast<unsigned long>(name[i] - '0');
        if (number > 1'000'000) return path;
    }
    if (number == 0) return path;
    const std::string variable = "CNCSEND_COM" + std::to_string(number);
    if (const char* chosen = std::getenv(variable.c_str()); chosen && *chosen) return chosen;
    return "/dev/ttyS" + std::to_string(number - 1);
}

CommHandle comm_open(const char* path, unsigned access) {
    int flags = O_RDONLY;
    if ((access & CommRead) && (access & CommWrite))
        flags = O_RDWR;
    else if (access & CommWrite)
        flags = O_WRONLY;
    last_failure = 0;
    // Not blocking at the open: a line without carrier must not hang it.
    const std::string native = device_path(path);
    int fd = ::open(native.c_str(), flags | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        failed(errno);
        return kInvalidCommHandle;
    }
    // Exclusive: another holder of the lock (or of TIOCEXCL, which stops
    // every open but root's) makes the device busy.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        failed(EBUSY);
        ::close(fd);
        return kInvalidCommHandle;
    }
    if (isatty(fd)) ioctl(fd, TIOCEXCL);
    int status = fcntl(fd, F_GETFL);
    if (status != -1) fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
    return fd;
}

void comm_close(CommHandle handle) {
    int fd = fd_of(handle);
    // Whoever else keeps the terminal open (a simulator holding a pty) must
    // not keep us from opening it again.
    if (isatty(fd)) ioctl(fd, TIOCNXCL);
    ::close(fd);
}

bool comm_get_properties(CommHandle handle, CommProperties* properties) {
    termios t{};
    if (tcgetattr(fd_of(handle), &t) != 0) return failed(errno);
    *properties = CommProperties{kTtyBufferSize, 0, kTtyBufferSize, 0};
    return true;
}

// The terminal driver's queues have a fixed size: accepted, no effect.
bool comm_setup_queues(CommHandle handle, std::uint32_t, std::uint32_t) {
    termios t{};
    return tcgetattr(fd_of(handle), &t) == 0;
}

bool comm_get_timeouts(CommHandle handle, CommTimeouts* timeouts) {
    termios t{};
    if (tcgetattr(fd_of(handle), &t) != 0) return false;
    *timeouts = CommTimeouts{};
    const unsigned min = t.c_cc[VMIN];
    const unsigned tenths = t.c_cc[VTIME];
    if (min == 0 && tenths == 0)
        timeouts->read_interval = kNoWait;
    else if (min == 0)
        timeouts->read_total_constant = tenths * 100;
    else if (tenths != 0)
        timeouts->read_interval = tenths * 100;
    return true;
}

cc_t tenths_of(std::uint32_t milliseconds) {
    std::uint32_t tenths = milliseconds / 100 + (milliseconds % 100 != 0 ? 1 : 0);
    return static_cast<cc_t>(tenths > 255 ? 255 : (tenths == 0 ? 1 : tenths));
}

bool comm_set_timeouts(CommHandle handle, const CommTimeouts* timeouts) {
    termios t{};
    int fd = fd_of(handle);
    if (tcgetattr(fd, &t) != 0) return false;
    const bool no_totals =
        timeouts->read_total_multiplier == 0 && timeouts->read_total_constant == 0;
    if (timeouts->read_interval == kNoWait && no_totals) {
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
    } else if (timeouts->read_total_constant != 0) {
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = tenths_of(timeouts->read_total_constant);
    } else if (timeouts->read_interval != 0) {
        // The timer of a terminal read starts at the first byte and counts
        // the gap between bytes, which is what an interval time-out is.
        t.c_cc[VMIN] = 1;
        t.c_cc[VTIME] = tenths_of(timeouts->read_interval);
    } else {
        t.c_cc[VMIN] = 1;
        t.c_cc[VTIME] = 0;
    }
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

bool comm_get_line_settings(CommHandle handle, LineSettings* settings) {
    termios t{};
    int fd = fd_of(handle);
    if (tcgetattr(fd, &t) != 0) return failed(errno);
    LineSettings s{};
    s.baud_rate = read_line_speed(fd);
    switch (t.c_cflag & CSIZE) {
        case CS5:
            s.byte_size = 5;
            break;
        case CS6:
            s.byte_size = 6;
            break;
        case CS7:
            s.byte_size = 7;
            break;
        default:
            s.byte_size = 8;
            break;
    }
    if (!(t.c_cflag & PARENB))
        s.parity = LineParity::None;
    else if (t.c_cflag & CMSPAR)
        s.parity = (t.c_cflag & PARODD) ? LineParity::Mark : LineParity::Space;
    else
        s.parity = (t.c_cflag & PARODD) ? LineParity::Odd : LineParity::Even;
    if (t.c_cflag & CSTOPB)
        s.stop_bits = s.byte_size == 5 ? LineStopBits::OneAndHalf : LineStopBits::Two;
    else
        s.stop_bits = LineStopBits::One;
    s.binary = true;
    s.parity_check = (t.c_iflag & INPCK) != 0;
    s.outx_cts_flow = (t.c_cflag & CRTSCTS) != 0;
    s.dtr_control = DtrControl::Enable;
    s.rts_control = s.outx_cts_flow ? RtsControl::Handshake : RtsControl::Enable;
    s.out_x = (t.c_iflag & IXON) != 0;
    s.in_x = (t.c_iflag & IXOFF) != 0;
    s.xon_char = static_cast<char>(t.c_cc[VSTART]);
    s.xoff_char = static_cast<char>(t.c_cc[VSTOP]);
    s.eof_char = static_cast<char>(t.c_cc[VEOF]);
    *settings = s;
    return true;
}

// True when the rate is one of termios' own; the others are set afterwards.
bool set_standard_line_speed(termios& t, std::uint32_t baud_rate) {
    static const struct {
        std::uint32_t rate;
        speed_t code;
    } table[] = {{50, B50},           {75, B75},           {110, B110},         {134, B134},
                 {150, B150},         {200, B200},         {300, B300},         {600, B600},
                 {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
                 {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
                 {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
                 {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
                 {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
                 {3500000, B3500000}, {4000000, B4000000}};
    for (const auto& entry : table) {
        if (entry.rate == baud_rate) {
            cfsetispeed(&t, entry.code);
            cfsetospeed(&t, entry.code);
            return true;
        }
    }
    return false;
}

void set_modem_line(int fd, int line, bool on) {
    // Pseudo-terminals have no modem lines; their refusal does not matter.
    ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line);
}

// termios has one "more than one stop bit" flag, which means 1.5 with 5
// data bits and 2 otherwise. The pairings it cannot give are refused, as
// the Windows driver refuses them, so an options string opens the same
// line, or fails, on both systems.
bool stop_bits_fit(const LineSettings& s) {
    switch (s.stop_bits) {
        case LineStopBits::One:
            return true;
        case LineStopBits::OneAndHalf:
            return s.byte_size == 5;
        case LineStopBits::Two:
            return s.byte_size != 5;
    }
    return false;
}

bool comm_set_line_settings(CommHandle handle, const LineSettings* s) {
    int fd = fd_of(handle);
    termios t{};
    if (tcgetattr(fd, &t) != 0) return failed(errno);
    if (s->baud_rate == 0 || s->byte_size < 5 || s->byte_size > 8 || !stop_bits_fit(*s))
        return failed(EINVAL);
    // Raw in both directions: bytes pass exactly as they are.
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                        IXON | IXOFF | IXANY | INPCK | IGNPAR | IUCLC | IMAXBEL);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CREAD | CLOCAL;
    static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= sizes[s->byte_size - 5];
    switch (s->parity) {
        case LineParity::None:
            break;
        case LineParity::Even:
            t.c_cflag |= PARENB;
            break;
        case LineParity::Odd:
            t.c_cflag |= PARENB | PARODD;
            break;
        case LineParity::Mark:
            t.c_cflag |= PARENB | PARODD | CMSPAR;
            break;
        case LineParity::Space:
            t.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            return failed(EINVAL);
    }
    if (s->parity_check) t.c_iflag |= INPCK;
    if (s->stop_bits != LineStopBits::One) t.c_cflag |= CSTOPB;
    if (s->out_x) t.c_iflag |= IXON;
    if (s->in_x) t.c_iflag |= IXOFF;
    if (s->outx_cts_flow) t.c_cflag |= CRTSCTS;
    const bool custom_speed = !set_standard_line_speed(t, s->baud_rate);
    if (tcsetattr(fd, TCSANOW, &t) != 0) return failed(errno);
    if (custom_speed && !set_custom_line_speed(fd, s->baud_rate)) return failed(errno);
    if (s->rts_control == RtsControl::Disable)
        set_modem_line(fd, TIOCM_RTS, false);
    else if (!s->outx_cts_flow)
        set_modem_line(fd, TIOCM_RTS, true);
    set_modem_line(fd, TIOCM_DTR, s->dtr_control != DtrControl::Disable);
    request_low_latency(fd);  // a line without the mode is just slower
    return true;
}

void comm_raise_dtr(CommHandle handle) {
    set_modem_line(fd_of(handle), TIOCM_DTR, true);
}

bool comm_modem_status(CommHandle handle, std::uint32_t* status) {
    int lines = 0;
    if (ioctl(fd_of(handle), TIOCMGET, &lines) != 0) return false;
    std::uint32_t s = 0;
    if (lines & TIOCM_CTS) s |= ModemCts;
    if (lines & TIOCM_DSR) s |= ModemDsr;
    if (lines & TIOCM_RNG) s |= ModemRing;
    if (lines & TIOCM_CAR) s |= ModemCarrierDetect;
    *status = s;
    return true;
}

bool comm_bytes_waiting(CommHandle handle, std::uint32_t* count) {
    int waiting = 0;
    if (ioctl(fd_of(handle), FIONREAD, &waiting) != 0 || waiting < 0) return false;
    *count = static_cast<std::uint32_t>(waiting);
    return true;
}

bool line_hung_up(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

bool comm_read(CommHandle handle, char* buffer, std::size_t wanted, std::size_t* got) {
    for (;;) {
        ssize_t n = ::read(fd_of(handle), buffer, wanted);
        // A terminal whose line hung up reads as empty; that is no time-out.
        if (n == 0 && wanted > 0 && line_hung_up(fd_of(handle))) return false;
        if (n >= 0) {
            *got = static_cast<std::size_t>(n);
            return true;
        }
        if (errno != EINTR) return false;
    }
}

bool comm_write(CommHandle handle, const char* bytes, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        ssize_t n = ::write(fd_of(handle), bytes + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::int64_t now_ms() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

int comm_wait_ready(CommHandle handle, bool watch_console_input, int timeout_ms) {
    settle_screen_output();
    // Keys the program already holds count as input now; a terminal whose
    // input ended would look ready for ever.
    if (watch_console_input && typed_ahead_waiting()) return WaitConsoleInput;
    if (terminal_input_gone()) watch_console_input = false;
    pollfd fds[2] = {{fd_of(handle), POLLIN, 0}, {0, POLLIN, 0}};
    const nfds_t count = watch_console_input ? 2 : 1;
    const std::int64_t deadline = timeout_ms < 0 ? 0 : now_ms() + timeout_ms;
    for (;;) {
        int wait = -1;
        if (timeout_ms >= 0) {
            std::int64_t left = deadline - now_ms();
            wait = left > 0 ? static_cast<int>(left) : 0;
        }
        int n = ::poll(fds, count, wait);
        if (n == 0) return WaitTimedOut;
        if (n < 0) {
            if (errno == EINTR) continue;
            return WaitLineLost;
        }
        int result = 0;
        const short line = fds[0].revents;
        if (line & (POLLHUP | POLLERR | POLLNVAL)) {
            // What came in before the line hung up is still the controller's.
            std::uint32_t waiting = 0;
            result |= (line & POLLIN) && comm_bytes_waiting(handle, &waiting) && waiting > 0
                          ? WaitByteReady
                          : WaitLineLost;
        } else if (line & POLLIN) {
            result |= WaitByteReady;
        }
        if (count == 2 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)))
            result |= WaitConsoleInput;
        if (result != 0) return result;
    }
}

std::string comm_failure_reason() {
    return last_failure != 0 ? std::strerror(last_failure) : "";
}

const CommOps posix_comm_ops = {
    comm_open,
    comm_close,
    comm_get_properties,
    comm_setup_queues,
    comm_get_timeouts,
    comm_set_timeouts,
    comm_get_line_settings,
    comm_set_line_settings,
    comm_raise_dtr,
    comm_modem_status,
    comm_bytes_waiting,
    comm_read,
    comm_write,
    comm_wait_ready,
    device_path,
    comm_failure_reason,
};

}  // namespace

const CommOps& native_comm_ops() {
    return posix_comm_ops;
}

}  // namespace cncsend
