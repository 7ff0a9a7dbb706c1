// The simulated controller, driven through the serial channel as the job
// transfer drives a real one.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "channels/open_channel.hpp"
#include "platform/timer.hpp"
#include "serial/serial_port.hpp"

#ifndef CNCSIM_PATH
#define CNCSIM_PATH ""
#endif

namespace cncsend {
namespace {

namespace fs = std::filesystem;

const char kController[] = "com1:9600,n,8,1,RS,DS0,CS0,CD0";

struct Spawned {
    pid_t pid = -1;
    int out = -1;  // the child's standard output
    int err = -1;
};

Spawned spawn(const std::vector<std::string>& args) {
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return {};
    Spawned s;
    s.pid = fork();
    if (s.pid == 0) {
        dup2(out[1], 1);
        dup2(err[1], 2);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(126);
    }
    close(out[1]);
    close(err[1]);
    s.out = out[0];
    s.err = err[0];
    return s;
}

std::string read_all(int fd) {
    std::string text;
    char buffer[512];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    close(fd);
    return text;
}

std::string read_line(int fd) {
    std::string line;
    char c = 0;
    while (read(fd, &c, 1) == 1 && c != '\n') line += c;
    return line;
}

int finish(Spawned& s) {
    int status = 0;
    waitpid(s.pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

struct Result {
    int code;
    std::string out, err;
};

Result run(std::vector<std::string> args) {
    args.insert(args.begin(), CNCSIM_PATH);
    Spawned s = spawn(args);
    Result r{0, read_all(s.out), read_all(s.err)};
    r.code = finish(s);
    return r;
}

std::string file_text(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class Simulator : public testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("cncsim_test_" + std::to_string(getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override {
        close_all_channels();
        unsetenv("CNCSEND_COM1");
        if (sim.pid > 0) {
            kill(sim.pid, SIGTERM);
            finish(sim);
        }
        fs::remove_all(dir);
    }
    // Starts cncsim serving and points COM1 at it.
    void serve(std::vector<std::string> args) {
        args.insert(args.begin(), CNCSIM_PATH);
        sim = spawn(args);
        ASSERT_GT(sim.pid, 0);
        const std::string path = read_line(sim.out);
        ASSERT_FALSE(path.empty()) << read_all(sim.err);
        setenv("CNCSEND_COM1", path.c_str(), 1);
    }
    // Stops it; its exit code.
    int stop() {
        kill(sim.pid, SIGTERM);
        int code = finish(sim);
        sim.pid = -1;
        return code;
    }
    // One command line as the job transfer sends it: the text, then CR LF
    // in a second write; the answer byte, or "" when none came.
    static std::string exchange(const std::string& line) {
        Channel& ch = *resolve_channel(2);
        EXPECT_EQ(ch.ops->write(ch, line.data(), line.size()), 0);
        EXPECT_EQ(ch.ops->write(ch, "\r\n", 2), 0);
        if ((serial_wait_ready(2, false, 3000) & WaitByteReady) == 0) return "";
        char byte = 0;
        std::size_t count = 1;
        EXPECT_EQ(ch.ops->read(ch, &byte, count), 0);
        return std::string(&byte, count);
    }
    static int open_line() {
        return open_serial_channel(kController, ChannelMode::Binary, ChannelAccess::Default, 0, 2,
                                   0, std::nullopt);
    }
    fs::path dir;
    Spawned sim;
};

TEST_F(Simulator, AnswersFromItsScriptAndLogsEveryLine) {
    std::ofstream(dir / "replies") << "# line 2 is refused\n2=1\n\n  3=\\x1b\n";
    serve({"--reply-script", (dir / "replies").string(), "--reply", "6=E", "--log",
           (dir / "log").string(), "--summary", (dir / "summary").string()});
    ASSERT_EQ(open_line(), 0);
    EXPECT_EQ(exchange("G01 X1"), "0");
    EXPECT_EQ(exchange("G01 X2"), "1");
    EXPECT_EQ(exchange("M05"), "\x1b");
    EXPECT_EQ(exchange(std::string("A\rB\nC\0", 6)), "0");  // split only at CR LF
    // Closing and opening the line again does not end the simulator.
    ASSERT_EQ(close_channel(2), 0);
    ASSERT_EQ(open_line(), 0);
    EXPECT_EQ(exchange("M30"), "0");
    EXPECT_EQ(exchange("M02"), "E");
    Channel& ch = *resolve_channel(2);
    ASSERT_EQ(ch.ops->write(ch, "tail", 4), 0);
    sleep_ms(100);
    ASSERT_EQ(close_channel(2), 0);

    EXPECT_EQ(stop(), 0);
    EXPECT_EQ(file_text(dir / "log"),
              "1\tG01 X1\t0\n"
              "2\tG01 X2\t1\n"
              "3\tM05\t\\x1B\n"
              "4\tA\\rB\\nC\\x00\t0\n"
              "5\tM30\t0\n"
              "6\tM02\tE\n");
    const std::string summary = file_text(dir / "summary");
    EXPECT_NE(summary.find("cncsim: lines 6, error replies 3, seconds "), std::string::npos)
        << summary;
    EXPECT_NE(summary.find("4 bytes after the last line end: tail"), std::string::npos) << summary;
}

TEST_F(Simulator, PacesLikeASlowLine) {
    // 5 lines of 94 + 2 bytes at 9600 bits per second (960 bytes a second)
    // take half a second; a 40 ms delay per line adds 0.2 s more.
    serve({"--baud", "9600", "--delay-ms", "40"});
    ASSERT_EQ(open_line(), 0);
    const std::string line(94, 'X');
    const long double start = seconds_timer();
    for (int i = 0; i < 5; ++i) ASSERT_EQ(exchange(line), "0");
    const long double elapsed = seconds_timer() - start;
    EXPECT_GE(elapsed, 0.69L);
    EXPECT_LT(elapsed, 3.0L);
}

TEST_F(Simulator, RunsAProgramOnTheLineAndPassesItsExitCode) {
    Result r =
        run({"--summary", (dir / "summary").string(), "--", "/bin/sh", "-c",
             "test -c \"$CNCSEND_COM1\" && printf 'G1\\r\\n' > \"$CNCSEND_COM1\" && exit 7"});
    EXPECT_EQ(r.code, 7) << r.err;
    EXPECT_NE(file_text(dir / "summary").find("cncsim: lines 1, error replies 0, seconds "),
              std::string::npos);

    r = run({"--", "/nonexistent/program"});
    EXPECT_EQ(r.code, 127);
    EXPECT_NE(r.err.find("cannot run /nonexistent/program"), std::string::npos) << r.err;
}

TEST_F(Simulator, ExplainsItselfAndRefusesBadUsage) {
    Result r = run({"--help"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out.rfind("usage: cncsim", 0), 0u);
    EXPECT_NE(r.out.find("--reply-script FILE"), std::string::npos);

    const std::vector<std::vector<std::string>> bad = {
        {"--reply", "x=1"},
        {"--reply", "0=1"},
        {"--baud", "0"},
        {"--delay-ms", "-3"},
        {"--bogus"},
        {"--log"},
        {"--"},
        {"--reply-script", "/nonexistent"},
        {"--reply", "2=\\q"},
    };
    for (const auto& args : bad) {
        r = run(args);
        EXPECT_EQ(r.code, 2) << args[0];
        EXPECT_EQ(r.err.rfind("cncsim: ", 0), 0u) << r.err;
    }
}

}  // namespace
}  // namespace cncsend
