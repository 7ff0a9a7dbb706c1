#pragma once
// What the file kind of channel needs of the operating system beyond the
// standard C streams: native names, 64-bit positions, byte-range locks.

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

namespace cncsend {

// Both '\' and '/' separate directories in the program's names; the result
// uses the native separator.
std::string native_file_name(const std::string& name);

// False when the name is a directory, a FIFO, a device or a socket: none
// has a length that its data can be measured and ended by, and reading one
// may never end (a directory, /dev/zero) or wait for ever (a FIFO without
// a writer). errno then says why. A name that does not exist passes: its
// open reports that.
bool names_plain_file_or_nothing(const std::string& native_name);

// 64-bit seek (origin: 0 start, 1 current, 2 end); true on success.
bool stream_seek(std::FILE* stream, std::int64_t offset, int origin);
// 64-bit position, -1 on failure.
std::int64_t stream_tell(std::FILE* stream);

// Exclusive (or, for a stream not open for writing, shared) lock on a byte
// range; never waits. True when granted.
bool stream_lock(std::FILE* stream, std::uint32_t position, std::uint32_t length, bool writable);
bool stream_unlock(std::FILE* stream, std::uint32_t position, std::uint32_t length);

// Flags for the 256 byte values.
using ByteSet = std::array<bool, 256>;

// Appends bytes of the stream to text up to the first byte in stops, which
// is consumed and returned; EOF at the end of the data or on a read error.
// The stream is held once for the whole run, not once per byte, which is
// what makes long files of short lines cheap to split.
int stream_read_until(std::FILE* stream, std::string& text, const ByteSet& stops);

}  // namespace cncsend
