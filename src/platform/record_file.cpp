#include <cerrno>
#include <cstring>

#include "platform/record_file_backend.hpp"

namespace cncsend {

namespace {

int last_failure = 0;

}  // namespace

bool note_record_failure() {
    last_failure = errno;
    return false;
}

bool write_record_file(RecordFile file, const char* bytes, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const long n = write_record_once(file, bytes + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) errno = EIO;
        if (n <= 0) return note_record_failure();
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::string record_file_failure() {
    return last_failure != 0 ? std::strerror(last_failure) : "";
}

}  // namespace cncsend
