#include "platform/Launcher.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <deque>
#include <mutex>

extern char** environ;

namespace platform {

class RunningApplication {
public:
    explicit RunningApplication(pid_t pid) : m_pid(pid) {}
    // Reaps the child when it has ended. Call with the launcher lock held.
    bool poll() {
        if (m_ended) return true;
        int status = 0;
        pid_t r = waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid || (r < 0 && errno == ECHILD)) m_ended = true;
        return m_ended;
    }

private:
    pid_t m_pid;
    bool m_ended = false;
};

namespace {

std::mutex g_lock;
// Every program started, for the life of the process (handles stay valid).
std::deque<RunningApplication>& launched() {
    static auto* d = new std::deque<RunningApplication>();
    return *d;
}

void reapFinished() {
    for (RunningApplication& app : launched()) app.poll();
}

RunningApplication* spawnDetached(const std::string& program,
                                  const std::vector<std::string>& arguments) {
    if (program.empty()) return nullptr;
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    // Nothing of this process leaks into the child: no other descriptors, no
    // blocked or ignored signals, and a session of its own.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);

    std::lock_guard<std::mutex> guard(g_lock);
    reapFinished();
    if (rc != 0) return nullptr;
    launched().emplace_back(pid);
    return &launched().back();
}

} // namespace

RunningApplication* launchApplication(const std::string& program,
                                      const std::vector<std::string>& arguments) {
    return spawnDetached(program, arguments);
}

bool isTerminated(RunningApplication* app) {
    if (!app) return true;
    std::lock_guard<std::mutex> guard(g_lock);
    reapFinished();
    return app->poll();
}

bool openWithDefaultApplication(const std::string& target) {
    return spawnDetached("xdg-open", {target}) != nullptr;
}

} // namespace platform
