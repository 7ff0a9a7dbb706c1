#include <cstring>

#include "channels/file_channel.hpp"
#include "channels/open_channel.hpp"
#include "channels/read_channel.hpp"
#include "platform/file_system.hpp"

namespace cncsend {

namespace {

constexpr int kCtrlZ = 26;
constexpr std::size_t kWorkBuffer = 1024;

ByteSet line_ends(bool text) {
    ByteSet stops{};
    stops['\n'] = true;
    stops['\r'] = true;
    // Text mode ends the data at Ctrl-Z.
    if (text) stops[kCtrlZ] = true;
    return stops;
}

const ByteSet kBinaryStops = line_ends(false);
const ByteSet kTextStops = line_ends(true);

int take_put_back_byte(Channel& ch) {
    if (ch.putback_count == 0) return EOF;
    const int c = ch.putback[0];
    std::memmove(ch.putback, ch.putback + 1, static_cast<std::size_t>(ch.putback_count) - 1);
    --ch.putback_count;
    return c;
}

// After a CR: an LF directly behind it belongs to the same line end.
void skip_line_feed(Channel& ch, std::FILE* f) {
    if (ch.putback_count > 0) {
        if (ch.putback[0] == '\n') take_put_back_byte(ch);
        return;
    }
    const int next = std::getc(f);
    if (next != '\n' && next != EOF) std::ungetc(next, f);
}

// Every answer but 0 is the end: the serial kind says 1 when nothing is
// waiting, and a line must never wait for bytes that may not come. A byte
// given back after the data's last CR still belongs to a line.
bool at_data_end(Channel& ch) {
    return ch.putback_count == 0 && ch.ops->at_end(ch) != 0;
}

// Reads one byte at a time through read_channel, for kinds without a line
// operation of their own.
int read_line_by_bytes(int number, Channel& ch, std::string& line) {
    if (!ch.ops->read || !ch.ops->at_end) return set_last_error(InvalidCall);
    std::string gathered;
    char work[kWorkBuffer];
    std::size_t held = 0;
    for (;;) {
        if (at_data_end(ch)) break;
        char c = 0;
        std::size_t delivered = 0;
        if (read_channel(number, 0, &c, 1, delivered, false, false) != 0) break;
        if (delivered == 0) continue;
        if (c == '\n') break;
        if (c == '\r') {
            char next = 0;
            if (!at_data_end(ch) &&
                read_channel(number, 0, &next, 1, delivered, false, false) == 0 && delivered == 1 &&
                next != '\n')
                put_back_bytes(number, &next, 1);
            break;
        }
        work[held++] = c;
        if (held == kWorkBuffer) {
            gathered.append(work, held);
            held = 0;
        }
    }
    gathered.append(work, held);
    line = std::move(gathered);
    return set_last_error(Success);
}

}  // namespace

// LF, CR LF and a lone CR each end a line wherever they fall; every other
// byte, NUL included, belongs to the line. Job lines go to the machine one
// by one, so how the file happens to be buffered must never move a line end.
int file_read_line(Channel& ch, std::string& line) {
    std::FILE* f = file_stream(ch);
    if (!f) return InvalidCall;
    const bool text = ch.mode == ChannelMode::Input;
    line.clear();

    // Bytes given back to the channel are the oldest unread ones.
    while (ch.putback_count > 0) {
        const int c = take_put_back_byte(ch);
        if (c == '\n') return 0;
        if (c == '\r') {
            skip_line_feed(ch, f);
            return 0;
        }
        line.push_back(static_cast<char>(c));
    }

    const int end = stream_read_until(f, line, text ? kTextStops : kBinaryStops);
    if (end == '\r') skip_line_feed(ch, f);
    // The Ctrl-Z stays unread so the end holds for every later read.
    if (end == kCtrlZ) std::ungetc(end, f);
    return 0;
}

int read_line(int number, std::string& line) {
    Channel* ch = resolve_channel(number);
    if (!is_open(ch)) return set_last_error(InvalidCall);
    if (ch->ops->read_line) {
        ch->ops->read_line(*ch, line);
        return set_last_error(Success);
    }
    return read_line_by_bytes(number, *ch, line);
}

}  // namespace cncsend
