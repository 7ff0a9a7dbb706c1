#pragma once
// Channel 0, the console: set up the first time anything needs it, never
// closed. Its operation table starts empty; each console part installs its
// operation the first time it is needed.

#include <cstdint>

#include "channels/channel.hpp"

namespace cncsend {

// The console channel's device: keys waiting to be delivered as bytes.
struct ConsoleKeyBuffer {
    unsigned char bytes[16];
    std::uint32_t count;
};

// The console channel, set up on first use.
Channel& console_channel();
// Its operation table (writable, so that each console part installs its own
// operation).
ChannelOps& console_channel_ops();
// Makes sure the console channel writes through console_write.
void install_console_write();
// Forgets the console channel; the next use sets it up again.
void release_console_channel();

}  // namespace cncsend
