#pragma once
// Time stamps of the run record: ISO 8601 in UTC to the millisecond.

#include <cstdint>

namespace cncsend {

constexpr int kUtcTimeLength = 24;  // 2026-12-11T15:30:31.123Z

// Writes the time stamp of the milliseconds since 1970-01-01 UTC into
// text (kUtcTimeLength bytes, no terminator). Plain arithmetic, so a
// signal handler may call it.
void format_utc_time(std::int64_t unix_ms, char* text);

}  // namespace cncsend
