#include "channels/field_reader.hpp"

#include <cmath>
#include <cstdlib>

#include "channels/channel.hpp"
#include "channels/input_source.hpp"

namespace cncsend {

namespace {

bool is_blank(int c) {
    return c == ' ' || c == '\t';
}

int skip_blanks(int c) {
    while (is_blank(c)) c = next_input_byte();
    return c;
}

// A CR takes an LF directly behind it into the same line end.
void finish_carriage_return() {
    const int next = next_input_byte();
    if (next != '\n' && next != kEndOfInput) give_back_input_byte(next);
}

// Consumes what ends the field; anything else starts the next one.
void consume_terminator(int c) {
    switch (c) {
        case '\n':
        case ',':
        case kEndOfInput:
            return;
        case '\r':
            finish_carriage_return();
            return;
        default:
            give_back_input_byte(c);
            return;
    }
}

double round_half_even(double x) {
    const double below = std::floor(x);
    const double fraction = x - below;
    if (fraction > 0.5) return below + 1;
    if (fraction < 0.5) return below;
    return std::fmod(below, 2.0) == 0 ? below : below + 1;
}

std::int32_t float_text_value(const char* text) {
    while (*text == ' ') ++text;
    if (*text == '\0') return 0;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) return 0;
    std::string number(text);
    for (char& c : number) {
        if (c == 'D') c = 'E';
        if (c == 'd') c = 'e';
    }
    const double rounded = round_half_even(std::strtod(number.c_str(), nullptr));
    // NaN fails both comparisons.
    if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) return INT32_MIN;
    return static_cast<std::int32_t>(rounded);
}

int digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

std::uint32_t radix_value(const char* digits, int radix) {
    std::uint32_t value = 0;
    for (; digit_value(*digits) < radix; ++digits)
        value = value * static_cast<std::uint32_t>(radix) +
                static_cast<std::uint32_t>(digit_value(*digits));
    return value;
}

// Decimal text as a 32-bit strtoul reads it: a minus negates modulo 2^32
// and a value beyond 32 bits saturates, whatever the width of long here.
std::uint32_t decimal_value(const char* text) {
    while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    std::uint64_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + static_cast<std::uint64_t>(*text - '0');
        if (value > UINT32_MAX) return UINT32_MAX;
    }
    const auto narrow = static_cast<std::uint32_t>(value);
    return negative ? 0u - narrow : narrow;
}

std::int32_t integer_text_value(const char* text) {
    while (*text == ' ') ++text;
    std::uint32_t value = 0;
    if (text[0] == '&' && text[1] != '\0') {
        switch (text[1]) {
            case 'H':
            case 'h':
                value = radix_value(text + 2, 16);
                break;
            case 'O':
            case 'o':
                value = radix_value(text + 2, 8);
                break;
            case 'B':
            case 'b':
                value = radix_value(text + 2, 2);
                break;
            default:
                value = radix_value(text + 1, 8);
                break;
        }
    } else {
        value = decimal_value(text);
    }
    return static_cast<std::int32_t>(value);
}

}  // namespace

Field next_field(int capacity, bool string_field) {
    Field field{{}, false};
    int c = skip_blanks(next_input_byte());
    if (c == kEndOfInput) return field;
    if (capacity <= 0) {
        consume_terminator(c);
        return field;
    }

    bool quoted = false;
    bool radix = false;  // after an '&' the letters of a number are digits
    for (;;) {
        if (c == '\n') return field;
        if (c == '\r') {
            finish_carriage_return();
            return field;
        }
        bool store = true;
        if (!quoted) {
            if (is_blank(c) && !string_field) break;
            if (c == ',') return field;
            if (c == '"' && field.text.empty()) {
                quoted = true;
                store = false;
            }
        } else if (c == '"') {
            quoted = false;
            store = false;
            if (string_field) {
                c = next_input_byte();
                break;
            }
        }
        if (store) {
            char stored = static_cast<char>(c);
            if (c == '&') {
                radix = true;
            } else if (!radix && (c == '.' || c == 'E' || c == 'e')) {
                field.floating = true;
            } else if (!radix && (c == 'D' || c == 'd')) {
                field.floating = true;
                if (!string_field) stored = c == 'D' ? 'E' : 'e';
            }
            field.text.push_back(stored);
        }
        c = next_input_byte();
        if (c == kEndOfInput || field.text.size() >= static_cast<std::size_t>(capacity)) break;
    }
    consume_terminator(skip_blanks(c));
    return field;
}

int read_int_field(std::int32_t& value) {
    const Field field = next_field(kIntFieldCapacity, false);
    // A NUL ends the text, as it ends the C conversions.
    value = field.floating ? float_text_value(field.text.c_str())
                           : integer_text_value(field.text.c_str());
    return set_last_error(Success);
}

int read_string_field(std::string& text) {
    const Field field = next_field(kStringFieldCapacity, true);
    text.assign(field.text.c_str());
    return set_last_error(Success);
}

}  // namespace cncsend
