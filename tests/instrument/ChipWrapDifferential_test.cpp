// The audio path renders the same bit for bit with its exact shortcuts on
// and off, over cases drawn from seeds (ShortcutCases.h) and the fixed
// cases of renders that once differed. A failure names its seed, rate and
// host blocks; `shortcut-diff FIRST COUNT` renders any run of seeds the same
// way. The seeds run here are 1 to SX_DIFFERENTIAL_SEEDS (fewer in the
// sanitizer build), or to the number in the environment variable of that
// name, and the fixed seeds below whatever that number.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "ShortcutCases.h"
#include "vantor/support/PrivateHome.h"

#ifndef SX_DIFFERENTIAL_SEEDS
#define SX_DIFFERENTIAL_SEEDS 45
#endif

using namespace shortcutcases;

namespace {

// Seeds past the usual range whose cases once differed: a joined pass of
// the resampler consumed less than its last pass would have, so that the
// input kept back (at 8000 Hz: the chip frame of writes between blocks) and
// the resampler's memory after a quality change (at 22050 Hz) were not the
// passes' own; and a media song that ended made way for the next track
// only where the render's piece ended, so a joined pass moved the restart
// (at 44100 Hz, 83-frame blocks).
constexpr uint64_t kFixedSeeds[] = {266, 433, 2093};

uint64_t seedCount() {
    if (const char* text = std::getenv("SX_DIFFERENTIAL_SEEDS"))
        return std::strtoull(text, nullptr, 10);
    return SX_DIFFERENTIAL_SEEDS;
}

void expectSame(const Case& c) {
    const Verdict v = compare(c);
    EXPECT_TRUE(v.same) << c.name << ": first difference at frame " << v.frame << ", " << v.fast
                        << " with the shortcuts, " << v.full << " without";
}

class ChipWrapDifferential : public testhome::Scratch {};

} // namespace

TEST_F(ChipWrapDifferential, FixedCases) {
    expectSame(phraseAfterLongRest());
    expectSame(tenCommandSongCase(path("ten.vgm"), 48000.0, 64));
    expectSame(tenCommandSongCase(path("ten.vgm"), 44100.0, 256));
}

TEST_F(ChipWrapDifferential, FixedSeeds) {
    const std::string song = writeSong(path("song.vgm"));
    for (uint64_t seed : kFixedSeeds) expectSame(drawCase(seed, song));
}

TEST_F(ChipWrapDifferential, DrawnCases) {
    const std::string song = writeSong(path("song.vgm"));
    for (uint64_t seed = 1; seed <= seedCount(); ++seed) {
        expectSame(drawCase(seed, song));
    }
}
