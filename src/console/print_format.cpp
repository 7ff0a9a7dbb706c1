#include "console/print_format.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "channels/channel.hpp"

namespace cncsend {

namespace {

PrintFormatState* state = nullptr;

constexpr std::size_t kLiteralPiece = 2048;

bool is_one_of(char c, const char* set) {
    for (; *set; ++set)
        if (*set == c) return true;
    return false;
}

bool starts_with_at(const std::string& s, std::size_t at, const char* prefix) {
    return s.compare(at, std::char_traits<char>::length(prefix), prefix) == 0;
}

bool field_starts_at(const std::string& p, std::size_t at) {
    const char c = p[at];
    if (is_one_of(c, "#!&\\")) return true;
    if (starts_with_at(p, at, "$$") || starts_with_at(p, at, "**") || starts_with_at(p, at, ".#"))
        return true;
    return c == '+' && (starts_with_at(p, at + 1, "#") || starts_with_at(p, at + 1, "$$") ||
                        starts_with_at(p, at + 1, "**") || starts_with_at(p, at + 1, ".#"));
}

void consume(PrintFormatState& s, std::size_t count) {
    s.cursor += count;
    s.characters_left -= static_cast<std::int32_t>(count);
}

// Reads the numeric field at the cursor; its width in digit positions.
std::size_t take_field(PrintFormatState& s) {
    std::size_t width = 0;
    while (s.cursor + width < s.picture.size() && s.picture[s.cursor + width] == '#') ++width;
    // Field kinds other than "#" are not drawn; step over their first
    // character so that the picture still advances.
    consume(s, width == 0 && s.cursor < s.picture.size() ? 1 : width);
    return width;
}

void print_field(int channel, bool negative, const std::string& digits, PrintItemFlags flags) {
    PrintFormatState& s = print_format_state();
    if (s.characters_left <= 0) {
        // A picture is used again from its start for further values.
        s.cursor = 0;
        s.characters_left = static_cast<std::int32_t>(s.picture.size());
    }
    print_picture_literals(channel);
    const std::size_t width = take_field(s);
    const std::string text = format_numeric_field(negative, digits, width);
    write_print_bytes(channel, text.data(), text.size());
    print_picture_literals(channel);
    if (flags & (kPrintNewline | kPrintZone))
        end_print_item(channel, flags & (kPrintNewline | kPrintZone));
    if (flags < 0) release_print_format_state();
}

}  // namespace

PrintFormatState& print_format_state() {
    if (!state) state = new PrintFormatState{};
    return *state;
}

void release_print_format_state() {
    delete state;
    state = nullptr;
}

void begin_formatted_print(const std::string& picture) {
    PrintFormatState& s = print_format_state();
    s.picture = picture;
    s.cursor = 0;
    s.characters_left = static_cast<std::int32_t>(picture.size());
}

std::string format_numeric_field(bool negative, const std::string& digits, std::size_t width) {
    const std::string number = negative ? "-" + digits : digits;
    if (number.size() > width) return "%" + number;
    return std::string(width - number.size(), ' ') + number;
}

void print_formatted(int channel, std::int64_t value, PrintItemFlags flags) {
    const bool negative = value < 0;
    // The magnitude of the most negative value does not fit its own type.
    const std::uint64_t magnitude =
        negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    char digits[24];
    const int n =
        std::snprintf(digits, sizeof digits, "%llu", static_cast<unsigned long long>(magnitude));
    print_field(channel, negative, std::string(digits, static_cast<std::size_t>(n)), flags);
}

void print_formatted_double(int channel, double value, PrintItemFlags flags) {
    char text[400];
    std::snprintf(text, sizeof text, "%.15e", value);
    const double reduced = std::strtod(text, nullptr);
    const double rounded = std::round(reduced);  // half away from zero
    const int n = std::snprintf(text, sizeof text, "%.0f", std::fabs(rounded));
    print_field(channel, reduced < 0, std::string(text, static_cast<std::size_t>(n > 0 ? n : 0)),
                flags);
}

void end_formatted_print(int channel) {
    print_picture_literals(channel);
    release_print_format_state();
}

void print_picture_literals(int channel) {
    PrintFormatState& s = print_format_state();
    std::string piece;
    auto write_piece = [&] {
        if (!piece.empty()) write_print_bytes(channel, piece.data(), piece.size());
        piece.clear();
    };
    while (s.cursor < s.picture.size() && s.characters_left > 0 &&
           !field_starts_at(s.picture, s.cursor)) {
        if (s.picture[s.cursor] == '_' && s.cursor + 1 < s.picture.size()) {
            consume(s, 1);  // the next character is literal, whatever it is
        }
        piece += s.picture[s.cursor];
        consume(s, 1);
        if (piece.size() == kLiteralPiece) write_piece();
    }
    write_piece();
}

}  // namespace cncsend
