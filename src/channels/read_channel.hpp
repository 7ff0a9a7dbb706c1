#pragma once
// The reading side of channels: bytes, lines, the end test, length and
// position.

#include <cstddef>
#include <cstdint>
#include <string>

#include "channels/channel.hpp"

namespace cncsend {

// Reads up to count units into buffer: bytes, or 16-bit characters when
// wide is set (buffer then holds std::uint16_t). Put-back bytes come first.
// position is 1-based (0: where the channel stands). delivered receives the
// number of units read; a short read is no error.
int read_channel(int number, std::int64_t position, void* buffer, std::size_t count,
                 std::size_t& delivered, bool pad_record, bool wide);

// Up to count bytes as a string; empty on any failure.
std::string read_bytes(std::int32_t count, int number);

// The next line without its line end. At the end of the data the line is
// empty and the code 0: callers test channel_at_end first.
int read_line(int number, std::string& line);

// -1 when nothing is left to read, 0 otherwise.
int channel_at_end(int number);
// Length in bytes, measured anew on every call; 0 when unknown.
std::int64_t channel_length(int number);
// Bytes consumed (Random: records, Input and Output: 128-byte blocks).
std::int64_t channel_position(int number);

// The console layer sits above this one, so it registers how the console
// channel's read operation is installed when read_bytes first needs it.
using ConsoleReadInstaller = void (*)();
void set_console_read_installer(ConsoleReadInstaller install);

}  // namespace cncsend
