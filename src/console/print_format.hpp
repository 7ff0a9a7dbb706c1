#pragma once
// Printing numbers through a picture such as "#####": each run of "#" is a
// numeric field, everything else up to the next field is literal text.

#include <cstddef>
#include <cstdint>
#include <string>

#include "console/print.hpp"

namespace cncsend {

// One process-wide record; holds at most one picture.
struct PrintFormatState {
    std::int32_t characters_left;
    std::size_t cursor;  // position in the picture
    std::string picture;
};

PrintFormatState& print_format_state();
void release_print_format_state();

void begin_formatted_print(const std::string& picture);
// A negative flags value also releases the picture after this item.
void print_formatted(int channel, std::int64_t value, PrintItemFlags flags);
// The value is reduced to 16 significant digits, then rounded half away
// from zero to the field's digits.
void print_formatted_double(int channel, double value, PrintItemFlags flags);
void end_formatted_print(int channel);
// Writes the picture's literal text from the cursor up to the next field.
void print_picture_literals(int channel);

// A value's text in a field of width "#" positions: right-aligned, or "%"
// and the whole number when it does not fit.
std::string format_numeric_field(bool negative, const std::string& digits, std::size_t width);

}  // namespace cncsend
