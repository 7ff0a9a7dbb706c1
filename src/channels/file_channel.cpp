#include "channels/file_channel.hpp"

#include <cctype>
#include <cstring>

#include "channels/open_channel.hpp"
#include "platform/file_system.hpp"

namespace cncsend {

namespace {

constexpr std::size_t kStreamBuffer = 8192;
constexpr int kCtrlZ = 26;

std::FILE* stream_of(Channel& ch) {
    return static_cast<std::FILE*>(ch.device);
}

std::int64_t byte_order_mark_length(TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::Utf8:
            return 3;
        case TextEncoding::Utf16:
            return 2;
        case TextEncoding::Utf32:
            return 4;
        default:
            return 0;
    }
}

bool is_text(const Channel& ch) {
    return ch.mode == ChannelMode::Input;
}

int file_at_end(Channel& ch) {
    std::FILE* f = stream_of(ch);
    if (!f) return -1;
    if (ch.mode == ChannelMode::Binary || ch.mode == ChannelMode::Random) {
        std::int64_t pos = stream_tell(f);
        return pos >= ch.size ? -1 : 0;
    }
    if (std::feof(f)) return -1;
    int c = std::getc(f);
    if (c == EOF) return -1;
    std::ungetc(c, f);
    return (is_text(ch) && c == kCtrlZ) ? -1 : 0;
}

int file_close(Channel& ch) {
    if (std::FILE* f = stream_of(ch)) std::fclose(f);
    ch.device = nullptr;
    return 0;
}

int file_seek(Channel& ch, std::int64_t offset, int origin) {
    std::FILE* f = stream_of(ch);
    if (!f) return InvalidCall;
    if (origin == 2) std::fflush(f);
    return stream_seek(f, offset, origin) ? 0 : TransferFailure;
}

int file_tell(Channel& ch, std::int64_t& position) {
    std::FILE* f = stream_of(ch);
    if (!f) return InvalidCall;
    position = stream_tell(f);
    return 0;
}

std::size_t read_into(Channel& ch, char* buffer, std::size_t count) {
    std::FILE* f = stream_of(ch);
    if (!is_text(ch)) return std::fread(buffer, 1, count, f);
    std::size_t n = 0;
    while (n < count) {
        int c = file_get_byte(ch);
        if (c == EOF) break;
        buffer[n++] = static_cast<char>(c);
    }
    return n;
}

int file_read(Channel& ch, char* buffer, std::size_t& count) {
    if (!stream_of(ch)) return InvalidCall;
    std::size_t got = read_into(ch, buffer, count);
    std::memset(buffer + got, 0, count - got);
    count = got;
    return 0;
}

int file_read_wide(Channel& ch, std::uint16_t* buffer, std::size_t& count) {
    if (!stream_of(ch)) return InvalidCall;
    std::string bytes(count, '\0');
    std::size_t got = read_into(ch, bytes.data(), count);
    for (std::size_t i = 0; i < count; ++i)
        buffer[i] = i < got ? static_cast<unsigned char>(bytes[i]) : 0;
    count = got;
    return 0;
}

int file_write(Channel& ch, const char* bytes, std::size_t count) {
    std::FILE* f = stream_of(ch);
    if (!f) return InvalidCall;
    return std::fwrite(bytes, 1, count, f) == count ? 0 : TransferFailure;
}

int file_write_wide(Channel& ch, const std::uint16_t* chars, std::size_t count) {
    std::string bytes(count, '\0');
    for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>(chars[i]);
    return file_write(ch, bytes.data(), count);
}

int file_lock(Channel& ch, std::int64_t position, std::int64_t length) {
    std::FILE* f = stream_of(ch);
    if (!f || length == 0) return InvalidCall;
    const bool writable = ch.access != ChannelAccess::Read && ch.mode != ChannelMode::Input;
    return stream_lock(f, static_cast<std::uint32_t>(position), static_cast<std::uint32_t>(length),
                       writable)
               ? 0
               : TransferFailure;
}

int file_unlock(Channel& ch, std::int64_t position, std::int64_t length) {
    std::FILE* f = stream_of(ch);
    if (!f || length == 0) return InvalidCall;
    return stream_unlock(f, static_cast<std::uint32_t>(position),
                         static_cast<std::uint32_t>(length))
               ? 0
               : TransferFailure;
}

int file_flush(Channel& ch) {
    std::FILE* f = stream_of(ch);
    if (!f) return InvalidCall;
    std::fflush(f);
    return 0;
}

// Opens the stream for the mode and access of the channel; may downgrade
// the access to Read. nullptr when no open succeeded.
std::FILE* open_stream(Channel& ch, const std::string& name) {
    switch (ch.mode) {
        case ChannelMode::Binary:
        case ChannelMode::Random: {
            if (ch.access == ChannelAccess::Read) return std::fopen(name.c_str(), "rb");
            if (ch.access == ChannelAccess::Write) return std::fopen(name.c_str(), "wb");
            std::FILE* f = std::fopen(name.c_str(), "r+b");
            if (f) return f;
            if (ch.access != ChannelAccess::Default && ch.access != ChannelAccess::ReadWrite)
                return nullptr;
            f = std::fopen(name.c_str(), "w+b");
            if (f || ch.access != ChannelAccess::Default) return f;
            f = std::fopen(name.c_str(), "rb");
            if (f) ch.access = ChannelAccess::Read;
            return f;
        }
        case ChannelMode::Input:
            return std::fopen(name.c_str(), "rb");
        case ChannelMode::Output:
            return std::fopen(name.c_str(), "wb");
        default:
            return std::fopen(name.c_str(), "ab");
    }
}

bool same_text_ignoring_case(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b)
        if (std::toupper(static_cast<unsigned char>(*a)) !=
            std::toupper(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

}  // namespace

const ChannelOps FileOps = {
    file_at_end,     file_close, file_seek,   file_tell,      file_read, file_read_wide, file_write,
    file_write_wide, file_lock,  file_unlock, file_read_line, nullptr,   nullptr,        file_flush,
};

int file_get_byte(Channel& ch) {
    std::FILE* f = stream_of(ch);
    if (!f) return EOF;
    int c = std::getc(f);
    if (!is_text(ch)) return c;
    if (c == kCtrlZ) {
        std::ungetc(c, f);
        return EOF;
    }
    if (c == '\r') {
        int next = std::getc(f);
        if (next == '\n') return '\n';
        if (next != EOF) std::ungetc(next, f);
    }
    return c;
}

int open_file_device(Channel& ch, const char* name, std::size_t length) {
    const std::string native = native_file_name(std::string(name, length));
    ch.ops = &FileOps;
    if (static_cast<std::int32_t>(ch.mode) < 0 || static_cast<std::int32_t>(ch.mode) > 4)
        return InvalidCall;

    // The modes that read find the length first and stop there.
    const bool measured = ch.mode == ChannelMode::Binary || ch.mode == ChannelMode::Random ||
                          ch.mode == ChannelMode::Input;
    if (measured && !names_plain_file_or_nothing(native)) return CannotOpen;
    std::FILE* f = open_stream(ch, native);
    if (!f) return CannotOpen;
    std::setvbuf(f, nullptr, _IOFBF, kStreamBuffer);

    bool sized = true;
    switch (ch.mode) {
        case ChannelMode::Binary:
        case ChannelMode::Random:
        case ChannelMode::Input:
            sized = stream_seek(f, 0, 2) && (ch.size = stream_tell(f)) >= 0 &&
                    stream_seek(f, byte_order_mark_length(ch.encoding), 0);
            break;
        case ChannelMode::Output:
            ch.size = 0;
            break;
        default:
            sized = (ch.size = stream_tell(f)) >= 0;
            break;
    }
    if (!sized) {
        std::fclose(f);
        return InvalidCall;
    }

    if (ch.access == ChannelAccess::Default) ch.access = ChannelAccess::ReadWrite;
    ch.device = f;
    if (same_text_ignoring_case(name, "CON")) ch.kind = ChannelKind::ConsoleFile;
    return 0;
}

int open_file_channel(const std::string& name, ChannelMode mode, ChannelAccess access,
                      std::int32_t lock_mode, int number, std::int32_t record_length) {
    if (number < 1 || number > kMaxChannel) return set_last_error(InvalidCall);
    return open_channel(*resolve_channel(number), name, mode, access, lock_mode, record_length,
                        TextEncoding::Ascii, open_file_device);
}

}  // namespace cncsend
