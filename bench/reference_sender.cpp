// The plainest sender there is, as the yardstick for cncsend's own costs:
// raw line, each job line written with CR LF, then one blocking read of the
// one-byte reply.
//
//     reference_sender JOB [DEVICE]     (DEVICE defaults to $CNCSEND_COM1)
//
// Exit code 0 when every line was answered, 1 on any failure.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool write_all(int fd, const char* bytes, size_t count) {
    while (count > 0) {
        ssize_t n = write(fd, bytes, count);
        if (n <= 0) return false;
        bytes += n;
        count -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const char* device = argc > 2 ? argv[2] : std::getenv("CNCSEND_COM1");
    if (argc < 2 || !device) {
        std::fprintf(stderr, "usage: reference_sender JOB [DEVICE]\n");
        return 1;
    }
    std::FILE* job = std::fopen(argv[1], "rb");
    if (!job) return 1;
    int fd = open(device, O_RDWR | O_NOCTTY);
    if (fd < 0) return 1;
    termios t{};
    if (tcgetattr(fd, &t) != 0) return 1;
    cfmakeraw(&t);
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &t) != 0) return 1;

    char* line = nullptr;
    size_t capacity = 0;
    ssize_t length;
    while ((length = getline(&line, &capacity, job)) > 0) {
        while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r')) --length;
        if (!write_all(fd, line, static_cast<size_t>(length)) || !write_all(fd, "\r\n", 2))
            return 1;
        char reply;
        if (read(fd, &reply, 1) != 1) return 1;
    }
    std::free(line);
    std::fclose(job);
    close(fd);
    return 0;
}
