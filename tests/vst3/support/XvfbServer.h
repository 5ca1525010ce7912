// A private X server for the editor tests, and the few Xlib look-ups they
// make on its windows. The server is started with -displayfd, so the test
// learns its display number once it is ready (a bounded wait, no sleep).
//
// Include it last: Xlib's macros (None, Status, ...) clash with the test
// host's headers.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

extern char** environ;

namespace xtest {

class XvfbServer {
public:
    XvfbServer() {
        int fds[2];
        if (::pipe(fds) != 0) return;
        const std::string fd = std::to_string(fds[1]);
        const char* argv[] = {"Xvfb",         "-displayfd", fd.c_str(), "-screen", "0",
                              "1280x1024x24", "-nolisten",  "tcp",      nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const bool started =
            posix_spawnp(&m_pid, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ) == 0;
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        if (!started) {
            m_pid = 0;
            ::close(fds[0]);
            return;
        }
        m_display = readDisplayNumber(fds[0]);
        ::close(fds[0]);
    }
    ~XvfbServer() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;
    const std::string& display() const { return m_display; }

private:
    // The server writes the number and the newline in two writes, and ends
    // itself when the second one finds the pipe closed: the pipe stays open
    // until the newline arrived. Empty when it never came (20 s in all).
    static std::string readDisplayNumber(int fd) {
        std::string text;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (text.size() < 16) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd p{fd, POLLIN, 0};
            if (left.count() <= 0) return {};
            const int ready = ::poll(&p, 1, int(left.count()));
            if (ready < 0 && errno == EINTR) continue;
            if (ready != 1) return {};
            char c = 0;
            const ssize_t n = ::read(fd, &c, 1);
            if (n < 0 && errno == EINTR) continue;
            if (n != 1) return {};
            if (c == '\n') return text.empty() ? std::string() : ":" + text;
            text += c;
        }
        return {};
    }

    pid_t m_pid = 0;
    std::string m_display;
};

// Starts a server and opens DISPLAY on it. Servers started side by side by
// other test programs can race for a display number; a server that lost the
// race is replaced (a few tries). Null display: Xvfb is missing or never
// answered (`installed` tells which).
inline Display* openPrivateDisplay(std::unique_ptr<XvfbServer>& server, bool& installed) {
    installed = true;
    for (int attempt = 0; attempt < 5; ++attempt) {
        server = std::make_unique<XvfbServer>();
        if (server->display().empty()) {
            installed = false;
            return nullptr;
        }
        ::setenv("DISPLAY", server->display().c_str(), 1);
        if (Display* d = XOpenDisplay(nullptr)) return d;
    }
    return nullptr;
}

// A mapped white 1000 x 700 top-level window: the DAW's window the editor is
// embedded in.
inline Window mapHostWindow(Display* d) {
    const Window parent =
        XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1000, 700, 0, 0, 0xFFFFFF);
    XMapWindow(d, parent);
    XSync(d, False);
    return parent;
}

// The colour at (x, y) of a window as 0xRRGGBB; ~0 when it cannot be read.
inline unsigned long pixelAt(Display* d, Window w, int x, int y) {
    XImage* image = XGetImage(d, w, x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image) return ~0ul;
    const unsigned long p = XGetPixel(image, 0, 0) & 0xFFFFFF;
    XDestroyImage(image);
    return p;
}

// Every pixel of a width x height area of a window, row after row, as
// 0xRRGGBB; empty when it cannot be read.
inline std::vector<unsigned long> pixelsOf(Display* d, Window w, int width, int height) {
    XImage* image = XGetImage(d, w, 0, 0, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
    if (!image) return {};
    std::vector<unsigned long> pixels(size_t(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels[size_t(y) * width + x] = XGetPixel(image, x, y) & 0xFFFFFF;
    XDestroyImage(image);
    return pixels;
}

inline std::vector<Window> childrenOf(Display* d, Window w) {
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    XQueryTree(d, w, &root, &parent, &children, &count);
    std::vector<Window> list(children, children + count);
    if (children) XFree(children);
    return list;
}

} // namespace xtest
