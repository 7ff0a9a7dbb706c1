#include "channels/read_channel.hpp"

#include <cstring>

#include "channels/open_channel.hpp"

namespace cncsend {

namespace {

ConsoleReadInstaller console_read_installer = nullptr;

// Hands out held put-back bytes, front first, and moves the rest up.
// Channels with a wider encoding hold each byte as a 16-bit unit.
std::size_t take_put_back(Channel& ch, void* buffer, std::size_t count, bool wide) {
    const std::size_t unit = ch.encoding == TextEncoding::Ascii ? 1 : 2;
    std::size_t held = static_cast<std::size_t>(ch.putback_count) / unit;
    std::size_t n = held < count ? held : count;
    for (std::size_t i = 0; i < n; ++i) {
        std::uint16_t value = ch.putback[i * unit];
        if (unit == 2) value |= static_cast<std::uint16_t>(ch.putback[i * unit + 1] << 8);
        if (wide)
            static_cast<std::uint16_t*>(buffer)[i] = value;
        else
            static_cast<unsigned char*>(buffer)[i] = static_cast<unsigned char>(value);
    }
    const std::size_t used = n * unit;
    const std::size_t left = static_cast<std::size_t>(ch.putback_count) - used;
    std::memmove(ch.putback, ch.putback + used, left);
    ch.putback_count = static_cast<std::int32_t>(left);
    return n;
}

// A Random read covers whole records: skip what the short read left of the
// record, using up held put-back bytes before moving the stream.
int pad_to_record(Channel& ch, std::size_t delivered, bool wide) {
    const auto record = static_cast<std::size_t>(ch.record_length);
    const std::size_t bytes = wide ? 2 * delivered : delivered;
    std::size_t missing = (record - bytes % record) % record;
    const auto dropped = static_cast<std::size_t>(ch.putback_count) < missing
                             ? static_cast<std::size_t>(ch.putback_count)
                             : missing;
    std::memmove(ch.putback, ch.putback + dropped, ch.putback_count - dropped);
    ch.putback_count -= static_cast<std::int32_t>(dropped);
    missing -= dropped;
    if (missing == 0) return 0;
    return ch.ops->seek(ch, static_cast<std::int64_t>(missing), 1);
}

}  // namespace

void set_console_read_installer(ConsoleReadInstaller install) {
    console_read_installer = install;
}

int read_channel(int number, std::int64_t position, void* buffer, std::size_t count,
                 std::size_t& delivered, bool pad_record, bool wide) {
    delivered = 0;
    Channel* ch = resolve_channel(number);
    if (!is_open(ch) || position < 0) return set_last_error(InvalidCall);

    int code = position != 0 ? seek_to_record(*ch, position) : 0;
    std::size_t got = take_put_back(*ch, buffer, count, wide);

    if (code == 0 && got < count) {
        std::size_t wanted = count - got;
        if (wide) {
            if (!ch->ops->read_wide) {
                code = InvalidCall;
            } else {
                code = ch->ops->read_wide(*ch, static_cast<std::uint16_t*>(buffer) + got, wanted);
                got += wanted;
            }
        } else {
            if (!ch->ops->read) {
                code = InvalidCall;
            } else {
                code = ch->ops->read(*ch, static_cast<char*>(buffer) + got, wanted);
                got += wanted;
            }
        }
    }

    if (code == 0 && pad_record && ch->mode == ChannelMode::Random && ch->record_length != 0 &&
        ch->ops->seek) {
        if (count != static_cast<std::size_t>(ch->record_length))
            code = TransferFailure;
        else
            code = pad_to_record(*ch, got, wide);
    }

    delivered = got;
    return set_last_error(code);
}

std::string read_bytes(std::int32_t count, int number) {
    Channel& console = *resolve_channel(0);
    if (console_read_installer && (!console.ops || !console.ops->read)) console_read_installer();

    Channel* ch = resolve_channel(number);
    if (!is_open(ch) || count <= 0) return {};

    std::string bytes(static_cast<std::size_t>(count), '\0');
    std::size_t got = 0;
    if (ch == &console) {
        while (got < bytes.size()) {
            std::size_t delivered = 0;
            if (read_channel(number, 0, bytes.data() + got, bytes.size() - got, delivered, true,
                             false) != 0)
                return {};
            got += delivered;
        }
        return bytes;
    }
    if (read_channel(number, 0, bytes.data(), bytes.size(), got, true, false) != 0) return {};
    bytes.resize(got);
    return bytes;
}

int channel_at_end(int number) {
    Channel* ch = resolve_channel(number);
    if (!is_open(ch) || !ch->ops->at_end) return -1;
    if (ch->putback_count > 0) return 0;
    return ch->ops->at_end(*ch);
}

std::int64_t channel_length(int number) {
    Channel* ch = resolve_channel(number);
    if (!is_open(ch) || !ch->ops->seek || !ch->ops->tell) return 0;
    std::int64_t saved = 0;
    if (ch->ops->tell(*ch, saved) != 0) return 0;
    if (ch->ops->seek(*ch, 0, 2) != 0) return 0;
    std::int64_t length = 0;
    ch->ops->tell(*ch, length);
    ch->ops->seek(*ch, saved, 0);
    return length;
}

std::int64_t channel_position(int number) {
    Channel* ch = resolve_channel(number);
    if (!is_open(ch) || !ch->ops->tell) return 0;
    std::int64_t told = 0;
    if (ch->ops->tell(*ch, told) != 0 || told == -1) return 0;
    std::int64_t q = told - ch->putback_count;
    if (ch->mode == ChannelMode::Random && ch->record_length != 0) q /= ch->record_length;
    if (q == -1) return 0;
    if (ch->mode == ChannelMode::Input || ch->mode == ChannelMode::Output) return q / 128;
    return q;
}

}  // namespace cncsend
