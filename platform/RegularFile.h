// Opening and reading files named by a path without trusting what the path
// names. Only a regular file is opened, and the open itself never blocks: a
// FIFO without a writer would otherwise hold the caller forever, and a device
// such as /dev/zero would feed a read-to-the-end without end. Every reader in
// the system that takes a path opens it through here.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace platform {

// A read-only descriptor (blocking reads, closed on exec) of the regular file
// at `path`, or -1 with errno set: the open's own error, EISDIR for a folder,
// EINVAL for a pipe, device or socket.
int openRegularFile(const std::string& path);

// The same as a stdio stream in "rb" mode; null on failure, errno as above.
FILE* openRegularStream(const std::string& path);

// Replaces `bytes` with the whole regular file at `path`, read to its end (so
// files whose stated size is 0, as in /proc, read too). Returns 0, or an errno
// value: those of openRegularFile, EFBIG when the file holds more than `limit`
// bytes, or the read's error. `bytes` is left as it was on failure.
int readRegularFile(const std::string& path, std::string& bytes, uint64_t limit);

} // namespace platform
