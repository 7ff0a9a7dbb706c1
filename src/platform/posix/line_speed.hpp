#pragma once
// Line speeds beyond the fixed table of termios go through the kernel's
// second termios record, whose header cannot share a file with <termios.h>.

#include <cstdint>

namespace cncsend {

// The output speed in bits per second, 0 when it cannot be read.
std::uint32_t read_line_speed(int fd);
// Sets any speed in both directions; true on success.
bool set_custom_line_speed(int fd, std::uint32_t baud_rate);

}  // namespace cncsend
