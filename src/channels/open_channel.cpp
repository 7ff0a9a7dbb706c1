#include "channels/open_channel.hpp"

#include <cctype>

namespace cncsend {

namespace {

bool uses_record_length(ChannelMode mode) {
    return mode == ChannelMode::Random || mode == ChannelMode::Input || mode == ChannelMode::Output;
}

// The opener left the size unknown: find it through the kind's operations.
void find_size(Channel& ch) {
    const ChannelOps& ops = *ch.ops;
    if (!ops.seek || !ops.tell) {
        ch.size = 0;
        return;
    }
    std::int64_t position = 0;
    switch (ch.mode) {
        case ChannelMode::Binary:
        case ChannelMode::Random:
        case ChannelMode::Input:
            if (ops.seek(ch, 0, 2) != 0) return;
            ops.tell(ch, position);
            ch.size = position;
            ops.seek(ch, 0, 0);
            return;
        case ChannelMode::Append:
            ops.tell(ch, position);
            ch.size = position;
            return;
        default:
            ch.size = 0;
            return;
    }
}

}  // namespace

int open_channel(Channel& ch, const std::string& name, ChannelMode mode, ChannelAccess access,
                 std::int32_t lock_mode, std::int32_t record_length, TextEncoding encoding,
                 DeviceOpener opener) {
    if (is_open(&ch)) return set_last_error(InvalidCall);
    io_state().any_channel_opened = true;

    ch = Channel{};
    ch.mode = mode;
    ch.encoding = encoding;
    ch.access = access;
    ch.lock_mode = lock_mode;
    ch.size = 0;
    ch.kind = ChannelKind::Ordinary;
    ch.column = 0;
    ch.record_length = uses_record_length(mode) ? (record_length > 0 ? record_length : 128) : 0;

    ch.size = -1;
    const std::string copy = name;  // the opener gets its own NUL-terminated copy
    int code = opener(ch, copy.c_str(), copy.size());
    if (code != 0) {
        ch = Channel{};
        return set_last_error(code);
    }
    if (ch.size == -1) find_size(ch);
    return set_last_error(Success);
}

TextEncoding parse_encoding_name(const std::optional<std::string>& name) {
    if (!name) return TextEncoding::Ascii;
    const std::string& text = *name;
    if (text.size() < 3 || std::toupper(static_cast<unsigned char>(text[0])) != 'U' ||
        std::toupper(static_cast<unsigned char>(text[1])) != 'T' ||
        std::toupper(static_cast<unsigned char>(text[2])) != 'F')
        return TextEncoding::Ascii;
    std::string rest = text.substr(3);
    if (!rest.empty() && rest[0] == '-') rest.erase(0, 1);
    if (!rest.empty() && rest[0] == '8') return TextEncoding::Utf8;
    if (rest == "16") return TextEncoding::Utf16;
    if (rest == "32") return TextEncoding::Utf32;
    return TextEncoding::Ascii;
}

int close_channel(int number) {
    Channel* ch = number == 0 ? nullptr : resolve_channel(number);
    if (!is_open(ch)) return set_last_error(InvalidCall);
    if (ch->ops->close) ch->ops->close(*ch);
    *ch = Channel{};
    return set_last_error(Success);
}

void close_all_channels() {
    IoState& state = io_state();
    if (!state.any_channel_opened) return;
    state.any_channel_opened = false;
    for (int number = 1; number <= kMaxChannel; ++number) {
        Channel& ch = state.channels.slots[number];
        if (is_open(&ch) && ch.ops->close) ch.ops->close(ch);
    }
    for (int number = 1; number <= kMaxChannel; ++number) state.channels.slots[number] = Channel{};
}

int put_back_bytes(int number, const char* bytes, std::size_t count) {
    Channel* ch = resolve_channel(number);
    if (!is_open(ch)) return set_last_error(InvalidCall);
    set_last_error(Success);
    const bool wide = ch->encoding != TextEncoding::Ascii;
    const std::size_t needed = wide ? 2 * count : count;
    if (static_cast<std::size_t>(ch->putback_count) + needed > sizeof ch->putback)
        return set_last_error(TransferFailure);

    unsigned char fresh[sizeof ch->putback];
    std::size_t n = 0;
    // The bound repeats the check above in a form the compiler can follow.
    for (std::size_t i = 0; i < count && n + (wide ? 2 : 1) <= sizeof fresh; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        fresh[n++] = byte;
        // A 16-bit unit, sign-extended, low byte first.
        if (wide) fresh[n++] = (byte & 0x80) ? 0xFF : 0x00;
    }
    for (int i = ch->putback_count - 1; i >= 0; --i) ch->putback[i + n] = ch->putback[i];
    for (std::size_t i = 0; i < n; ++i) ch->putback[i] = fresh[i];
    ch->putback_count += static_cast<std::int32_t>(n);
    return Success;
}

int seek_to_record(Channel& ch, std::int64_t position) {
    if (!is_open(&ch) || !ch.ops->seek) return set_last_error(InvalidCall);
    ch.putback_count = 0;
    std::int64_t offset = position - 1;
    if (ch.mode == ChannelMode::Random) offset *= ch.record_length;
    return set_last_error(ch.ops->seek(ch, offset, 0));
}

int write_channel(int number, std::int64_t position, const char* bytes, std::size_t count,
                  bool pad_record, bool track_column, bool wide) {
    Channel* ch = resolve_channel(number);
    if (!is_open(ch) || position < 0) return set_last_error(InvalidCall);
    ch->putback_count = 0;
    if (position != 0) {
        int code = seek_to_record(*ch, position);
        if (code != 0) return code;
    }

    int code;
    if (wide) {
        if (!ch->ops->write_wide) return set_last_error(InvalidCall);
        std::basic_string<std::uint16_t> chars(bytes, bytes + count);
        code = ch->ops->write_wide(*ch, chars.data(), count);
    } else {
        if (!ch->ops->write) return set_last_error(InvalidCall);
        code = ch->ops->write(*ch, bytes, count);
    }

    if (code == 0 && pad_record && ch->mode == ChannelMode::Random && ch->record_length != 0 &&
        ch->ops->seek) {
        const auto record = static_cast<std::size_t>(ch->record_length);
        if (count != record) return set_last_error(TransferFailure);
        const std::size_t written = wide ? 2 * count : count;
        const std::size_t missing = (record - written % record) % record;
        if (missing != 0) code = ch->ops->seek(*ch, static_cast<std::int64_t>(missing), 1);
    }

    if (code == 0 && track_column) {
        std::size_t i = count;
        while (i > 0 && bytes[i - 1] != '\r' && bytes[i - 1] != '\n') --i;
        if (i > 0)
            ch->column = static_cast<std::int32_t>(count - i);
        else
            ch->column += static_cast<std::int32_t>(count);
        if (ch->width != 0)
            ch->column =
                static_cast<std::int32_t>(static_cast<std::uint32_t>(ch->column) % ch->width);
    }
    return set_last_error(code);
}

}  // namespace cncsend
