#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cfenv>
#include <string>

#include "platform/posix/screen_posix.hpp"
#include "platform/process.hpp"

namespace cncsend {

namespace {

bool counter_frequency(std::int64_t* ticks_per_second) {
    *ticks_per_second = 1'000'000'000;
    return true;
}

std::int64_t read_counter() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

std::uint32_t tick_count() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                                      static_cast<std::uint64_t>(now.tv_nsec) / 1'000'000u);
}

void sleep_for(std::uint32_t milliseconds) {
    timespec wanted{static_cast<time_t>(milliseconds / 1000),
                    static_cast<long>(milliseconds % 1000) * 1'000'000L};
    settle_screen_output();
    // A signal may cut the pause short; sleep out the rest.
    while (nanosleep(&wanted, &wanted) != 0 && errno == EINTR) {
    }
}

std::string executable_path() {
    std::string path(4096, '\0');
    ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= path.size()) return {};
    path.resize(static_cast<std::size_t>(n));
    return path;
}

const ProcessOps posix_ops = {counter_frequency, read_counter,    tick_count,
                              sleep_for,         executable_path, '/'};

}  // namespace

const ProcessOps& native_process_ops() {
    return posix_ops;
}

void prepare_floating_point() {
    // Doubles are IEEE doubles that round to nearest from the start.
    std::fesetround(FE_TONEAREST);
}

}  // namespace cncsend
