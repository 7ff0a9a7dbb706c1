// Reads a large job file of short lines and one very long line through
// read_line, the way the job loop does (end test, then the line), and
// compares with a plain fgets loop over the same file in the same run.
//
//   bench_read_line [directory] [megabytes]
//
// The files are written to the directory (default: the system's temporary
// directory) and removed afterwards.

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "channels/file_channel.hpp"
#include "channels/open_channel.hpp"
#include "channels/read_channel.hpp"
#include "cpu_seconds.hpp"

namespace {

using namespace cncsend;

long max_resident_kb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

struct Run {
    double cpu;
    double wall;
    std::size_t lines;
    std::size_t bytes;  // line bytes, line ends not counted
};

template <typename Body>
Run timed(Body body) {
    const double cpu0 = cpu_seconds();
    const auto wall0 = std::chrono::steady_clock::now();
    Run run{0, 0, 0, 0};
    body(run);
    run.cpu = cpu_seconds() - cpu0;
    run.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    return run;
}

// Job-like lines of 20 to 40 bytes, CR LF ended.
std::size_t write_short_lines(const std::string& path, std::size_t target) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::size_t written = 0;
    char line[96];
    for (unsigned n = 0; written < target; ++n) {
        const int len = std::snprintf(line, sizeof line, "N%u G1 X%u.%03u Y-%u.5 F%u\r\n", n,
                                      n % 400, n % 1000, n % 97, 600 + n % 900);
        std::fwrite(line, 1, static_cast<std::size_t>(len), f);
        written += static_cast<std::size_t>(len);
    }
    std::fclose(f);
    return written;
}

std::size_t write_long_line(const std::string& path, std::size_t length) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::string chunk(65536, 'X');
    for (std::size_t i = 0; i < chunk.size(); i += 7) chunk[i] = ' ';
    for (std::size_t left = length; left > 0;) {
        const std::size_t n = left < chunk.size() ? left : chunk.size();
        std::fwrite(chunk.data(), 1, n, f);
        left -= n;
    }
    std::fwrite("\r\n", 1, 2, f);
    std::fclose(f);
    return length + 2;
}

Run through_read_line(const std::string& path) {
    if (open_file_channel(path, ChannelMode::Binary, ChannelAccess::Read, 0, 1, 0) != 0) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        std::exit(1);
    }
    Run run = timed([](Run& r) {
        std::string line;
        while (channel_at_end(1) == 0) {
            read_line(1, line);
            ++r.lines;
            r.bytes += line.size();
        }
    });
    close_channel(1);
    return run;
}

Run through_fgets(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) std::exit(1);
    std::setvbuf(f, nullptr, _IOFBF, 8192);
    Run run = timed([f](Run& r) {
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, f)) {
            const std::size_t n = std::char_traits<char>::length(buffer);
            if (n > 0 && buffer[n - 1] == '\n') ++r.lines;
            r.bytes += n;
        }
    });
    std::fclose(f);
    return run;
}

void report(const char* what, const Run& run, double megabytes) {
    std::printf("  %-10s cpu %.3f s  wall %.3f s  %8.1f MB/s  (%zu lines, %zu bytes)\n", what,
                run.cpu, run.wall, megabytes / run.cpu, run.lines, run.bytes);
}

}  // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    const fs::path dir = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path();
    const std::size_t megabytes = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 100;
    const std::string short_path = (dir / "cncsend_bench_short.txt").string();
    const std::string long_path = (dir / "cncsend_bench_long.txt").string();

    const std::size_t short_size = write_short_lines(short_path, megabytes << 20);
    const std::size_t long_size = write_long_line(long_path, std::size_t{10} << 20);
    if (short_size == 0 || long_size == 0) {
        std::fprintf(stderr, "cannot write to %s\n", dir.string().c_str());
        return 1;
    }
    const double short_mb = short_size / 1048576.0;
    const double long_mb = long_size / 1048576.0;

    through_fgets(short_path);  // the file is in the page cache for both runs
    const Run lines = through_read_line(short_path);
    const Run reference = through_fgets(short_path);
    std::printf("short lines: %.1f MB\n", short_mb);
    report("read_line", lines, short_mb);
    report("fgets", reference, short_mb);
    std::printf("  read_line / fgets cpu ratio %.2f\n", lines.cpu / reference.cpu);

    const Run long_line = through_read_line(long_path);
    std::printf("one long line: %.1f MB\n", long_mb);
    report("read_line", long_line, long_mb);
    const bool whole = long_line.lines == 1 && long_line.bytes == (std::size_t{10} << 20);
    std::printf("  came back whole: %s\n", whole ? "yes" : "NO");
    std::printf("max resident set: %ld kB\n", max_resident_kb());

    fs::remove(short_path);
    fs::remove(long_path);
    return whole && lines.lines == reference.lines ? 0 : 1;
}
