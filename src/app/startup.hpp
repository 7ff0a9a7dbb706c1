#pragma once
#include <cstdint>
#include <string>

namespace cncsend {

// Starts the I/O layer; only the first of nested calls does the work.
void io_startup();
// Ends it; only the call that matches the first start closes the channels.
void io_shutdown();
// Calls not yet matched by io_shutdown.
std::int32_t io_start_count();

void set_program_args(std::int32_t count, char** vector);
// index < 0: all arguments after the program name joined by single blanks;
// 0..count-1: that argument; anything else: empty.
std::string command_tail(std::int32_t index);
// Directory of the running executable, without a trailing separator except
// for a root.
std::string exe_directory();
// Ends the process with the code; exit handlers run in reverse order.
[[noreturn]] void end_program(int exit_code);

}  // namespace cncsend
