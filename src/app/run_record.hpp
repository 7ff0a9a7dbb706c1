#pragma once
// The operator's record of a run, asked for with CNCSEND_LOG=FILE: one
// line per event, appended to FILE as the event happens, each behind an
// ISO 8601 UTC time stamp. Without CNCSEND_LOG every call does nothing.

#include <cstdint>
#include <string>

namespace cncsend {

// Opens the record (a FILE that cannot be opened ends the program with a
// message and exit code 1) and writes the start: program, job file and
// size, the device of the port, the three factors.
void open_run_record(const std::string& job_name, std::int64_t job_size,
                     const std::string& port_options, std::int32_t factor_x, std::int32_t factor_y,
                     std::int32_t factor_z);
void record_answers(std::int32_t x, std::int32_t y, std::int32_t z, std::int32_t speed);

// A command (job_line 0) or job line goes out; its event is written with
// the reply.
void record_send(std::int64_t job_line, const std::string& text);
void record_reply(const std::string& reply);
// The operator pressed Enter after an error reply.
void record_pause_end();

// How the run ended; only the first end counts.
void record_end_normal();
void record_end_escape();
void record_end_lost();
void record_end_message(const std::string& text);

// The text as it is written in the record: between double quotes, bytes
// as they are except control bytes, DEL, '"' and '\', which are escaped
// (\r \n \t \" \\ \xHH).
std::string quoted_record_text(const std::string& text);

}  // namespace cncsend
