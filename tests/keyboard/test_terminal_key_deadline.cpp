// The terminal key source on a real pseudo-terminal: when a lone ESC is
// decided, what a wait does meanwhile, and keys taken from the input by
// the screen's cursor query. Each case runs in a child of its own, whose
// controlling terminal and standard input is a fresh pseudo-terminal that
// the child types into itself.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/keys.hpp"
#include "platform/posix/terminal_keys_posix.hpp"
#include "platform/terminal_key_decoder.hpp"

namespace cncsend {
namespace {

double now_ms() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
}

void type(int master, const char* bytes) {
    ssize_t ignored = write(master, bytes, std::strlen(bytes));
    (void)ignored;
}

// The virtual keys of the events waiting now, taken one by one.
std::string take_keys(const KeyEventOps& ops) {
    std::string keys;
    InputEvent event{};
    while (ops.read_event(&event)) {
        char item[8];
        std::snprintf(item, sizeof item, "%s%02X", keys.empty() ? "" : " ", event.key.virtual_key);
        keys += item;
    }
    return keys;
}

using Case = void (*)(int master, const KeyEventOps& ops, std::string& failure);

// Runs the case in a child on a pseudo-terminal; the failure it reports,
// empty when it passed.
std::string in_own_terminal(Case body) {
    int report[2];
    if (pipe(report) != 0) return "no pipe";
    const pid_t child = fork();
    if (child == 0) {
        close(report[0]);
        std::string failure;
        setsid();
        const int master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
            failure = "no pseudo-terminal";
        } else {
            // The first terminal a session leader opens becomes its own.
            const int slave = open(ptsname(master), O_RDWR);
            dup2(slave, STDIN_FILENO);
            const KeyEventOps& ops = native_key_event_ops();
            if (!ops.input_is_console())
                failure = "the terminal is not taken for a keyboard";
            else
                body(master, ops, failure);
        }
        ssize_t ignored = write(report[1], failure.data(), failure.size());
        (void)ignored;
        _exit(0);
    }
    close(report[1]);
    std::string failure;
    char chunk[256];
    for (ssize_t n; (n = read(report[0], chunk, sizeof chunk)) > 0;)
        failure.append(chunk, static_cast<std::size_t>(n));
    close(report[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status)) return "the child died";
    return failure;
}

#define CHECK(condition, what)                 \
    do {                                       \
        if (!(condition) && failure.empty()) { \
            failure = what;                    \
            return;                            \
        }                                      \
    } while (0)

TEST(TerminalKeyDeadline, ALoneEscapeIsDecidedByItsDeadlineWithoutFurtherInput) {
    EXPECT_EQ(in_own_terminal([](int master, const KeyEventOps& ops, std::string& failure) {
                  CHECK(ops.decision_due_ms() == -1, "nothing held yet");
                  type(master, "\x1b");
                  usleep(5000);
                  InputEvent event{};
                  CHECK(!ops.peek_event(&event), "a lone ESC is not a key at once");
                  const int due = ops.decision_due_ms();
                  CHECK(due > 0 && due <= static_cast<int>(kEscapeTimeoutMs),
                        "the ESC is held until its deadline");
                  const double start = now_ms();
                  ops.wait_for_input(5000);  // ends by the deadline, not by new input
                  const double waited = now_ms() - start;
                  CHECK(waited < 3 * kEscapeTimeoutMs, "the wait ends at the deadline");
                  CHECK(take_keys(ops) == "1B", "then it is the Escape key");
                  CHECK(ops.decision_due_ms() == -1, "and nothing is held any more");
              }),
              "");
}

TEST(TerminalKeyDeadline, SequencesSplitAcrossReadsAreNeverTakenForEscape) {
    EXPECT_EQ(in_own_terminal([](int master, const KeyEventOps& ops, std::string& failure) {
                  const char* rests[] = {"[A", "OP", "[1;5D", "[15~"};
                  for (const char* rest : rests) {
                      type(master, "\x1b");
                      usleep(5000);
                      InputEvent event{};
                      CHECK(!ops.peek_event(&event), "the start alone is undecided");
                      type(master, rest);
                      ops.wait_for_input(5000);
                      usleep(2000);
                      const std::string keys = take_keys(ops);
                      CHECK(!keys.empty() && keys.find("1B") == std::string::npos,
                            std::string("no Escape from ESC ") + rest + ": " + keys);
                      CHECK(ops.decision_due_ms() == -1, "nothing held after the key");
                  }
              }),
              "");
}

TEST(TerminalKeyDeadline, KeysTakenByTheCursorQueryComeFirstInTheirOrder) {
    EXPECT_EQ(in_own_terminal([](int master, const KeyEventOps& ops, std::string& failure) {
                  keep_typed_ahead("5\x1b[B", 4);
                  CHECK(typed_ahead_waiting(), "the bytes are held");
                  type(master, "7");
                  usleep(5000);
                  // 5, Down, then the key typed after them.
                  CHECK(take_keys(ops) == "35 28 37", "typed-ahead keys first");
                  CHECK(!typed_ahead_waiting(), "and taken");
              }),
              "");
}

}  // namespace
}  // namespace cncsend
