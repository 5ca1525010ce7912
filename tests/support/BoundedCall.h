// Runs a call that, when broken, would block forever or eat memory without end
// (an open of a FIFO nobody writes to, a read of an endless device) in a child
// process under an alarm, so that a test of it always ends. Also makes the
// non-regular files such calls are tried on.
#pragma once

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

enum class Outcome { kTrue, kFalse, kHung, kCrashed };

inline const char* outcomeName(Outcome o) {
    switch (o) {
    case Outcome::kTrue:
        return "true";
    case Outcome::kFalse:
        return "false";
    case Outcome::kHung:
        return "hung";
    default:
        return "crashed";
    }
}

// The call's result, or how the child ended when it did not return within
// `seconds`. Outside the sanitizer builds the child's address space is capped
// too, so a reader that grows without bound fails at once instead of taking
// the machine's memory for the whole wait (Address- and ThreadSanitizer
// reserve far more address space than any cap would allow). Under
// ThreadSanitizer, whose reads and copies run several times slower, the alarm
// waits three times as long.
inline Outcome runBounded(const std::function<bool()>& call, unsigned seconds = 10) {
#if defined(__SANITIZE_THREAD__)
    seconds *= 3;
#endif
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) return Outcome::kCrashed;
    if (pid == 0) {
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
        const rlimit cap{1u << 30, 1u << 30};
        ::setrlimit(RLIMIT_AS, &cap);
#endif
        ::alarm(seconds);
        const bool result = call();
        ::_exit(result ? 0 : 1);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return Outcome::kCrashed;
    if (WIFEXITED(status)) return WEXITSTATUS(status) == 0 ? Outcome::kTrue : Outcome::kFalse;
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM) return Outcome::kHung;
    return Outcome::kCrashed;
}

// A FIFO at `path` that nobody writes to; false when it cannot be made.
inline bool makeFifo(const std::string& path) {
    return ::mkfifo(path.c_str(), 0600) == 0;
}

} // namespace testsupport
