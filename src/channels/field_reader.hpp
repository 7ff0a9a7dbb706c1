#pragma once
// Fields of typed or stored text, taken from the InputSource: numbers and
// strings separated by commas, blanks or line ends.

#include <cstdint>
#include <string>

namespace cncsend {

constexpr int kIntFieldCapacity = 67;
constexpr int kStringFieldCapacity = 4096;

struct Field {
    std::string text;
    bool floating;  // convert the text as a floating-point number
};

// The next field of the source, at most capacity bytes; a string field
// keeps blanks and D/d as they are.
Field next_field(int capacity, bool string_field);

// Both always give 0; a missing field reads as 0 or the empty string.
int read_int_field(std::int32_t& value);
int read_string_field(std::string& text);

}  // namespace cncsend
