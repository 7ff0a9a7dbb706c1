#include "serial/serial_options.hpp"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "channels/channel.hpp"

namespace cncsend {

namespace {

char upper(char c) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

bool starts_with_nocase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (upper(text[i]) != prefix[i]) return false;
    return true;
}

bool equals_nocase(std::string_view text, std::string_view word) {
    return text.size() == word.size() && starts_with_nocase(text, word);
}

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

// The whole text read as the C library's strtoul reads a 32-bit unsigned
// long in base 10: leading white space and a sign are taken, a value beyond
// 32 bits saturates. A text without digits converts nothing, so only an
// empty text counts as consumed then (giving 0).
bool whole_unsigned(std::string_view text, std::uint32_t& value) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const std::size_t digits_start = i;
    std::uint64_t magnitude = 0;
    bool overflow = false;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        magnitude = magnitude * 10 + static_cast<std::uint64_t>(text[i] - '0');
        if (magnitude > 0xFFFFFFFFu) {
            overflow = true;
            magnitude = 0xFFFFFFFFu;
        }
    }
    if (i == digits_start) {
        value = 0;
        return text.empty();
    }
    if (i != text.size()) return false;
    if (overflow)
        value = 0xFFFFFFFFu;
    else
        value = negative ? static_cast<std::uint32_t>(0u - static_cast<std::uint32_t>(magnitude))
                         : static_cast<std::uint32_t>(magnitude);
    return true;
}

bool whole_stop_bits(std::string_view item, SerialStopBits& stop_bits) {
    const std::string copy(item);
    char* end = nullptr;
    const double value = std::strtod(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size()) return false;
    if (value == 1.0)
        stop_bits = SerialStopBits::One;
    else if (value == 1.5)
        stop_bits = SerialStopBits::OneAndHalf;
    else if (value == 2.0)
        stop_bits = SerialStopBits::Two;
    else
        return false;
    return true;
}

bool parity_item(std::string_view item, SerialOptions& options) {
    static const struct {
        std::string_view word;
        SerialParity parity;
    } table[] = {{"N", SerialParity::None},  {"E", SerialParity::Even}, {"O", SerialParity::Odd},
                 {"S", SerialParity::Space}, {"M", SerialParity::Mark}, {"PE", SerialParity::Even}};
    for (const auto& entry : table) {
        if (equals_nocase(item, entry.word)) {
            options.parity = entry.parity;
            if (entry.word == "PE") options.parity_check = 1;
            return true;
        }
    }
    return false;
}

// Keywords in the order they are tried; the first that matches decides.
struct Keyword {
    std::string_view word;
    bool with_number;  // a prefix followed by a number, else the whole item
    std::uint32_t SerialOptions::*number;
    std::int32_t SerialOptions::*flag;
    std::int32_t flag_value;
};

const Keyword kKeywords[] = {
    {"CS", true, &SerialOptions::cts_timeout, nullptr, 0},
    {"DS", true, &SerialOptions::dsr_timeout, nullptr, 0},
    {"CD", true, &SerialOptions::cd_timeout, nullptr, 0},
    {"OP", true, &SerialOptions::open_timeout, nullptr, 0},
    {"TB", true, &SerialOptions::tx_queue_size, nullptr, 0},
    {"RB", true, &SerialOptions::rx_queue_size, nullptr, 0},
    {"RS", false, nullptr, &SerialOptions::rts_off, 1},
    {"LF", false, nullptr, &SerialOptions::text_mode, 1},
    {"ASC", false, nullptr, &SerialOptions::text_mode, 1},
    {"BIN", false, nullptr, &SerialOptions::text_mode, 0},
    {"PE", false, nullptr, &SerialOptions::parity_check, 1},
    {"DT", false, nullptr, &SerialOptions::dtr_enable, 1},
    {"FE", false, nullptr, &SerialOptions::fe_flag, 1},
    {"ME", false, nullptr, &SerialOptions::me_flag, 1},
    {"IR", true, &SerialOptions::ir_value, nullptr, 0},
};

bool keyword_item(std::string_view item, SerialOptions& options) {
    for (const Keyword& k : kKeywords) {
        if (k.with_number) {
            if (!starts_with_nocase(item, k.word)) continue;
            return whole_unsigned(item.substr(k.word.size()), options.*k.number);
        }
        if (equals_nocase(item, k.word)) {
            options.*k.flag = k.flag_value;
            return true;
        }
    }
    return false;
}

bool apply_item(std::string_view item, int position, SerialOptions& options,
                bool& stop_bits_given) {
    switch (position) {
        case 0:
            return whole_unsigned(item, options.baud_rate);
        case 1:
            return parity_item(item, options);
        case 2:
            return whole_unsigned(item, options.data_bits);
        case 3:
            return stop_bits_given = whole_stop_bits(item, options.stop_bits);
        default:
            return keyword_item(item, options);
    }
}

}  // namespace

std::optional<std::uint32_t> parse_serial_device_name(const char* text, std::size_t length) {
    const std::string_view name(text, length);
    if (starts_with_nocase(name, "SER:")) return 1u;
    if (name.size() <= 3) return std::nullopt;
    if (starts_with_nocase(name, "COM")) {
        std::uint32_t port = 0;
        std::size_t i = 3;
        for (; i < name.size() && std::isdigit(static_cast<unsigned char>(name[i])); ++i)
            port = port * 10 + static_cast<std::uint32_t>(name[i] - '0');
        if (i < name.size() && name[i] == ':') return port;
        return std::nullopt;
    }
    if (name.find(':') != std::string_view::npos) return 0u;
    return std::nullopt;
}

int parse_serial_options(const char* text, std::size_t length, SerialOptions& options) {
    const std::optional<std::uint32_t> port = parse_serial_device_name(text, length);
    if (!port) return InvalidCall;
    const std::string_view whole(text, length);
    const std::size_t colon = whole.find(':');
    options.port = *port;
    if (*port != 0)
        options.device_name = "COM" + std::to_string(*port) + ":";
    else
        options.device_name = std::string(whole.substr(0, colon));

    const std::string_view rest = whole.substr(colon + 1);
    bool stop_bits_given = false;
    int position = 0;
    std::size_t i = 0;
    for (;;) {
        while (i < rest.size() && is_blank(rest[i])) ++i;
        if (i == rest.size()) break;
        if (rest[i] == ',') {
            ++i;
            ++position;
            continue;
        }
        std::size_t end = rest.find(',', i);
        if (end == std::string_view::npos) end = rest.size();
        std::size_t last = end;
        while (last > i && is_blank(rest[last - 1])) --last;
        if (!apply_item(rest.substr(i, last - i), position, options, stop_bits_given))
            return InvalidCall;
        ++position;
        i = end < rest.size() ? end + 1 : end;
    }

    if (!stop_bits_given) {
        if (options.baud_rate > 110)
            options.stop_bits = SerialStopBits::One;
        else
            options.stop_bits =
                options.data_bits == 5 ? SerialStopBits::OneAndHalf : SerialStopBits::Two;
    }
    return Success;
}

}  // namespace cncsend
