#include <cstdint>
#include <fstream>
#include <string>

#include "channel_files.hpp"

namespace cncsend {
namespace {

std::string read_at(int number, std::int64_t position, std::size_t count, bool pad,
                    int expected_code = 0) {
    std::string buffer(count, '?');
    std::size_t delivered = 99;
    EXPECT_EQ(read_channel(number, position, buffer.data(), count, delivered, pad, false),
              expected_code);
    buffer.resize(delivered);
    return buffer;
}

TEST_F(ChannelFiles, ClosedAndUnknownChannelsGiveNeutralValues) {
    open_with(3, "abc", ChannelMode::Binary);
    close_channel(3);
    for (int number : {3, 0, -1, 256, -7}) {
        SCOPED_TRACE(number);
        EXPECT_EQ(read_at(number, 0, 4, false, 1), "");
        set_last_error(0);
        EXPECT_EQ(read_bytes(4, number), "");
        EXPECT_EQ(last_error(), 0);
        EXPECT_EQ(channel_at_end(number), -1);
        EXPECT_EQ(channel_length(number), 0);
        EXPECT_EQ(channel_position(number), 0);
    }
    open_with(1, "abc", ChannelMode::Binary);
    EXPECT_EQ(read_at(1, -1, 2, false, 1), "");
}

TEST_F(ChannelFiles, ReadBytesGivesWhatIsLeft) {
    open_with(1, "abcdefgh", ChannelMode::Binary);
    EXPECT_EQ(read_bytes(5, 1), "abcde");
    EXPECT_EQ(read_bytes(5, 1), "fgh");
    EXPECT_EQ(read_bytes(5, 1), "");
    EXPECT_EQ(read_bytes(0, 1), "");
}

TEST_F(ChannelFiles, PutBackBytesAreReadFirstAndCount) {
    open_with(1, "ABCDEF", ChannelMode::Binary);
    EXPECT_EQ(read_bytes(6, 1), "ABCDEF");
    EXPECT_EQ(channel_at_end(1), -1);
    EXPECT_EQ(channel_position(1), 6);

    ASSERT_EQ(put_back_bytes(1, "EF", 2), 0);
    EXPECT_EQ(channel_at_end(1), 0);
    EXPECT_EQ(channel_position(1), 4);
    EXPECT_EQ(channel_length(1), 6);

    EXPECT_EQ(read_bytes(1, 1), "E");
    EXPECT_EQ(channel_position(1), 5);
    EXPECT_EQ(read_bytes(4, 1), "F");
    EXPECT_EQ(channel_at_end(1), -1);
}

TEST_F(ChannelFiles, PositionAndLengthByMode) {
    const std::string bytes(300, 'x');
    open_with(1, bytes, ChannelMode::Binary);
    open_with(2, bytes, ChannelMode::Input);
    open_with(3, bytes, ChannelMode::Random, 64);
    EXPECT_EQ(read_bytes(300, 1).size(), 300u);
    EXPECT_EQ(read_bytes(300, 2).size(), 300u);
    EXPECT_EQ(read_at(3, 0, 130, false), std::string(130, 'x'));

    EXPECT_EQ(channel_position(1), 300);
    EXPECT_EQ(channel_position(2), 2);  // whole 128-byte blocks
    EXPECT_EQ(channel_position(3), 2);  // whole records
    for (int number : {1, 2, 3}) EXPECT_EQ(channel_length(number), 300);
    EXPECT_EQ(channel_position(3), 2);  // measuring the length keeps the place

    const std::string out = write_file("out", "");
    ASSERT_EQ(open_file_channel(out, ChannelMode::Output, ChannelAccess::Default, 0, 4, 0), 0);
    ASSERT_EQ(write_channel(4, 0, bytes.data(), bytes.size(), false, false, false), 0);
    EXPECT_EQ(channel_position(4), 2);
    EXPECT_EQ(channel_length(4), 300);
}

TEST_F(ChannelFiles, InputModeReadsText) {
    open_with(1,
              "a\r\nb\rc\x1a"
              "d",
              ChannelMode::Input);
    EXPECT_EQ(read_bytes(10, 1), "a\nb\rc");
    EXPECT_EQ(channel_at_end(1), -1);
    EXPECT_EQ(read_bytes(10, 1), "");
}

TEST_F(ChannelFiles, EndTestUsesTheLengthFoundAtOpen) {
    const std::string path = write_file("grows", "abc");
    ASSERT_EQ(open_file_channel(path, ChannelMode::Binary, ChannelAccess::Read, 0, 1, 0), 0);
    std::ofstream(path, std::ios::binary | std::ios::app) << "de";
    EXPECT_EQ(read_bytes(3, 1), "abc");
    EXPECT_EQ(channel_at_end(1), -1);
    EXPECT_EQ(channel_length(1), 5);
}

TEST_F(ChannelFiles, RandomReadsWholeRecords) {
    open_with(1, "AAAABBBBCC", ChannelMode::Random, 4);
    EXPECT_EQ(read_at(1, 2, 4, true), "BBBB");
    EXPECT_EQ(channel_position(1), 2);
    // A short last record still moves to the next record boundary.
    EXPECT_EQ(read_at(1, 0, 4, true), "CC");
    EXPECT_EQ(channel_position(1), 3);
    EXPECT_EQ(read_at(1, 1, 3, true, 3), "AAA");

    // Put-back bytes count toward the record.
    EXPECT_EQ(read_at(1, 1, 2, false), "AA");
    ASSERT_EQ(put_back_bytes(1, "Z", 1), 0);
    EXPECT_EQ(read_at(1, 0, 4, true), "ZAAB");
    EXPECT_EQ(channel_position(1), 1);
}

TEST_F(ChannelFiles, WideReadWidensPutBackAndData) {
    open_with(1, "\x80q", ChannelMode::Binary);
    ASSERT_EQ(put_back_bytes(1, "p", 1), 0);
    std::uint16_t chars[4] = {9, 9, 9, 9};
    std::size_t delivered = 0;
    EXPECT_EQ(read_channel(1, 0, chars, 4, delivered, false, true), 0);
    EXPECT_EQ(delivered, 3u);
    EXPECT_EQ(chars[0], u'p');
    EXPECT_EQ(chars[1], 0x80);
    EXPECT_EQ(chars[2], u'q');
    EXPECT_EQ(chars[3], 0);
}

// The console channel belongs to the console layer; a stand-in table that
// hands out one key per call shows read_bytes waiting for the full count.
std::string console_keys;
int one_key(Channel&, char* buffer, std::size_t& count) {
    if (count > 0 && !console_keys.empty()) {
        buffer[0] = console_keys[0];
        console_keys.erase(0, 1);
        count = 1;
    } else {
        count = 0;
    }
    return 0;
}
ChannelOps console_ops{};
void install_console_read() {
    console_ops.read = one_key;
}

TEST_F(ChannelFiles, ConsoleReadBytesWaitsForEveryByte) {
    Channel& console = *resolve_channel(0);
    console = Channel{};
    console.mode = ChannelMode::Append;
    console_ops = ChannelOps{};
    console.ops = &console_ops;
    set_console_read_installer(install_console_read);
    console_keys = "xyz";

    EXPECT_EQ(read_bytes(2, 0), "xy");
    EXPECT_EQ(console_ops.read, one_key);
    // No at_end, seek or tell: the console is always at its end, unmeasured,
    // and has no line operation of its own.
    EXPECT_EQ(channel_at_end(0), -1);
    EXPECT_EQ(channel_length(0), 0);
    EXPECT_EQ(channel_position(0), 0);
    std::string line = "kept";
    EXPECT_EQ(read_line(0, line), 1);
    EXPECT_EQ(line, "kept");

    set_console_read_installer(nullptr);
    console = Channel{};
}

}  // namespace
}  // namespace cncsend
