#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

#include "channels/channel.hpp"

namespace cncsend {

extern const ChannelOps FileOps;

int open_file_channel(const std::string& name, ChannelMode mode, ChannelAccess access,
                      std::int32_t lock_mode, int number, std::int32_t record_length);

// The file kind's opener.
int open_file_device(Channel& ch, const char* name, std::size_t length);

// The C stream of a file channel, nullptr when there is none.
inline std::FILE* file_stream(const Channel& ch) {
    return static_cast<std::FILE*>(ch.device);
}

// Next byte of a file channel's data, or EOF. Input mode reads text: CR LF
// comes as one LF and a Ctrl-Z byte ends the data (it stays unread, so the
// end holds for every later read). Other modes give the bytes as stored.
int file_get_byte(Channel& ch);

// The file kind's line operation.
int file_read_line(Channel& ch, std::string& line);

}  // namespace cncsend
