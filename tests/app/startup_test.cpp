#include "app/startup.hpp"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "channels/file_channel.hpp"
#include "platform/process.hpp"
#include "platform/timer.hpp"
#include "temp_dir.hpp"

namespace cncsend::test {
namespace {

// Arguments as the platform would hand them to main.
class Args {
  public:
    explicit Args(std::vector<std::string> words) : words_(std::move(words)) {
        for (auto& w : words_) pointers_.push_back(w.data());
        set_program_args(static_cast<std::int32_t>(pointers_.size()), pointers_.data());
    }

  private:
    std::vector<std::string> words_;
    std::vector<char*> pointers_;
};

TEST(CommandTail, JoinsTheArgumentsAfterTheProgramName) {
    struct Case {
        std::vector<std::string> argv;
        std::int32_t index;
        std::string tail;
    } cases[] = {
        {{"cncsend"}, -1, ""},
        {{"cncsend", "job.nc"}, -1, "job.nc"},
        {{"cncsend", "my", "job.nc"}, -1, "my job.nc"},
        {{"cncsend", "with  blanks", "x"}, -1, "with  blanks x"},
        {{"cncsend", "a", "b"}, 0, "cncsend"},
        {{"cncsend", "a", "b"}, 2, "b"},
        {{"cncsend", "a", "b"}, 3, ""},
        {{}, -1, ""},
    };
    for (const Case& c : cases) {
        Args args(c.argv);
        EXPECT_EQ(command_tail(c.index), c.tail) << c.argv.size() << " args, index " << c.index;
    }
}

std::string fake_path;
std::uint32_t fake_ticks = 0;
bool has_counter = false;

const ProcessOps fake_process = {
    [](std::int64_t* f) {
        *f = 1000;
        return has_counter;
    },
    [] { return std::int64_t{2500}; },
    [] { return fake_ticks; },
    [](std::uint32_t) {},
    [] { return fake_path; },
    '\\',
};

class FakeProcess : public ::testing::Test {
  protected:
    void SetUp() override {
        set_process_ops(&fake_process);
        reset_timer_source();
    }
    void TearDown() override {
        set_process_ops(nullptr);
        reset_timer_source();
    }
};

TEST_F(FakeProcess, ExeDirectoryCutsAtTheLastSeparator) {
    struct Case {
        const char* path;
        const char* dir;
    } cases[] = {
        {"C:\\tools\\cncsend.exe", "C:\\tools"},
        {"c:\\cncsend.exe", "c:\\"},
        {"/usr/local/bin/cncsend", "/usr/local/bin"},
        {"/cncsend", "/"},
        {"cncsend", ""},
        {"", ""},
        {"\\\\server\\share\\x.exe", "\\\\server\\share"},
        {"1:\\x.exe", "1:"},
    };
    for (const Case& c : cases) {
        fake_path = c.path;
        EXPECT_EQ(exe_directory(), c.dir) << c.path;
    }
}

TEST_F(FakeProcess, TimerPrefersTheCounterAndKeepsItsChoice) {
    has_counter = true;
    EXPECT_DOUBLE_EQ(static_cast<double>(seconds_timer()), 2.5);
    EXPECT_EQ(timer_source(), TimerSource::PerformanceCounter);
    has_counter = false;
    EXPECT_DOUBLE_EQ(static_cast<double>(seconds_timer()), 2.5) << "the source never changes";

    reset_timer_source();
    fake_ticks = 4294967295u;
    EXPECT_DOUBLE_EQ(static_cast<double>(seconds_timer()), 4294967.295);
    EXPECT_EQ(timer_source(), TimerSource::TickCount);
}

TEST(Timer, NativeClockIsMonotonicAndSleepWaits) {
    const long double start = seconds_timer();
    sleep_ms(30);
    const long double waited = seconds_timer() - start;
    EXPECT_GE(waited, 0.029L);
    EXPECT_LT(waited, 1.0L);
}

TEST(Startup, OnlyTheOutermostStartAndShutdownWork) {
    test::TempDir dir;
    io_startup();
    ASSERT_EQ(
        open_file_channel(dir.file("a"), ChannelMode::Output, ChannelAccess::Default, 0, 2, 0), 0);
    io_startup();
    EXPECT_TRUE(is_open(resolve_channel(2))) << "a nested start clears nothing";
    io_shutdown();
    EXPECT_TRUE(is_open(resolve_channel(2))) << "the inner shutdown closes nothing";
    io_shutdown();
    EXPECT_FALSE(is_open(resolve_channel(2)));
    EXPECT_EQ(io_start_count(), 0);
}

TEST(EndProgram, ExitsWithTheCodeAfterClosingEveryChannel) {
    test::TempDir dir;
    const std::string name = dir.file("flushed");
    pid_t pid = fork();
    if (pid == 0) {
        io_startup();
        std::atexit(io_shutdown);
        open_file_channel(name, ChannelMode::Output, ChannelAccess::Default, 0, 7, 0);
        resolve_channel(7)->ops->write(*resolve_channel(7), "bytes", 5);
        end_program(3);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);
    EXPECT_EQ(test::read_file(name), "bytes");
}

}  // namespace
}  // namespace cncsend::test
