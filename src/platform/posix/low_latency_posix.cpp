#include <linux/serial.h>
#include <sys/ioctl.h>

#include "platform/posix/low_latency.hpp"

namespace cncsend {

namespace {

int driver_ioctl(int fd, unsigned long request, void* argument) {
    return ::ioctl(fd, request, argument);
}

SerialDriverCall driver_call = driver_ioctl;

}  // namespace

void set_serial_driver_call(SerialDriverCall call) {
    driver_call = call ? call : driver_ioctl;
}

bool request_low_latency(int fd) {
    serial_struct settings{};
    if (driver_call(fd, TIOCGSERIAL, &settings) != 0) return false;
    if (settings.flags & ASYNC_LOW_LATENCY) return true;
    settings.flags |= ASYNC_LOW_LATENCY;
    return driver_call(fd, TIOCSSERIAL, &settings) == 0;
}

}  // namespace cncsend
