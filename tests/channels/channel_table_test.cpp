#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "channel_fixture.hpp"
#include "channels/file_channel.hpp"

namespace cncsend::test {
namespace {

using Mode = ChannelMode;
using Access = ChannelAccess;

TEST(ChannelTable, ResolvesConsoleReservedAndNumberedSlots) {
    EXPECT_EQ(resolve_channel(0), &io_state().channels.slots[0]);
    EXPECT_EQ(resolve_channel(-1), &io_state().channels.slots[kReservedSlot]);
    EXPECT_EQ(resolve_channel(255), &io_state().channels.slots[255]);
    EXPECT_EQ(resolve_channel(256), nullptr);
    EXPECT_EQ(resolve_channel(-2), nullptr);
}

TEST(EncodingName, ParsesUtfNamesAndFallsBackToAscii) {
    struct Case {
        std::optional<std::string> text;
        TextEncoding encoding;
    } cases[] = {
        {"utf-8", TextEncoding::Utf8},       {"UTF8x", TextEncoding::Utf8},
        {"UTF-16", TextEncoding::Utf16},     {"UTF32", TextEncoding::Utf32},
        {"UTF-16LE", TextEncoding::Ascii},   {"ASCII", TextEncoding::Ascii},
        {std::nullopt, TextEncoding::Ascii}, {"UT", TextEncoding::Ascii},
        {"utf--8", TextEncoding::Ascii},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parse_encoding_name(c.text), c.encoding) << c.text.value_or("(none)");
}

TEST_F(ChannelTest, CloseRulesAndCloseAll) {
    EXPECT_EQ(open_file_channel(dir.file("missing"), Mode::Input, Access::Read, 0, 3, 0), 2);
    EXPECT_EQ(close_channel(3), 1) << "a failed open leaves nothing to close";
    EXPECT_EQ(close_channel(0), 1);
    EXPECT_EQ(close_channel(-1), 1);
    EXPECT_EQ(close_channel(300), 1);

    for (int number : {1, 7, 255})
        ASSERT_EQ(open_file_channel(dir.file(std::to_string(number) + ".out"), Mode::Output,
                                    Access::Default, 0, number, 0),
                  0);
    write_channel(7, 0, "flushed", 7, true, true, false);
    close_all_channels();
    for (int number : {1, 7, 255}) EXPECT_FALSE(is_open(resolve_channel(number)));
    EXPECT_FALSE(io_state().any_channel_opened);
    EXPECT_EQ(read_file(dir.file("7.out")), "flushed") << "closing flushes the stream";
}

TEST_F(ChannelTest, PutBackReturnsNewestFirstAndRefusesOverflow) {
    write_file(dir.file("f"), "xyz");
    ASSERT_EQ(open_file_channel(dir.file("f"), Mode::Binary, Access::Read, 0, 2, 0), 0);
    Channel& ch = *resolve_channel(2);

    EXPECT_EQ(put_back_bytes(2, "ABC", 3), 0);
    EXPECT_EQ(put_back_bytes(2, "DE", 2), 3);
    EXPECT_EQ(last_error(), 3);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(ch.putback), 3), "ABC");
    EXPECT_EQ(ch.putback_count, 3);

    ch.putback_count = 0;
    put_back_bytes(2, "A", 1);
    put_back_bytes(2, "B", 1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(ch.putback), 2), "BA");

    EXPECT_EQ(put_back_bytes(3, "A", 1), 1) << "closed channel";
}

TEST_F(ChannelTest, PutBackOnAWideChannelStoresSignExtendedUnits) {
    write_file(dir.file("f"), "");
    ASSERT_EQ(open_channel(*resolve_channel(2), dir.file("f"), Mode::Binary, Access::Read, 0, 0,
                           TextEncoding::Utf16, open_file_device),
              0);
    EXPECT_EQ(put_back_bytes(2, "\x81", 1), 0);
    EXPECT_EQ(put_back_bytes(2, "ab", 2), 3) << "two more units need four more bytes";
    const unsigned char* held = resolve_channel(2)->putback;
    EXPECT_EQ(held[0], 0x81);
    EXPECT_EQ(held[1], 0xFF);
}

TEST_F(ChannelTest, WriteTracksTheColumnAfterTheLastLineEnd) {
    ASSERT_EQ(open_file_channel(dir.file("out"), Mode::Output, Access::Default, 0, 4, 0), 0);
    Channel& ch = *resolve_channel(4);
    EXPECT_EQ(write_channel(4, 0, "AB\r\nCD", 6, true, true, false), 0);
    EXPECT_EQ(ch.column, 2);
    write_channel(4, 0, "EF", 2, true, true, false);
    EXPECT_EQ(ch.column, 4);
    write_channel(4, 0, "GHIJ", 4, true, false, false);
    EXPECT_EQ(ch.column, 4) << "untracked writes leave the column";
    ch.width = 5;
    write_channel(4, 0, "KLM", 3, true, true, false);
    EXPECT_EQ(ch.column, 2) << "kept modulo the width";
    write_channel(4, 0, "\rN", 2, true, true, false);
    EXPECT_EQ(ch.column, 1);
    close_channel(4);
    EXPECT_EQ(read_file(dir.file("out")), "AB\r\nCDEFGHIJKLM\rN");
}

TEST_F(ChannelTest, WriteRefusesClosedChannelsAndNegativePositions) {
    EXPECT_EQ(write_channel(5, 0, "x", 1, true, true, false), 1);
    EXPECT_EQ(write_channel(-1, 0, "x", 1, true, true, false), 1);
    ASSERT_EQ(open_file_channel(dir.file("o"), Mode::Output, Access::Default, 0, 5, 0), 0);
    EXPECT_EQ(write_channel(5, -1, "x", 1, true, true, false), 1);
}

TEST_F(ChannelTest, WritingAtARecordPositionSeeksAndRandomRecordsMustBeWhole) {
    ASSERT_EQ(open_file_channel(dir.file("r"), Mode::Random, Access::Default, 0, 8, 4), 0);
    EXPECT_EQ(write_channel(8, 2, "BBBB", 4, true, true, false), 0);
    EXPECT_EQ(write_channel(8, 1, "AAAA", 4, true, true, false), 0);
    EXPECT_EQ(write_channel(8, 3, "CC", 2, true, true, false), 3) << "short record";
    EXPECT_EQ(resolve_channel(8)->column, 8) << "a failed record write keeps the column";
    EXPECT_EQ(write_channel(8, 3, "WIDE", 4, true, false, true), 0);
    EXPECT_EQ(write_channel(8, 0, "DDDD", 4, true, false, false), 0);
    close_channel(8);
    EXPECT_EQ(read_file(dir.file("r")), "AAAABBBBWIDEDDDD");
}

TEST_F(ChannelTest, WriteDiscardsPutBackBytes) {
    ASSERT_EQ(open_file_channel(dir.file("o"), Mode::Binary, Access::Default, 0, 5, 0), 0);
    put_back_bytes(5, "Q", 1);
    write_channel(5, 0, "x", 1, false, false, false);
    EXPECT_EQ(resolve_channel(5)->putback_count, 0);
}

TEST_F(ChannelTest, LocksAreByteRangesOtherProcessesSee) {
    write_file(dir.file("l"), "0123456789");
    ASSERT_EQ(open_file_channel(dir.file("l"), Mode::Binary, Access::Default, 0, 2, 0), 0);
    Channel& ch = *resolve_channel(2);
    EXPECT_EQ(ch.ops->lock(ch, 2, 0), 1) << "empty range";
    ASSERT_EQ(ch.ops->lock(ch, 2, 4), 0);

    auto child_sees_lock = [&](off_t start) {
        pid_t pid = fork();
        if (pid == 0) {
            int fd = ::open(dir.file("l").c_str(), O_RDWR);
            struct flock probe {};
            probe.l_type = F_WRLCK;
            probe.l_whence = SEEK_SET;
            probe.l_start = start;
            probe.l_len = 1;
            _exit(fcntl(fd, F_SETLK, &probe) == 0 ? 0 : 1);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return WEXITSTATUS(status) == 1;
    };
    EXPECT_TRUE(child_sees_lock(3));
    EXPECT_FALSE(child_sees_lock(7));
    ASSERT_EQ(ch.ops->unlock(ch, 2, 4), 0);
    EXPECT_FALSE(child_sees_lock(3));
}

}  // namespace
}  // namespace cncsend::test
