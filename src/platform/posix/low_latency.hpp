#pragma once
// USB serial adapters (FTDI and kin) hold received bytes for their latency
// timer, up to 16 ms, before passing them on. With one line in flight every
// one-byte reply would wait for that timer; the driver's low-latency mode
// brings it down to 1 ms.

namespace cncsend {

// The driver call the request goes through: ioctl(2) unless a test puts
// its own in place.
using SerialDriverCall = int (*)(int fd, unsigned long request, void* argument);
// Installs another call (nullptr brings back ioctl).
void set_serial_driver_call(SerialDriverCall call);

// Asks the driver of the open line for low-latency mode. False when the
// driver has no such mode (pseudo-terminals, many drivers) or refuses it;
// the line works either way.
bool request_low_latency(int fd);

}  // namespace cncsend
