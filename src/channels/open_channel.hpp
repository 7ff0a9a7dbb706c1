#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "channels/channel.hpp"

namespace cncsend {

// A kind's opener: called on a freshly reset channel with a NUL-terminated
// copy of the name. Must set ops and device on success and may set size,
// kind and access; leaves nothing allocated when it fails.
using DeviceOpener = int (*)(Channel& ch, const char* name, std::size_t length);

int open_channel(Channel& ch, const std::string& name, ChannelMode mode, ChannelAccess access,
                 std::int32_t lock_mode, std::int32_t record_length, TextEncoding encoding,
                 DeviceOpener opener);

TextEncoding parse_encoding_name(const std::optional<std::string>& name);

int close_channel(int number);
void close_all_channels();

int put_back_bytes(int number, const char* bytes, std::size_t count);

int write_channel(int number, std::int64_t position, const char* bytes, std::size_t count,
                  bool pad_record, bool track_column, bool wide);
int seek_to_record(Channel& ch, std::int64_t position);

}  // namespace cncsend
