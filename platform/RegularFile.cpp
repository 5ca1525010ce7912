#include "platform/RegularFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

// O_NONBLOCK keeps the open of a FIFO from waiting for a writer; once the
// descriptor is known to be a regular file the flag goes again, since it
// means nothing for regular files and callers expect plain blocking reads.
int openRegularFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        errno = error;
        return -1;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

FILE* openRegularStream(const std::string& path) {
    const int fd = openRegularFile(path);
    if (fd < 0) return nullptr;
    FILE* f = ::fdopen(fd, "rb");
    if (!f) {
        const int error = errno;
        ::close(fd);
        errno = error;
    }
    return f;
}

// Reads in pieces up to one byte past the limit, so that a file that grows
// while it is read can never take more than `limit` + one piece of memory.
int readRegularFile(const std::string& path, std::string& bytes, uint64_t limit) {
    const int fd = openRegularFile(path);
    if (fd < 0) return errno;
    std::string text;
    int error = 0;
    char piece[8192];
    for (;;) {
        const ssize_t n = ::read(fd, piece, sizeof piece);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = errno;
            break;
        }
        if (n == 0) break;
        if (static_cast<uint64_t>(n) > limit - text.size()) {
            error = EFBIG;
            break;
        }
        text.append(piece, static_cast<size_t>(n));
    }
    ::close(fd);
    if (error == 0) bytes.swap(text);
    return error;
}

} // namespace platform
