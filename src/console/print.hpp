#pragma once
// Strings and numbers as bytes on any channel: the newline, the text forms
// of numbers and the 14-column print zones.

#include <cstdint>
#include <string>

namespace cncsend {

// What follows a printed item: bit 0 or bit 2 the newline (CR LF), else
// bit 1 the next print zone, else nothing.
using PrintItemFlags = std::int32_t;
constexpr PrintItemFlags kPrintNewline = 1;
constexpr PrintItemFlags kPrintZone = 2;
constexpr PrintItemFlags kPrintNewlineToo = 4;

constexpr std::int32_t kPrintZoneWidth = 14;

void print_text(int channel, const std::string& text, PrintItemFlags flags);
// 16 significant digits, a blank in front of a value that is not negative.
void print_number(int channel, double value, PrintItemFlags flags);
// The same with 7 significant digits.
void print_single(int channel, float value, PrintItemFlags flags);
void end_print_item(int channel, PrintItemFlags flags);
void advance_print_zone(int channel);

// Decimal text: "-" before negative values, no blank, no "+".
std::string int_to_text(std::int32_t value);
// The %g form with the given significant digits.
std::string number_to_text(double value, int digits, bool leading_blank);

// Every byte that printing produces goes this way: the channel's column
// follows the output.
int write_print_bytes(int channel, const char* bytes, std::size_t count);

}  // namespace cncsend
