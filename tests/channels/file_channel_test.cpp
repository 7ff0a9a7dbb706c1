#include "channels/file_channel.hpp"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <tuple>

#include "channel_fixture.hpp"

namespace cncsend::test {
namespace {

using Mode = ChannelMode;
using Access = ChannelAccess;

enum class Existing { Missing, Writable, ReadOnly };

struct OpenCase {
    Mode mode;
    Access access;
    Existing file;
    int code;
    Access resulting_access;
    const char* content_after;  // nullptr: file must not exist
};

class OpenTable : public ChannelTest, public ::testing::WithParamInterface<OpenCase> {};

// Opens in a child process without root's right to write anything, so that
// read-only files stay read-only when the tests run as root. Gives the open's
// code and the resulting access as code * 10 + access.
int open_unprivileged(const std::string& name, Mode mode, Access access) {
    pid_t pid = fork();
    if (pid == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(99);
        int code = open_file_channel(name, mode, access, 0, 3, 0);
        _exit(code * 10 + static_cast<int>(resolve_channel(3)->access));
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WEXITSTATUS(status);
}

TEST_P(OpenTable, OpensCreatesOrRefusesAsTheModeSays) {
    const OpenCase& c = GetParam();
    const std::string name = dir.file("job.txt");
    if (c.file != Existing::Missing) {
        write_file(name, "old");
        if (c.file == Existing::ReadOnly) chmod(name.c_str(), 0444);
    }

    if (c.file == Existing::ReadOnly) {
        chmod(dir.path().c_str(), 0777);
        const int result = open_unprivileged(name, c.mode, c.access);
        EXPECT_EQ(result / 10, c.code);
        if (c.code == 0) {
            EXPECT_EQ(result % 10, static_cast<int>(c.resulting_access));
        }
    } else {
        EXPECT_EQ(open_file_channel(name, c.mode, c.access, 0, 3, 0), c.code);
        EXPECT_EQ(last_error(), c.code);
        Channel* ch = resolve_channel(3);
        if (c.code == 0) {
            ASSERT_TRUE(is_open(ch));
            EXPECT_EQ(ch->access, c.resulting_access);
            EXPECT_EQ(ch->kind, ChannelKind::Ordinary);
            close_channel(3);
        } else {
            EXPECT_FALSE(is_open(ch));
            EXPECT_EQ(ch->mode, Mode::Binary) << "a failed open leaves the slot cleared";
        }
    }
    if (c.content_after)
        EXPECT_EQ(read_file(name), c.content_after);
    else
        EXPECT_NE(access(name.c_str(), F_OK), 0);
}

INSTANTIATE_TEST_SUITE_P(
    ModesAccessFiles, OpenTable,
    ::testing::Values(
        OpenCase{Mode::Binary, Access::Read, Existing::Writable, 0, Access::Read, "old"},
        OpenCase{Mode::Binary, Access::Read, Existing::Missing, 2, {}, nullptr},
        OpenCase{Mode::Binary, Access::Write, Existing::Writable, 0, Access::Write, ""},
        OpenCase{Mode::Binary, Access::Default, Existing::Missing, 0, Access::ReadWrite, ""},
        OpenCase{Mode::Binary, Access::Default, Existing::Writable, 0, Access::ReadWrite, "old"},
        OpenCase{Mode::Binary, Access::Default, Existing::ReadOnly, 0, Access::Read, "old"},
        OpenCase{Mode::Binary, Access::ReadWrite, Existing::ReadOnly, 2, {}, "old"},
        OpenCase{Mode::Random, Access::ReadWrite, Existing::Missing, 0, Access::ReadWrite, ""},
        OpenCase{Mode::Input, Access::Default, Existing::Writable, 0, Access::ReadWrite, "old"},
        OpenCase{Mode::Input, Access::Default, Existing::Missing, 2, {}, nullptr},
        OpenCase{Mode::Output, Access::Default, Existing::Writable, 0, Access::ReadWrite, ""},
        OpenCase{Mode::Output, Access::Default, Existing::Missing, 0, Access::ReadWrite, ""},
        OpenCase{Mode::Append, Access::Default, Existing::Writable, 0, Access::ReadWrite, "old"},
        OpenCase{Mode::Append, Access::Default, Existing::ReadOnly, 2, {}, "old"}));

// Only a plain file has a length to read to: a directory never reaches its
// end, a FIFO without a writer blocks the open, devices pass for empty
// files or never end. The reading modes refuse them all as unopenable.
TEST_F(ChannelTest, ReadingModesRefuseWhatIsNoPlainFile) {
    const std::string folder = dir.file("jobs.d");
    const std::string fifo = dir.file("job.fifo");
    std::filesystem::create_directory(folder);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& name :
         {folder, fifo, std::string("/dev/zero"), std::string("/dev/null")}) {
        for (auto [mode, access] :
             {std::pair{Mode::Binary, Access::Read}, std::pair{Mode::Binary, Access::Default},
              std::pair{Mode::Random, Access::ReadWrite},
              std::pair{Mode::Input, Access::Default}}) {
            set_last_error(0);
            EXPECT_EQ(open_file_channel(name, mode, access, 0, 1, 0), 2) << name;
            EXPECT_EQ(last_error(), 2);
            EXPECT_FALSE(is_open(resolve_channel(1))) << name;
        }
    }
    EXPECT_TRUE(std::filesystem::is_empty(folder));
    // Writing to a device is still writing.
    ASSERT_EQ(open_file_channel("/dev/null", Mode::Output, Access::Default, 0, 1, 0), 0);
    EXPECT_EQ(write_channel(1, 0, "gone", 4, true, true, false), 0);
}

TEST_F(ChannelTest, ChannelNumbersOutsideOneTo255AreRefusedAndTouchNothing) {
    const std::string name = dir.file("a");
    for (int number : {0, -1, 256, -2}) {
        EXPECT_EQ(open_file_channel(name, Mode::Output, Access::Default, 0, number, 0), 1);
        EXPECT_FALSE(io_state().any_channel_opened);
    }
    EXPECT_FALSE(is_open(resolve_channel(0)));
    EXPECT_FALSE(is_open(resolve_channel(-1)));
    EXPECT_EQ(resolve_channel(256), nullptr);
}

TEST_F(ChannelTest, OpeningAnOpenChannelFailsAndKeepsTheFirst) {
    const std::string first = dir.file("first"), second = dir.file("second");
    ASSERT_EQ(open_file_channel(first, Mode::Output, Access::Default, 0, 3, 0), 0);
    EXPECT_EQ(open_file_channel(second, Mode::Output, Access::Default, 0, 3, 0), 1);
    EXPECT_EQ(write_channel(3, 0, "still", 5, true, true, false), 0);
    EXPECT_EQ(close_channel(3), 0);
    EXPECT_EQ(read_file(first), "still");
    EXPECT_NE(access(second.c_str(), F_OK), 0);
}

TEST_F(ChannelTest, ModeOutOfRangeIsAnInvalidCall) {
    EXPECT_EQ(open_file_channel(dir.file("x"), static_cast<Mode>(5), Access::Default, 0, 4, 0), 1);
    EXPECT_FALSE(is_open(resolve_channel(4)));
    EXPECT_NE(access(dir.file("x").c_str(), F_OK), 0);
}

TEST_F(ChannelTest, RecordLengthsAndSizesFollowTheMode) {
    write_file(dir.file("ten"), "0123456789");
    struct Case {
        Mode mode;
        int given;
        int record_length;
        std::int64_t size;
    } cases[] = {
        {Mode::Random, 0, 128, 10}, {Mode::Random, -5, 128, 10}, {Mode::Random, 32, 32, 10},
        {Mode::Binary, 32, 0, 10},  {Mode::Input, 0, 128, 10},   {Mode::Append, 9, 0, 10},
        {Mode::Output, 7, 7, 0},
    };
    for (const Case& c : cases) {
        if (c.mode == Mode::Output) write_file(dir.file("ten"), "0123456789");
        ASSERT_EQ(open_file_channel(dir.file("ten"), c.mode, Access::Default, 0, 5, c.given), 0);
        EXPECT_EQ(resolve_channel(5)->record_length, c.record_length) << int(c.mode);
        EXPECT_EQ(resolve_channel(5)->size, c.size) << int(c.mode);
        close_channel(5);
    }
}

TEST_F(ChannelTest, BackslashAndSlashNameTheSameFile) {
    std::filesystem::create_directory(dir.path() / "sub");
    write_file(dir.file("sub/job.nc"), "G0");
    std::string name = dir.file("sub") + "\\job.nc";
    ASSERT_EQ(open_file_channel(name, Mode::Binary, Access::Read, 0, 1, 0), 0);
    EXPECT_EQ(resolve_channel(1)->size, 2);
}

TEST_F(ChannelTest, ConFileNameMarksAConsoleFileChannel) {
    std::filesystem::current_path(dir.path());
    ASSERT_EQ(open_file_channel("cOn", Mode::Output, Access::Default, 0, 9, 0), 0);
    EXPECT_EQ(resolve_channel(9)->kind, ChannelKind::ConsoleFile);
}

TEST_F(ChannelTest, InputModeReadsTextWithCrLfAsLfAndEndsAtCtrlZ) {
    write_file(dir.file("t"), std::string("a\r\nb\rc\x1Ahidden", 12));
    ASSERT_EQ(open_file_channel(dir.file("t"), Mode::Input, Access::Read, 0, 2, 0), 0);
    Channel& ch = *resolve_channel(2);
    EXPECT_EQ(ch.size, 12);
    char buffer[16];
    std::size_t count = sizeof buffer;
    ASSERT_EQ(ch.ops->read(ch, buffer, count), 0);
    EXPECT_EQ(std::string(buffer, count), "a\nb\rc");
    EXPECT_EQ(buffer[count], 0) << "the rest of the buffer is zeroed";
    EXPECT_EQ(ch.ops->at_end(ch), -1);
    count = sizeof buffer;
    ch.ops->read(ch, buffer, count);
    EXPECT_EQ(count, 0u) << "Ctrl-Z ends the data for every later read";

    // Binary mode gives the same bytes untouched.
    ASSERT_EQ(open_file_channel(dir.file("t"), Mode::Binary, Access::Read, 0, 3, 0), 0);
    Channel& raw = *resolve_channel(3);
    count = sizeof buffer;
    raw.ops->read(raw, buffer, count);
    EXPECT_EQ(std::string(buffer, count), std::string("a\r\nb\rc\x1Ahidden", 12));
    EXPECT_EQ(raw.ops->at_end(raw), -1);
}

TEST_F(ChannelTest, ByteOrderMarkLengthIsSkippedForUtfEncodings) {
    write_file(dir.file("bom"), "\xEF\xBB\xBFG1 X2");
    for (auto [encoding, first] :
         {std::pair{TextEncoding::Ascii, '\xEF'}, std::pair{TextEncoding::Utf8, 'G'},
          std::pair{TextEncoding::Utf16, '\xBF'}}) {
        ASSERT_EQ(open_channel(*resolve_channel(6), dir.file("bom"), Mode::Binary, Access::Read, 0,
                               0, encoding, open_file_device),
                  0);
        Channel& ch = *resolve_channel(6);
        char c = 0;
        std::size_t one = 1;
        ch.ops->read(ch, &c, one);
        EXPECT_EQ(c, first);
        close_channel(6);
    }
}

}  // namespace
}  // namespace cncsend::test
