#pragma once
// Numbered channels: the record every file, serial port and the console is
// reached through, and the table of operations a kind of channel plugs in.

#include <cstddef>
#include <cstdint>
#include <string>

namespace cncsend {

enum class ChannelMode : std::int32_t { Binary = 0, Random = 1, Input = 2, Output = 3, Append = 4 };
enum class ChannelAccess : std::int32_t { Default = 0, Read = 1, Write = 2, ReadWrite = 3 };
enum class TextEncoding : std::int32_t { Ascii = 0, Utf8 = 1, Utf16 = 2, Utf32 = 3 };
enum class ChannelKind : std::int32_t { None = 0, ConsoleFile = 1, Ordinary = 4, Serial = 6 };

// Error codes of every channel operation; also kept as the last error.
enum ErrorCode : int {
    Success = 0,
    InvalidCall = 1,
    CannotOpen = 2,
    TransferFailure = 3,
    OutOfMemory = 4,
    SettingsUnreadable = 8,
};

struct Channel;

// Fourteen slots in a fixed order; any slot may be empty.
struct ChannelOps {
    int (*at_end)(Channel& ch);
    int (*close)(Channel& ch);
    int (*seek)(Channel& ch, std::int64_t offset, int origin);  // 0 start, 1 current, 2 end
    int (*tell)(Channel& ch, std::int64_t& position);
    int (*read)(Channel& ch, char* buffer, std::size_t& count);
    int (*read_wide)(Channel& ch, std::uint16_t* buffer, std::size_t& count);
    int (*write)(Channel& ch, const char* bytes, std::size_t count);
    int (*write_wide)(Channel& ch, const std::uint16_t* chars, std::size_t count);
    int (*lock)(Channel& ch, std::int64_t position, std::int64_t length);
    int (*unlock)(Channel& ch, std::int64_t position, std::int64_t length);
    int (*read_line)(Channel& ch, std::string& line);
    int (*read_line_wide)(Channel& ch, std::uint16_t* buffer, std::size_t capacity);
    void (*reserved)();
    int (*flush)(Channel& ch);
};

struct Channel {
    ChannelMode mode;
    std::int32_t record_length;
    TextEncoding encoding;
    std::int64_t size;  // -1 while unknown
    ChannelKind kind;
    ChannelAccess access;
    std::int32_t lock_mode;
    std::int32_t column;  // output column, kept by write_channel
    std::uint32_t width;  // when not 0, column is kept modulo width
    unsigned char putback[4];
    std::int32_t putback_count;
    const ChannelOps* ops;  // empty exactly when the channel is closed
    void* device;
};

// Slot 0 is the console, 1 to 255 the numbered channels, and the last slot
// is the reserved one that channel number -1 reaches and nothing opens.
constexpr int kChannelSlots = 257;
constexpr int kReservedSlot = 256;
constexpr int kMaxChannel = 255;

struct ChannelTable {
    Channel slots[kChannelSlots];
};

// Process-wide I/O state: the recorded arguments, the console channel and
// the channel table, and whether any open was attempted.
struct IoState {
    std::int32_t argument_count;
    char** argument_vector;
    ChannelTable channels;
    bool any_channel_opened;
};

IoState& io_state();

inline bool is_open(const Channel* ch) {
    return ch != nullptr && ch->ops != nullptr;
}

// 0 the console, -1 the reserved slot, 1..255 that channel, else nullptr.
Channel* resolve_channel(int number);

int set_last_error(int code);
int last_error();
// Drops the error record; the next use creates it anew, zeroed.
void release_error_state();

}  // namespace cncsend
