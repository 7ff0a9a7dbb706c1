#include <asm/termbits.h>
#include <sys/ioctl.h>

#include "platform/posix/line_speed.hpp"

namespace cncsend {

std::uint32_t read_line_speed(int fd) {
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0) return 0;
    return t.c_ospeed;
}

bool set_custom_line_speed(int fd, std::uint32_t baud_rate) {
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0) return false;
    t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = baud_rate;
    t.c_ospeed = baud_rate;
    if (ioctl(fd, TCSETS2, &t) != 0) return false;
    return read_line_speed(fd) == baud_rate;
}

}  // namespace cncsend
