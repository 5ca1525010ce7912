// Media files played by the console controller on unit 6 with the real media
// player: the controller's routing, chip set-up and DAC intake heard through
// the console unit.
#include <gtest/gtest.h>

#include <cstring>

#include "ConsoleFixture.h"
#include "MediaSongs.h"
#include "vantor/support/PrivateHome.h"
#include "vgm/support/YmFixtures.h"

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

// A YM song's frames sound at their own tick, 50 a second: the tone written
// in frame 0 starts at once, notes written in frames 100 and 200 (each after
// a silent frame) start at 2 s and 4 s, and each of the song's five closing
// frames, an 880 Hz tone a step quieter each frame, is heard in its own
// 20 ms, the last one included.
TEST_F(MD_ctrlMediaPlay, YmFramesSoundAtTheirOwnTick) {
    constexpr double kClock = 2000000.0;
    auto frame = [](uint16_t period, uint8_t volume) {
        Bytes r(16, 0);
        r[0] = uint8_t(period & 0xFF);
        r[1] = uint8_t(period >> 8);
        r[7] = 0x3E; // tone A only
        r[8] = volume;
        r[13] = 0xFF; // no new envelope shape
        return r;
    };
    vgmtest::YmSong song;
    song.tag = "YM5!";
    song.clock = uint32_t(kClock);
    song.rate = 50;
    for (int f = 0; f < 200; ++f)
        song.registers.push_back(frame(f < 100 ? 284 : 71, f == 99 || f == 199 ? 0 : 15));
    for (uint8_t volume = 15; volume > 10; --volume) song.registers.push_back(frame(142, volume));
    song.frames = uint32_t(song.registers.size());
    const Bytes packed = vgmtest::lhaStored({{"frames.ym", vgmtest::ymBytes(song)}});
    Console k;
    ASSERT_TRUE(k.ctrl->openMedia(0, songFile(packed, "frames.ym")));
    k.ctrl->setSyncValue(kPlay, 0, 1.0);
    std::vector<double> left, right;
    render(k, 4.2, left, right);
    const double rate = k.fmRate();

    // An onset waits at most half a period for the tone to rise.
    EXPECT_NEAR(onsetOf(left, rate, 0.0, 0.05), 0.0, 0.002);
    EXPECT_NEAR(pitchOf(left, rate, 0.1, 1.9), kClock / (16.0 * 284), 0.5);
    EXPECT_NEAR(onsetOf(left, rate, 1.995, 2.05), 2.0, 0.001);
    EXPECT_NEAR(pitchOf(left, rate, 2.1, 3.9), kClock / (16.0 * 71), 1.0);
    EXPECT_NEAR(onsetOf(left, rate, 3.995, 4.05), 4.0, 0.001);
    EXPECT_NEAR(pitchOf(left, rate, 4.0, 4.1), kClock / (16.0 * 142), 2.0);
    // The peak of each closing frame's 20 ms, its edges left out.
    double previous = 1e30;
    for (int f = 0; f < 5; ++f) {
        SCOPED_TRACE(f);
        const double from = 4.0 + 0.02 * f + 0.002, to = from + 0.016;
        double peak = 0.0;
        for (size_t i = size_t(from * rate); i < size_t(to * rate); ++i)
            peak = std::max(peak, left[i]);
        EXPECT_GT(peak, 0.0);
        EXPECT_LT(peak, previous);
        previous = peak;
    }
}
