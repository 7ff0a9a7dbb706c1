#pragma once
// What the file kind of channel needs of the operating system beyond the
// standard C streams: native names, 64-bit positions, byte-range locks.

#include <cstdint>
#include <cstdio>
#include <string>

namespace cncsend {

// Both '\' and '/' separate directories in the program's names; the result
// uses the native separator.
std::string native_file_name(const std::string& name);

// 64-bit seek (origin: 0 start, 1 current, 2 end); true on success.
bool stream_seek(std::FILE* stream, std::int64_t offset, int origin);
// 64-bit position, -1 on failure.
std::int64_t stream_tell(std::FILE* stream);

// Exclusive (or, for a stream not open for writing, shared) lock on a byte
// range; never waits. True when granted.
bool stream_lock(std::FILE* stream, std::uint32_t position, std::uint32_t length, bool writable);
bool stream_unlock(std::FILE* stream, std::uint32_t position, std::uint32_t length);

}  // namespace cncsend
