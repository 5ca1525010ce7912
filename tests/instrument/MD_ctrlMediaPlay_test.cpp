// Media files played by the console controller on unit 6 with the real media
// player: the controller's routing, chip set-up and DAC intake heard through
// the console unit.
#include <gtest/gtest.h>

#include <cstring>

#include "ConsoleFixture.h"
#include "MediaSongs.h"
#include "vantor/support/PrivateHome.h"

using namespace insttest;
using namespace mediatest;

namespace {

constexpr uint32_t kPlay = ChipController::kPlay, kLoopForever = ChipController::kLoopForever;

class MD_ctrlMediaPlay : public testhome::Scratch {
protected:
    std::string songFile(const Bytes& bytes, const char* name = "song.vgm") {
        const std::string p = path(name);
        testhome::writeFile(p, std::string(bytes.begin(), bytes.end()));
        return p;
    }
    // Both channels of `seconds`, summed per FM sample (21 frames).
    static void render(Console& k, double seconds, std::vector<double>& left,
                       std::vector<double>& right) {
        const size_t fmSamples = size_t(seconds * k.fmRate());
        std::vector<int32_t> l(fmSamples * 21), r(fmSamples * 21);
        for (size_t at = 0; at < l.size(); at += 1000) {
            const size_t n = std::min<size_t>(1000, l.size() - at);
            int32_t* out[2] = {l.data() + at, r.data() + at};
            k.ctrl->render(out, 2, n);
        }
        left.assign(fmSamples, 0.0);
        right.assign(fmSamples, 0.0);
        for (size_t i = 0; i < fmSamples; ++i)
            for (size_t j = 0; j < 21; ++j) left[i] += l[21 * i + j], right[i] += r[21 * i + j];
    }
};

} // namespace

// FM, PSG and 0x80-style DAC writes sound at the pitches written into the
// song, on unit 6 alone.
TEST_F(MD_ctrlMediaPlay, AVgmPlaysItsNotesAtTheirPitches) {
    Console k;
    const auto voiceMirrors = k.ctrl->mirrors;
    ASSERT_TRUE(k.ctrl->openMedia(0, songFile(fmPsgDacSong())));
    k.ctrl->setSyncValue(kPlay, 0, 1.0);
    std::vector<double> left, right;
    render(k, kSongEnd, left, right);
    const double rate = k.fmRate();
    EXPECT_NEAR(pitchOf(left, rate, kFmFrom, kPsgFrom), sinePitch(kFmHz), 0.5);
    EXPECT_NEAR(pitchOf(left, rate, kPsgFrom, kDacFrom), kPsgHz, 0.5);
    EXPECT_NEAR(pitchOf(left, rate, kDacFrom, kSongEnd), kDacHz, 0.5);
    EXPECT_EQ(left, right);
    // The voice units stay silent: every write went to unit 6.
    for (uint64_t u = 0; u < 6; ++u)
        EXPECT_EQ(std::memcmp(&k.ctrl->mirrors[u], &voiceMirrors[u], sizeof voiceMirrors[u]), 0)
            << u;
}

// A PCM stream and an FM note that start together at the loop point start
// together on every pass.
TEST_F(MD_ctrlMediaPlay, LoopsKeepPcmStreamsInStepWithTheChips) {
    Console k;
    ASSERT_TRUE(k.ctrl->openMedia(0, songFile(loopingSong())));
    k.ctrl->setSyncValue(kLoopForever, 0, 1.0);
    k.ctrl->setSyncValue(kPlay, 0, 1.0);
    std::vector<double> left, right;
    render(k, kIntro + 3 * kLoopLength, left, right);
    const double rate = k.fmRate();
    for (int pass = 0; pass < 3; ++pass) {
        SCOPED_TRACE(pass);
        const double start = kIntro + pass * kLoopLength;
        const double fmOnset = onsetOf(left, rate, start - 0.02, start + 0.05);
        const double pcmOnset = onsetOf(right, rate, start - 0.02, start + 0.05);
        EXPECT_NEAR(fmOnset, start, 0.001);
        EXPECT_NEAR(pcmOnset, start, 0.001);
    }
}
