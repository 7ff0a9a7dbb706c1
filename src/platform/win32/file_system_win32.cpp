// Files on Windows. Every stream is opened in binary mode; the file layer
// itself turns CR LF into LF and stops at Ctrl-Z for Input files, so text
// reads the same here as on any other system.

#include <io.h>
#include <stdio.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>

#include "platform/file_system.hpp"

namespace cncsend {

std::string native_file_name(const std::string& name) {
    std::string native = name;
    for (char& c : native)
        if (c == '/') c = '\\';
    return native;
}

// Devices (CON, NUL, COM1) have no length either.
bool names_plain_file_or_nothing(const std::string& native_name) {
    struct _stat64 st {};
    if (_stat64(native_name.c_str(), &st) != 0 || (st.st_mode & _S_IFMT) == _S_IFREG) return true;
    errno = (st.st_mode & _S_IFMT) == _S_IFDIR ? EISDIR : EINVAL;
    return false;
}

bool stream_seek(std::FILE* stream, std::int64_t offset, int origin) {
    static const int whence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    if (origin < 0 || origin > 2) return false;
    return _fseeki64(stream, offset, whence[origin]) == 0;
}

std::int64_t stream_tell(std::FILE* stream) {
    const __int64 pos = _ftelli64(stream);
    return pos < 0 ? -1 : static_cast<std::int64_t>(pos);
}

namespace {
HANDLE system_handle(std::FILE* stream) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}
}  // namespace

// LockFile has no shared locks: a range is always locked for this handle alone.
bool stream_lock(std::FILE* stream, std::uint32_t position, std::uint32_t length, bool) {
    const HANDLE h = system_handle(stream);
    return h != INVALID_HANDLE_VALUE && LockFile(h, position, 0, length, 0);
}

bool stream_unlock(std::FILE* stream, std::uint32_t position, std::uint32_t length) {
    const HANDLE h = system_handle(stream);
    return h != INVALID_HANDLE_VALUE && UnlockFile(h, position, 0, length, 0);
}

int stream_read_until(std::FILE* stream, std::string& text, const ByteSet& stops) {
    char chunk[4096];
    std::size_t held = 0;
    int c;
    // The stream's lock is taken again by each getc; holding it across the
    // run keeps the run whole and each of those takes cheap.
    _lock_file(stream);
    while ((c = std::getc(stream)) != EOF && !stops[static_cast<unsigned char>(c)]) {
        chunk[held++] = static_cast<char>(c);
        if (held == sizeof chunk) {
            text.append(chunk, held);
            held = 0;
        }
    }
    _unlock_file(stream);
    text.append(chunk, held);
    return c;
}

}  // namespace cncsend
