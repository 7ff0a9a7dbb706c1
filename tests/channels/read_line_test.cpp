#include <string>
#include <vector>

#include "channel_files.hpp"

namespace cncsend {
namespace {

using namespace std::string_literals;
using Lines = std::vector<std::string>;

struct LineCase {
    const char* what;
    std::string bytes;
    Lines lines;
};

const std::string k510(510, 'a');
const std::string k8191(8191, 'b');  // puts a CR at the end of the stream buffer

// Line ends as bytes on disk; both modes split them the same way.
const std::vector<LineCase> kLineEnds = {
    {"CR LF, LF and none at the end", "A\r\nB\nC", {"A", "B", "C"}},
    {"lone CRs end lines", "a\rb\rc\r", {"a", "b", "c"}},
    {"mixed", "a\r\nb\rc\nd\r\n", {"a", "b", "c", "d"}},
    {"CR CR LF is a line and an empty line", "X\r\r\n", {"X", ""}},
    {"empty lines", "\n\r\n\r", {"", "", ""}},
    {"NUL is an ordinary byte", "a\0b\n\0\0"s, {"a\0b"s, "\0\0"s}},
    {"510 bytes and CR LF make one line", k510 + "\r\nz", {k510, "z"}},
    {"CR LF split by the stream buffer", k8191 + "\r\nz", {k8191, "z"}},
    {"a line longer than any buffer", std::string(20000, 'c') + "\n", {std::string(20000, 'c')}},
};

class LineEnds : public ChannelFiles, public ::testing::WithParamInterface<ChannelMode> {};

TEST_P(LineEnds, FileLinesSplitOnlyAtLineEnds) {
    for (const LineCase& c : kLineEnds) {
        SCOPED_TRACE(c.what);
        open_with(1, c.bytes, GetParam());
        EXPECT_EQ(all_lines(1), c.lines);
        close_channel(1);
    }
}

// The byte-by-byte reader serves kinds without a line operation; give a
// file channel such a table to run it over real bytes.
TEST_F(ChannelFiles, ByteReaderSplitsLikeTheFileKind) {
    static ChannelOps without_line = FileOps;
    without_line.read_line = nullptr;
    for (const LineCase& c : kLineEnds) {
        SCOPED_TRACE(c.what);
        open_with(1, c.bytes, ChannelMode::Binary);
        resolve_channel(1)->ops = &without_line;
        EXPECT_EQ(all_lines(1), c.lines);
        close_channel(1);
    }
}

TEST_F(ChannelFiles, ByteReaderTakesAGivenBackByteAtTheEnd) {
    static ChannelOps without_line = FileOps;
    without_line.read_line = nullptr;
    open_with(1, "X\r\r", ChannelMode::Binary);
    resolve_channel(1)->ops = &without_line;
    EXPECT_EQ(all_lines(1), (Lines{"X", ""}));
}

INSTANTIATE_TEST_SUITE_P(Modes, LineEnds,
                         ::testing::Values(ChannelMode::Binary, ChannelMode::Input),
                         [](const auto& info) {
                             return info.param == ChannelMode::Binary ? "Binary" : "Input";
                         });

TEST_F(ChannelFiles, CtrlZIsDataInBinaryAndTheEndInInput) {
    const std::string bytes =
        "A\r\nB\x1a"
        "C\nD\n";
    open_with(1, bytes, ChannelMode::Binary);
    EXPECT_EQ(all_lines(1), (Lines{"A",
                                   "B\x1a"
                                   "C",
                                   "D"}));

    open_with(2, bytes, ChannelMode::Input);
    EXPECT_EQ(all_lines(2), (Lines{"A", "B"}));
    std::string line = "stale";
    EXPECT_EQ(read_line(2, line), 0);
    EXPECT_EQ(line, "");
    EXPECT_EQ(channel_at_end(2), -1);
}

TEST_F(ChannelFiles, JobFileReadToItsEnd) {
    open_with(1, "A\r\nB\nC", ChannelMode::Binary);
    EXPECT_EQ(all_lines(1), (Lines{"A", "B", "C"}));
    EXPECT_EQ(channel_at_end(1), -1);
    EXPECT_EQ(channel_position(1), channel_length(1));

    std::string line = "stale";
    set_last_error(3);
    EXPECT_EQ(read_line(1, line), 0);
    EXPECT_EQ(line, "");
    EXPECT_EQ(last_error(), 0);
}

TEST_F(ChannelFiles, ReadLineWithoutAnOpenChannel) {
    std::string line = "kept";
    for (int number : {0, 5, -1, 256, -2}) {
        SCOPED_TRACE(number);
        EXPECT_EQ(read_line(number, line), 1);
        EXPECT_EQ(last_error(), 1);
        EXPECT_EQ(line, "kept");
    }
}

TEST_F(ChannelFiles, ReadLineTakesGivenBackBytesFirst) {
    open_with(1, "\nC\r\nD\n", ChannelMode::Binary);
    ASSERT_EQ(put_back_bytes(1, "\r", 1), 0);
    ASSERT_EQ(put_back_bytes(1, "AB", 2), 0);
    // The held CR and the LF in the file are one line end.
    EXPECT_EQ(all_lines(1), (Lines{"AB", "C", "D"}));
}

}  // namespace
}  // namespace cncsend
