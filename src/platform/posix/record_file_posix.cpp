#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "platform/posix/end_signals.hpp"
#include "platform/record_file_backend.hpp"
#include "platform/utc_time.hpp"

namespace cncsend {

namespace {

volatile std::sig_atomic_t signal_fd = -1;

// Inside the signal handler: a line built on the stack, one write(2).
void note_signal(int signal_number) {
    const int fd = signal_fd;
    if (fd < 0) return;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    char line[64];
    format_utc_time(static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000, line);
    static const char kText[] = " end signal ";
    std::size_t length = kUtcTimeLength;
    for (const char* c = kText; *c; ++c) line[length++] = *c;
    char digits[8];
    int count = 0;
    for (int n = signal_number; count == 0 || n > 0; n /= 10) digits[count++] = '0' + n % 10;
    while (count > 0) line[length++] = digits[--count];
    line[length++] = '\n';
    ssize_t ignored = ::write(fd, line, length);
    (void)ignored;
}

}  // namespace

RecordFile open_record_file(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        note_record_failure();
        return kNoRecordFile;
    }
    return fd;
}

long write_record_once(RecordFile file, const char* bytes, std::size_t count) {
    return static_cast<long>(::write(static_cast<int>(file), bytes, count));
}

bool sync_record_file(RecordFile file) {
    // Devices and pipes cannot be synced; that is no loss.
    if (::fdatasync(static_cast<int>(file)) == 0 || errno == EINVAL || errno == EROFS) return true;
    return note_record_failure();
}

void close_record_file(RecordFile file) {
    ::close(static_cast<int>(file));
}

void note_end_signal_in(RecordFile file) {
    static bool added = false;
    signal_fd = static_cast<int>(file);
    if (file != kNoRecordFile && !added) {
        added = true;
        add_end_signal_action(note_signal);
    }
}

}  // namespace cncsend
