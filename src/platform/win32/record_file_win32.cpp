#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/record_file_backend.hpp"

namespace cncsend {

RecordFile open_record_file(const std::string& path) {
    const int fd =
        ::_open(path.c_str(), _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY | _O_NOINHERIT,
                _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        note_record_failure();
        return kNoRecordFile;
    }
    return fd;
}

long write_record_once(RecordFile file, const char* bytes, std::size_t count) {
    return ::_write(static_cast<int>(file), bytes, static_cast<unsigned>(count));
}

bool sync_record_file(RecordFile file) {
    // Devices (NUL, a console) cannot be flushed; that is no loss.
    if (::_commit(static_cast<int>(file)) == 0 || errno == EBADF) return true;
    return note_record_failure();
}

void close_record_file(RecordFile file) {
    ::_close(static_cast<int>(file));
}

// Ctrl+C and Ctrl+Break end the process through the system, not through a
// handler of ours.
void note_end_signal_in(RecordFile) {}

}  // namespace cncsend
