#pragma once
// What each backend gives the run record's file beyond record_file.hpp.

#include <cstddef>

#include "platform/record_file.hpp"

namespace cncsend {

// One system write: the count written, or -1 with errno set.
long write_record_once(RecordFile file, const char* bytes, std::size_t count);
// Keeps errno as the reason of the last failure; false for convenience.
bool note_record_failure();

}  // namespace cncsend
