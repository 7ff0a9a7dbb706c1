#pragma once
#include <cstdint>

namespace cncsend {

// Percent of the job consumed, 0 to 100, from the bytes read so far and the
// job's length taken before the transfer. A file that grows or shrinks while
// it is sent still gives a value in range.
std::int32_t progress_percent(std::int64_t consumed, std::int64_t length);

}  // namespace cncsend
