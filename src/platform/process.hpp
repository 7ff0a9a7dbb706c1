#pragma once
// Process services seam: the clock, sleeping, where the executable lives.
// One table per backend; tests may install their own.

#include <cstdint>
#include <string>

namespace cncsend {

struct ProcessOps {
    // Frequency of the high-resolution counter in ticks per second; false
    // when the machine has no such counter.
    bool (*counter_frequency)(std::int64_t* ticks_per_second);
    std::int64_t (*read_counter)();
    // Milliseconds since the system started; wraps after 2^32.
    std::uint32_t (*tick_count)();
    void (*sleep)(std::uint32_t milliseconds);
    // Full path of the running executable, empty when unknown.
    std::string (*executable_path)();
    // The directory separator of native paths.
    char path_separator;
};

const ProcessOps& process_ops();
// Installs another table (nullptr brings back the native one).
void set_process_ops(const ProcessOps* ops);

// The native backend's table.
const ProcessOps& native_process_ops();

// Rounding to nearest, and the widest precision the floating-point unit
// offers where it can be chosen; called once at start-up.
void prepare_floating_point();

}  // namespace cncsend
