#include "console/console_channel.hpp"

#include "console/console_screen.hpp"

namespace cncsend {

namespace {

ChannelOps console_ops{};

int write_to_console(Channel&, const char* bytes, std::size_t count) {
    console_write(bytes, static_cast<std::uint32_t>(count), 0);
    return Success;
}

}  // namespace

Channel& console_channel() {
    Channel& ch = io_state().channels.slots[0];
    if (ch.ops != nullptr) return ch;
    ch = Channel{};
    ch.mode = ChannelMode::Append;
    ch.kind = ChannelKind::Ordinary;
    ch.access = ChannelAccess::ReadWrite;
    ch.width = static_cast<std::uint32_t>(console_size().width);
    // An unreadable cursor reports column 0; the channel still starts at the
    // line's beginning rather than before it.
    const std::int32_t column = cursor_column() - 1;
    ch.column = column < 0 ? 0 : column;
    ch.device = new ConsoleKeyBuffer{};
    ch.ops = &console_ops;
    return ch;
}

ChannelOps& console_channel_ops() {
    console_channel();
    return console_ops;
}

void install_console_write() {
    ChannelOps& ops = console_channel_ops();
    if (!ops.write) ops.write = write_to_console;
}

void release_console_channel() {
    Channel& ch = io_state().channels.slots[0];
    if (ch.ops == &console_ops) delete static_cast<ConsoleKeyBuffer*>(ch.device);
    ch = Channel{};
    console_ops = ChannelOps{};
}

}  // namespace cncsend
