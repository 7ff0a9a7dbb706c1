#include "console/print.hpp"

#include <cstdio>

#include "channels/channel.hpp"
#include "channels/open_channel.hpp"
#include "console/console_channel.hpp"

namespace cncsend {

int write_print_bytes(int channel, const char* bytes, std::size_t count) {
    if (channel == 0) install_console_write();
    return write_channel(channel, 0, bytes, count, true, true, false);
}

void print_text(int channel, const std::string& text, PrintItemFlags flags) {
    if (!text.empty() && (flags & (kPrintNewline | kPrintNewlineToo))) {
        // A line and its end in one write: one system call per line sent,
        // and a device that reads a line at a time gets it whole.
        const std::string line = text + "\r\n";
        write_print_bytes(channel, line.data(), line.size());
        return;
    }
    if (!text.empty()) write_print_bytes(channel, text.data(), text.size());
    end_print_item(channel, flags);
}

void print_number(int channel, double value, PrintItemFlags flags) {
    const std::string text = number_to_text(value, 16, true);
    write_print_bytes(channel, text.data(), text.size());
    end_print_item(channel, flags);
}

void print_single(int channel, float value, PrintItemFlags flags) {
    const std::string text = number_to_text(value, 7, true);
    write_print_bytes(channel, text.data(), text.size());
    end_print_item(channel, flags);
}

void end_print_item(int channel, PrintItemFlags flags) {
    if (flags & (kPrintNewline | kPrintNewlineToo))
        write_print_bytes(channel, "\r\n", 2);
    else if (flags & kPrintZone)
        advance_print_zone(channel);
}

void advance_print_zone(int channel) {
    if (channel == 0) install_console_write();
    const Channel* ch = resolve_channel(channel);
    if (!is_open(ch)) {
        set_last_error(InvalidCall);
        return;
    }
    const std::int32_t column = ch->column;
    std::int64_t start =
        (static_cast<std::int64_t>(column) + kPrintZoneWidth) / kPrintZoneWidth * kPrintZoneWidth +
        1;
    if (ch->width != 0 && start > static_cast<std::int64_t>(ch->width)) start = 1;
    if (start <= column + 1) {
        write_print_bytes(channel, "\r\n", 2);
        return;
    }
    const std::string blanks(static_cast<std::size_t>(start - column - 1), ' ');
    write_print_bytes(channel, blanks.data(), blanks.size());
}

std::string int_to_text(std::int32_t value) {
    char text[16];
    const int n = std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    return n > 0 ? std::string(text, static_cast<std::size_t>(n)) : std::string();
}

std::string number_to_text(double value, int digits, bool leading_blank) {
    // A high precision asks for more digits than any fixed buffer holds:
    // the length is taken first.
    const int n = std::snprintf(nullptr, 0, "%.*g", digits, value);
    std::string result;
    if (n > 0) {
        result.resize(static_cast<std::size_t>(n) + 1);
        std::snprintf(result.data(), result.size(), "%.*g", digits, value);
        result.pop_back();
    }
    if (leading_blank && (result.empty() || result[0] != '-')) result.insert(0, 1, ' ');
    return result;
}

}  // namespace cncsend
