// What a media file costs to open is bounded by what it holds: a file that
// unpacks to N bytes, accepted or refused, takes at most 2 N + 64 MB of
// memory and about a second of CPU per 100 MB. Each file of the hostile table
// (vgm/support/HostileMedia.h) is opened in a child process whose address
// space is capped at the bound over what it already has, whose peak resident
// size is checked too, and whose CPU time is measured; the files are small,
// the ratio is what shows. Under the sanitizers, which reserve far more
// address space and keep freed memory in quarantine, only the outcome and the
// CPU time (with room for their slower code) are checked.
#include "vgm/VGMX.h"

#include "vantor/support/PrivateHome.h"
#include "vgm/support/HostileMedia.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

using vgmtest::cpuSeconds;
using vgmtest::statusBytes;

constexpr uint64_t kMB = 1ull << 20;
constexpr uint64_t kSize = 16 * kMB; // the unpacked size of most rows
constexpr uint64_t kAllowance = 64 * kMB;
constexpr uint64_t kSlack = 16 * kMB; // malloc arenas, the log, the test's own work
// About a second per 100 MB on a quiet machine; the check leaves room for a
// busy one, where touching fresh memory costs several times more, and still
// catches a reader that multiplies its input.
constexpr double kCpuPerByte = 4.0 / (100.0 * kMB);
constexpr double kCpuFixed = 1.0; // seconds any file may take (building the fixed allowance)

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
constexpr double kCpuScale = 5.0;
#else
constexpr bool kSanitized = false;
constexpr double kCpuScale = 1.0;
#endif



// What the child reports through its pipe.
struct Cost {
    bool opened = false;
    bool said = false; // the log holds the expected line
    double cpu = 0.0;
    uint64_t grown = 0; // peak resident bytes over those at the start
    char log[512] = {};
};

// Opens `file` in a child under the memory bound for `unpacked` bytes; false
// when the child did not report (it crashed, or ran out of the capped space).
bool openInChild(const std::string& file, uint64_t unpacked, const char* line, Cost& cost) {
    int fds[2];
    if (::pipe(fds) != 0) return false;
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) {
        ::close(fds[0]);
        const uint64_t bound = 2 * unpacked + kAllowance + kSlack;
        if (!kSanitized) {
            const rlim_t cap = statusBytes("VmSize:") + bound;
            const rlimit limit{cap, cap};
            ::setrlimit(RLIMIT_AS, &limit);
        }
        ::alarm(60);
        Cost c;
        const uint64_t before = statusBytes("VmRSS:");
        const double start = cpuSeconds();
        // A child that runs out of its capped space leaves here, never
        // through the test runner, which would go on as a second parent.
        try {
            VGM::VGMX vgm;
            c.opened = vgm.openFile(file);
            c.cpu = cpuSeconds() - start;
            c.said = !line || vgm.logText().find(line) != std::string::npos;
            std::snprintf(c.log, sizeof c.log, "%s", vgm.logText().c_str());
        } catch (...) {
            ::_exit(2);
        }
        const uint64_t peak = statusBytes("VmHWM:");
        c.grown = peak > before ? peak - before : 0;
        const bool sent = ::write(fds[1], &c, sizeof c) == ssize_t(sizeof c);
        ::_exit(sent ? 0 : 1);
    }
    ::close(fds[1]);
    const bool got = ::read(fds[0], &cost, sizeof cost) == ssize_t(sizeof cost);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return got;
}

class MediaCostTest : public testhome::Scratch {};

TEST_F(MediaCostTest, EveryFileCostsAtMostTwiceWhatItUnpacksToPlus64MB) {
    for (const vgmtest::HostileRow& r : vgmtest::hostileRows()) {
        SCOPED_TRACE(r.what);
        const std::string file = path(r.name);
        uint64_t unpacked = 0;
        {
            const vgmtest::HostileFile made = r.make(kSize);
            vgmtest::writeFile(file, made.bytes);
            unpacked = made.unpacked;
        }
        Cost c;
        ASSERT_TRUE(openInChild(file, unpacked, r.line, c))
            << "the child did not report: it crashed or passed the memory bound";
        EXPECT_EQ(c.opened, r.line == nullptr) << c.log;
        EXPECT_TRUE(c.said) << c.log;
        if (!kSanitized) {
            EXPECT_LE(c.grown, 2 * unpacked + kAllowance) << c.grown / kMB << " MB";
        }
        EXPECT_LE(c.cpu, kCpuScale * (kCpuFixed + double(unpacked) * kCpuPerByte)) << c.cpu << " s";
        std::remove(file.c_str());
    }
}

} // namespace
