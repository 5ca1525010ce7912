// What a media file costs to open is bounded by what it holds: a file that
// unpacks to N bytes, accepted or refused, takes at most 2 N + 64 MB of
// memory and about a second of CPU per 100 MB. Each file of the hostile table
// (vgm/support/HostileMedia.h) is opened in a child process whose address
// space is capped at the bound over what it already has, whose peak resident
// size is checked too, and whose CPU time is measured; the files are small,
// the ratio is what shows. Under the sanitizers, which reserve far more
// address space and keep freed memory in quarantine, only the outcome and the
// CPU time (with room for their slower code) are checked.
#include "vantor/support/PrivateHome.h"
#include "vgm/support/HostileMedia.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

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
        vgmtest::OpenCost c;
        const uint64_t cap = kSanitized ? 0 : 2 * unpacked + kAllowance + kSlack;
        ASSERT_TRUE(vgmtest::openInChild(file, cap, r.line, c))
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
