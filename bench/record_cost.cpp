// The run record's own cost per exchange: record_send and record_reply of
// a 30-byte job line to a record file, against a bare write(2) of a line
// of the same length to another file in the same run, which is the least
// a record written event by event can cost.
//
//   bench_record_cost [directory] [lines]
//
// The files are written to the directory (default: the system's temporary
// directory) and removed afterwards.

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/run_record.hpp"
#include "cpu_seconds.hpp"

using namespace cncsend;

int main(int argc, char** argv) {
    const std::filesystem::path folder =
        argc > 1 ? std::filesystem::path(argv[1]) : std::filesystem::temp_directory_path();
    const long lines = argc > 2 ? std::atol(argv[2]) : 200'000;
    const std::string job_line = "G01 X123.456 Y78.901 Z-1.5 F30";
    const std::string record_path = (folder / "bench-record.log").string();
    const std::string bare_path = (folder / "bench-bare.log").string();

    const std::string bare_line =
        "2026-12-11T15:39:35.905Z line 123456 \"" + job_line + "\" reply \"0\" 36.0 ms\n";
    const int bare = ::open(bare_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_TRUNC, 0644);
    double started = cpu_seconds();
    for (long i = 0; i < lines; ++i) {
        if (::write(bare, bare_line.data(), bare_line.size()) < 0) return 1;
    }
    const double bare_us = (cpu_seconds() - started) / lines * 1e6;
    ::close(bare);

    std::filesystem::remove(record_path);
    setenv("CNCSEND_LOG", record_path.c_str(), 1);
    open_run_record("job.nc", 0, "com1:9600,n,8,1,RS,DS0,CS0,CD0", 1, 1, 1);
    started = cpu_seconds();
    for (long i = 1; i <= lines; ++i) {
        record_send(i, job_line);
        record_reply("0");
    }
    const double record_us = (cpu_seconds() - started) / lines * 1e6;

    std::printf(
        "%ld exchanges: record %.2f us CPU each, bare write(2) of the line %.2f us, "
        "ratio %.2f\n",
        lines, record_us, bare_us, record_us / bare_us);
    std::filesystem::remove(record_path);
    std::filesystem::remove(bare_path);
}
