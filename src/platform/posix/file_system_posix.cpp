#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_system.hpp"

namespace cncsend {

std::string native_file_name(const std::string& name) {
    std::string native = name;
    for (char& c : native)
        if (c == '\\') c = '/';
    return native;
}

bool names_plain_file_or_nothing(const std::string& native_name) {
    struct stat st {};
    if (stat(native_name.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return true;
    // Pipes and terminals cannot be positioned: their length is unknown.
    errno = S_ISDIR(st.st_mode) ? EISDIR : ESPIPE;
    return false;
}

bool stream_seek(std::FILE* stream, std::int64_t offset, int origin) {
    static const int whence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    if (origin < 0 || origin > 2) return false;
    return fseeko(stream, static_cast<off_t>(offset), whence[origin]) == 0;
}

std::int64_t stream_tell(std::FILE* stream) {
    off_t pos = ftello(stream);
    return pos < 0 ? -1 : static_cast<std::int64_t>(pos);
}

namespace {
bool set_lock(std::FILE* stream, short type, std::uint32_t position, std::uint32_t length) {
    struct flock range {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    range.l_start = static_cast<off_t>(position);
    range.l_len = static_cast<off_t>(length);
    return fcntl(fileno(stream), F_SETLK, &range) == 0;
}
}  // namespace

bool stream_lock(std::FILE* stream, std::uint32_t position, std::uint32_t length, bool writable) {
    return set_lock(stream, writable ? F_WRLCK : F_RDLCK, position, length);
}

bool stream_unlock(std::FILE* stream, std::uint32_t position, std::uint32_t length) {
    return set_lock(stream, F_UNLCK, position, length);
}

int stream_read_until(std::FILE* stream, std::string& text, const ByteSet& stops) {
    char chunk[4096];
    std::size_t held = 0;
    int c;
    flockfile(stream);
    while ((c = getc_unlocked(stream)) != EOF && !stops[static_cast<unsigned char>(c)]) {
        chunk[held++] = static_cast<char>(c);
        if (held == sizeof chunk) {
            text.append(chunk, held);
            held = 0;
        }
    }
    funlockfile(stream);
    text.append(chunk, held);
    return c;
}

}  // namespace cncsend
