// cncsim: a simulated CNC controller on a pseudo-terminal. It reads the
// command lines a program sends, splits them at CR LF and answers each with
// its reply bytes ("0" unless told otherwise), optionally paced like a real
// serial line.

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kUsageError = 2;
constexpr int kRunError = 1;

const char kUsage[] =
    "usage: cncsim [options] [-- PROGRAM ARGS...]\n"
    "\n"
    "Simulates a CNC controller on a pseudo-terminal. Every line received (ended\n"
    "by CR LF) is answered with reply bytes: \"0\" (accepted) unless a reply is\n"
    "set for that line.\n"
    "\n"
    "With PROGRAM, runs it with CNCSEND_COM1 set to the pseudo-terminal (the\n"
    "program keeps this terminal as its console), serves until it ends and exits\n"
    "with its exit code. Without PROGRAM, prints the pseudo-terminal's path on\n"
    "standard output and serves until interrupted (Ctrl+C, SIGTERM).\n"
    "\n"
    "options:\n"
    "  --reply N=BYTES        line N (counted from 1) answers BYTES instead\n"
    "  --reply-script FILE    one N=BYTES per line; blank lines and # comments skipped\n"
    "  --default-reply BYTES  answer of every other line (default 0)\n"
    "  --delay-ms N           wait N milliseconds before each answer\n"
    "  --line-delay N=MS      wait MS milliseconds before the answer to line N\n"
    "  --baud N               pace both directions like a line of N bits per second\n"
    "                         (10 bits a byte)\n"
    "  --log FILE             write every line received: number, line, answer,\n"
    "                         separated by tabs, bytes outside printable ASCII as\n"
    "                         \\r \\n \\t \\\\ or \\xHH\n"
    "  --summary FILE         write the summary there instead of standard error\n"
    "  -h, --help             show this text\n"
    "\n"
    "BYTES may use the escapes \\r \\n \\t \\\\ \\xHH; an empty BYTES answers nothing.\n"
    "The summary gives the lines received, the answers other than \"0\" (error\n"
    "replies) and the seconds from the first byte received to the last answer.\n"
    "\n"
    "exit codes: the program's exit code (128+signal when a signal ended it, 127\n"
    "when it cannot be started); without a program 0; 1 on a run-time failure;\n"
    "2 on a usage error.\n";

struct Config {
    std::map<unsigned long, std::string> replies;
    std::string default_reply = "0";
    unsigned long delay_ms = 0;
    std::map<unsigned long, unsigned long> line_delays;
    unsigned long baud = 0;
    std::string log_path;
    std::string summary_path;
    std::vector<std::string> program;
};

struct UsageError {
    std::string message;
};

bool parse_number(const std::string& text, unsigned long& value) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
    errno = 0;
    value = std::strtoul(text.c_str(), nullptr, 10);
    return errno == 0;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool unescape(const std::string& text, std::string& bytes) {
    bytes.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            bytes += text[i];
            continue;
        }
        if (++i == text.size()) return false;
        switch (text[i]) {
            case 'r':
                bytes += '\r';
                break;
            case 'n':
                bytes += '\n';
                break;
            case 't':
                bytes += '\t';
                break;
            case '\\':
                bytes += '\\';
                break;
            case 'x': {
                if (i + 2 >= text.size()) return false;
                int high = hex_digit(text[i + 1]);
                int low = hex_digit(text[i + 2]);
                if (high < 0 || low < 0) return false;
                bytes += static_cast<char>(high * 16 + low);
                i += 2;
                break;
            }
            default:
                return false;
        }
    }
    return true;
}

std::string escape(const std::string& bytes) {
    std::string text;
    for (unsigned char c : bytes) {
        if (c == '\\')
            text += "\\\\";
        else if (c == '\r')
            text += "\\r";
        else if (c == '\n')
            text += "\\n";
        else if (c == '\t')
            text += "\\t";
        else if (c >= 0x20 && c < 0x7F)
            text += static_cast<char>(c);
        else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            text += hex;
        }
    }
    return text;
}

void add_reply(Config& config, const std::string& rule, const std::string& where) {
    const std::size_t equals = rule.find('=');
    unsigned long line = 0;
    std::string bytes;
    if (equals == std::string::npos || !parse_number(rule.substr(0, equals), line) || line == 0)
        throw UsageError{where + ": expected N=BYTES with a line number from 1, got '" + rule +
                         "'"};
    if (!unescape(rule.substr(equals + 1), bytes))
        throw UsageError{where + ": bad escape in '" + rule + "'"};
    config.replies[line] = bytes;
}

void read_reply_script(Config& config, const std::string& path) {
    std::ifstream in(path);
    if (!in) throw UsageError{"cannot read reply script " + path + ": " + std::strerror(errno)};
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#') continue;
        add_reply(config, line.substr(start), path + ":" + std::to_string(number));
    }
}

void add_line_delay(Config& config, const std::string& rule) {
    const std::size_t equals = rule.find('=');
    unsigned long line = 0;
    unsigned long delay = 0;
    if (equals == std::string::npos || !parse_number(rule.substr(0, equals), line) || line == 0 ||
        !parse_number(rule.substr(equals + 1), delay))
        throw UsageError{"--line-delay: expected N=MS with a line number from 1, got '" + rule +
                         "'"};
    config.line_delays[line] = delay;
}

Config parse_arguments(int argc, char** argv, bool& help) {
    Config config;
    help = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--") {
            for (++i; i < argc; ++i) config.program.push_back(argv[i]);
            if (config.program.empty()) throw UsageError{"'--' must be followed by a program"};
            break;
        }
        if (arg == "-h" || arg == "--help") {
            help = true;
            return config;
        }
        std::string value;
        bool has_value = false;
        if (const std::size_t equals = arg.find('=');
            arg.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = arg.substr(equals + 1);
            arg.erase(equals);
            has_value = true;
        }
        auto take_value = [&]() -> std::string {
            if (has_value) return value;
            if (i + 1 >= argc) throw UsageError{arg + " needs a value"};
            return argv[++i];
        };
        auto take_number = [&]() -> unsigned long {
            const std::string text = take_value();
            unsigned long number = 0;
            if (!parse_number(text, number))
                throw UsageError{arg + ": not a number: '" + text + "'"};
            return number;
        };
        if (arg == "--reply")
            add_reply(config, take_value(), "--reply");
        else if (arg == "--reply-script")
            read_reply_script(config, take_value());
        else if (arg == "--default-reply") {
            if (!unescape(take_value(), config.default_reply))
                throw UsageError{"--default-reply: bad escape"};
        } else if (arg == "--delay-ms")
            config.delay_ms = take_number();
        else if (arg == "--line-delay")
            add_line_delay(config, take_value());
        else if (arg == "--baud") {
            config.baud = take_number();
            if (config.baud == 0) throw UsageError{"--baud must be above 0"};
        } else if (arg == "--log")
            config.log_path = take_value();
        else if (arg == "--summary")
            config.summary_path = take_value();
        else
            throw UsageError{"unknown option '" + arg + "'"};
    }
    return config;
}

double now_seconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void sleep_until(double when) {
    for (;;) {
        const double left = when - now_seconds();
        if (left <= 0) return;
        timespec pause{
            static_cast<time_t>(left),
            static_cast<long>((left - static_cast<double>(static_cast<time_t>(left))) * 1e9)};
        nanosleep(&pause, nullptr);
    }
}

bool write_all(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

int signal_pipe[2] = {-1, -1};

void on_signal(int number) {
    const int saved = errno;
    const char byte = static_cast<char>(number);
    [[maybe_unused]] ssize_t ignored = ::write(signal_pipe[1], &byte, 1);
    errno = saved;
}

// The controller's side of the line.
struct Controller {
    const Config& config;
    int master = -1;
    std::FILE* log = nullptr;
    std::string partial;
    unsigned long lines = 0;
    unsigned long error_replies = 0;
    double first_byte = -1;
    double last_answer = -1;
    double receive_wire = 0;  // when the receive side of the simulated wire is idle

    double byte_time() const { return config.baud ? 10.0 / static_cast<double>(config.baud) : 0.0; }

    void answer_line(const std::string& line, double arrived) {
        ++lines;
        auto found = config.replies.find(lines);
        const std::string& reply =
            found != config.replies.end() ? found->second : config.default_reply;
        if (reply != "0") ++error_replies;
        if (log) {
            std::fprintf(log, "%lu\t%s\t%s\n", lines, escape(line).c_str(), escape(reply).c_str());
            std::fflush(log);  // readable while the run goes on
        }
        const auto delay = config.line_delays.find(lines);
        const unsigned long delay_ms =
            delay != config.line_delays.end() ? delay->second : config.delay_ms;
        double send_at = arrived + static_cast<double>(delay_ms) / 1000.0;
        send_at += static_cast<double>(reply.size()) * byte_time();
        sleep_until(send_at);
        if (!reply.empty()) write_all(master, reply);
        last_answer = now_seconds();
    }

    void received(const char* bytes, std::size_t count) {
        const double now = now_seconds();
        if (first_byte < 0) first_byte = now;
        const double start = receive_wire > now ? receive_wire : now;
        for (std::size_t i = 0; i < count; ++i) {
            partial += bytes[i];
            const std::size_t size = partial.size();
            if (size >= 2 && partial[size - 2] == '\r' && partial[size - 1] == '\n') {
                const double arrived = start + static_cast<double>(i + 1) * byte_time();
                answer_line(partial.substr(0, size - 2), arrived);
                partial.clear();
            }
        }
        receive_wire = start + static_cast<double>(count) * byte_time();
    }

    // False when the master side can no longer be read.
    bool read_once() {
        char buffer[4096];
        ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) return true;
        if (n <= 0) return false;
        received(buffer, static_cast<std::size_t>(n));
        return true;
    }

    void summary(std::FILE* out) const {
        const double seconds =
            first_byte >= 0 && last_answer >= first_byte ? last_answer - first_byte : 0.0;
        std::fprintf(out, "cncsim: lines %lu, error replies %lu, seconds %.3f\n", lines,
                     error_replies, seconds);
        if (!partial.empty())
            std::fprintf(out, "cncsim: %zu bytes after the last line end: %s\n", partial.size(),
                         escape(partial).c_str());
    }
};

int fail(const std::string& what) {
    std::fprintf(stderr, "cncsim: %s: %s\n", what.c_str(), std::strerror(errno));
    return kRunError;
}

int run(const Config& config) {
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        return fail("cannot create a pseudo-terminal");
    const char* name = ptsname(master);
    if (!name) return fail("cannot name the pseudo-terminal");
    const std::string slave_path = name;
    // Held open for the whole run, so a client's close does not end the
    // line; no exclusive flag here, or the client could not open it.
    int slave = ::open(slave_path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) return fail("cannot open " + slave_path);
    termios raw{};
    if (tcgetattr(slave, &raw) == 0) {
        cfmakeraw(&raw);
        tcsetattr(slave, TCSANOW, &raw);
    }

    Controller controller{config, -1, nullptr, {}, 0, 0, -1, -1, 0};
    controller.master = master;
    if (!config.log_path.empty()) {
        controller.log = std::fopen(config.log_path.c_str(), "w");
        if (!controller.log) return fail("cannot write log " + config.log_path);
    }
    std::FILE* summary_out = stderr;
    if (!config.summary_path.empty()) {
        summary_out = std::fopen(config.summary_path.c_str(), "w");
        if (!summary_out) return fail("cannot write summary " + config.summary_path);
    }

    if (pipe2(signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return fail("cannot create a pipe");
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    for (int number : {SIGCHLD, SIGINT, SIGTERM, SIGHUP}) sigaction(number, &action, nullptr);

    pid_t child = -1;
    if (!config.program.empty()) {
        child = fork();
        if (child < 0) return fail("cannot start " + config.program[0]);
        if (child == 0) {
            setenv("CNCSEND_COM1", slave_path.c_str(), 1);
            std::vector<char*> args;
            for (const std::string& arg : config.program)
                args.push_back(const_cast<char*>(arg.c_str()));
            args.push_back(nullptr);
            execvp(args[0], args.data());
            std::fprintf(stderr, "cncsim: cannot run %s: %s\n", args[0], std::strerror(errno));
            _exit(127);
        }
    } else {
        std::printf("%s\n", slave_path.c_str());
        std::fflush(stdout);
    }

    int exit_code = 0;
    bool line_open = true;
    for (bool serving = true; serving;) {
        pollfd fds[2] = {{signal_pipe[0], POLLIN, 0}, {master, POLLIN, 0}};
        int n = poll(fds, line_open ? 2 : 1, -1);
        if (n < 0 && errno != EINTR) return fail("poll");
        if (n <= 0) continue;
        if (line_open && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)))
            line_open = controller.read_once();
        if (fds[0].revents & POLLIN) {
            char signals[16];
            ssize_t got = ::read(signal_pipe[0], signals, sizeof signals);
            for (ssize_t i = 0; i < got; ++i) {
                // With a program it decides: Ctrl+C reaches it too.
                if (child < 0 && signals[i] != SIGCHLD) serving = false;
            }
            int status = 0;
            if (child > 0 && waitpid(child, &status, WNOHANG) == child) {
                exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                serving = false;
            }
        }
        if (!line_open && child < 0) serving = false;
    }

    // What the program sent just before it ended still counts.
    if (line_open && fcntl(master, F_SETFL, O_NONBLOCK) == 0) {
        pollfd last{master, POLLIN, 0};
        while (poll(&last, 1, 0) > 0 && (last.revents & POLLIN) && controller.read_once()) {
        }
    }
    controller.summary(summary_out);
    if (summary_out != stderr) std::fclose(summary_out);
    if (controller.log) std::fclose(controller.log);
    ::close(slave);
    ::close(master);
    return exit_code;
}

}  // namespace

int main(int argc, char** argv) {
    bool help = false;
    Config config;
    try {
        config = parse_arguments(argc, argv, help);
    } catch (const UsageError& error) {
        std::fprintf(stderr, "cncsim: %s\n(cncsim --help shows the usage)\n",
                     error.message.c_str());
        return kUsageError;
    }
    if (help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    return run(config);
}
