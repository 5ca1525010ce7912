// Test scaffolding for the file and log tests: the whole test process gets a
// private home. HOME, XDG_CONFIG_HOME, XDG_CONFIG_DIRS, XDG_DATA_HOME and
// TMPDIR point at fresh folders below one root that is removed at the end, so
// nothing touches the real home or the shared temporary folder. TZ is UTC so
// that formatted dates are fixed. Header only: include it in one test file per
// executable.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <ftw.h>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testhome {

inline std::string& root() {
    static std::string path;
    return path;
}

inline int removeEntry(const char* path, const struct stat*, int type, struct FTW*) {
    if (type == FTW_DP) {
        ::chmod(path, 0700);
        return ::rmdir(path);
    }
    return ::unlink(path);
}

inline void removeTree(const std::string& path) {
    ::nftw(path.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool isRoot() {
    return ::geteuid() == 0;
}

// Runs `body` in a child process that first gives up root (user and group
// 65534) when it has it, so that permission checks apply; returns the child's
// exit status (the body's result), or -1 when the child could not run.
template <typename Body> int runUnprivileged(Body body) {
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(99);
        ::_exit(body());
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

class Environment : public ::testing::Environment {
public:
    void SetUp() override {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/sxfiles.XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        // Reachable by the unprivileged children some tests start.
        ::chmod(pattern.c_str(), 0755);
        root() = pattern;
        const char* const folders[][2] = {
            {"HOME", "/home"},
            {"XDG_CONFIG_HOME", "/home/.config"},
            {"XDG_CONFIG_DIRS", "/etc-xdg"},
            {"XDG_DATA_HOME", "/home/.local/share"},
            {"TMPDIR", "/tmp"},
        };
        ::mkdir((root() + "/home").c_str(), 0755);
        ::mkdir((root() + "/home/.local").c_str(), 0755);
        for (const auto& f : folders) {
            const std::string path = root() + f[1];
            ::mkdir(path.c_str(), 0755);
            ::setenv(f[0], path.c_str(), 1);
        }
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }
    void TearDown() override {
        if (!root().empty()) removeTree(root());
    }
};

inline ::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new Environment);

// A fresh, empty folder per test below the private root.
class Scratch : public ::testing::Test {
protected:
    void SetUp() override {
        static int counter = 0;
        dir = root() + "/t" + std::to_string(++counter);
        ASSERT_EQ(::mkdir(dir.c_str(), 0755), 0);
    }
    std::string path(const std::string& name) const { return dir + "/" + name; }
    std::string dir;
};

} // namespace testhome
