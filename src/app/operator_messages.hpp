#pragma once
// The program's own messages for the ways a run can fail that the operator
// must hear about. Each shows its text on the console and ends the program
// with exit code 1.

#include <cstdint>
#include <string>

namespace cncsend {

// The serial port did not open; the text names the port, its device and
// the system's reason.
[[noreturn]] void fail_port_not_open(const std::string& options);
// The job file named on the command line did not open.
[[noreturn]] void fail_job_not_open(const std::string& name, int system_error);
// The line to the controller is gone while a reply is awaited. `what`
// names the command or job line the reply was for.
[[noreturn]] void fail_connection_lost(const std::string& what);
// The record file named in CNCSEND_LOG did not open.
[[noreturn]] void fail_record_not_open(const std::string& name, const std::string& reason);

// The record could not be written in full; the run went on. Shown once, at
// the end, without ending anything.
void report_record_write_failure(const std::string& name, const std::string& reason);

}  // namespace cncsend
