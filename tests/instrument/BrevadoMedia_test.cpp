// Media files heard as a host hears them: the built "Brevado" loaded with
// dlopen, one instance driven only through the four exports and its C record.
// A file goes in through the load-file extension, the transport moves by
// parameter events (ids 384 and up), and the stereo output is measured; the
// pixel canvas extension shows what the display draws.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "BrevadoInstance.h"
#include "MediaSongs.h"
#include "vgm/support/PageText.h"

using namespace mediatest;

namespace {

using namespace brevadotest;

using BrevadoMedia = MediaFixture;

} // namespace

// FM, PSG and 0x80-style DAC writes: each section sounds at the pitch
// written into the song, on both sides.
TEST_F(BrevadoMedia, AGeneratedVgmPlaysItsNotesAtTheirPitches) {
    Instance w;
    ASSERT_TRUE(w.active);
    ASSERT_EQ(w.load(file("song.vgm", fmPsgDacSong())), 0);
    const Stereo x = w.render(size_t(kSongEnd * kRate), 256, {transport(kPlay, 1.0f)});
    struct Section {
        const char* what;
        double from, to, hz;
    };
    for (const Section& s :
         {Section{"FM", kFmFrom, kPsgFrom, sinePitch(kFmHz)},
          Section{"PSG", kPsgFrom, kDacFrom, kPsgHz}, Section{"DAC", kDacFrom, kSongEnd, kDacHz}}) {
        SCOPED_TRACE(s.what);
        EXPECT_NEAR(pitchOf(x.left, kRate, s.from + 0.05, s.to - 0.05), s.hz, 1.0);
        EXPECT_NEAR(pitchOf(x.right, kRate, s.from + 0.05, s.to - 0.05), s.hz, 1.0);
        EXPECT_GT(db(x.left, size_t((s.from + 0.1) * kRate), size_t((s.to - 0.1) * kRate)), -40.0);
    }
}

// A PCM stream and an FM note that start together at the loop point start
// together on every pass, one loop length apart.
TEST_F(BrevadoMedia, ALoopPlaysInStep) {
    Instance w;
    ASSERT_EQ(w.load(file("loop.vgm", loopingSong())), 0);
    const Stereo x = w.render(size_t((kIntro + 4 * kLoopLength) * kRate), 256,
                              {transport(kLoopForever, 1.0f), transport(kPlay, 1.0f)});
    double first = 0.0;
    for (int pass = 0; pass < 4; ++pass) {
        SCOPED_TRACE(pass);
        const double start = kIntro + pass * kLoopLength;
        const double fm = onsetOf(x.left, kRate, start - 0.03, start + 0.05);
        const double pcm = onsetOf(x.right, kRate, start - 0.03, start + 0.05);
        ASSERT_GT(fm, 0.0);
        ASSERT_GT(pcm, 0.0);
        EXPECT_NEAR(pcm, fm, 0.001);
        if (pass == 0) first = fm;
        EXPECT_NEAR(fm - first, pass * kLoopLength, 0.001);
    }
}

// The song as a bare file, gzipped, and as the second member of a zip and of
// a 7z archive: the same output to the sample.
TEST_F(BrevadoMedia, ASongInsideAnArchivePlaysTheSameAsTheBareFile) {
    const Bytes song = fmPsgDacSong();
    const Bytes other = loopingSong();
    struct Case {
        const char* name;
        Bytes bytes;
        float member;
    };
    const std::vector<std::pair<std::string, Bytes>> members = {{"a.vgm", other}, {"b.vgm", song}};
    const std::vector<Case> cases = {
        {"song.vgm", song, 0.0f},
        {"song.vgz", vgmtest::gzipBytes(song, "song.vgm"), 0.0f},
        {"songs.zip", vgmtest::zipBytes(path("scratch.zip"), members), 1.0f},
        {"songs.7z", vgmtest::sevenZipBytes(members), 1.0f},
    };
    std::vector<double> bare;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Instance w;
        ASSERT_EQ(w.load(file(c.name, c.bytes)), 0);
        const Stereo x = w.render(size_t(0.8 * kRate), 256,
                                  {transport(kSelectTrack, c.member), transport(kPlay, 1.0f)});
        if (bare.empty()) {
            bare = x.left;
            EXPECT_GT(db(bare), -40.0);
        } else {
            EXPECT_EQ(x.left, bare);
        }
    }
}

// Close, speed changes and reselection while the song plays, a failed
// member selection among them: playing goes on (or stops) without touching
// freed data, and a new load plays again.
TEST_F(BrevadoMedia, TransportChangesWhilePlaying) {
    const Bytes broken = {'V', 'g', 'm', ' ', 1, 2, 3};
    const std::string archive =
        file("mixed.zip",
             vgmtest::zipBytes(path("scratch.zip"), {{"a.vgm", loopingSong()}, {"b.vgm", broken}}));
    Instance w;
    ASSERT_EQ(w.load(archive), 0);
    Stereo x = w.render(4410, 256, {transport(kLoopForever, 1.0f), transport(kPlay, 1.0f)});
    const std::vector<std::vector<HDMIDIEvent>> steps = {
        {transport(kSpeed, 2.0f, 10)},
        {transport(kSpeed, 0.5f, 3), transport(kSpeed, 1.0f, 200)},
        {transport(kSameTrack, 1.0f, 17)},
        {transport(kSelectTrack, 1.0f, 5)}, // the broken member
        {transport(kSelectTrack, 0.0f, 5), transport(kPlay, 1.0f, 6)},
        {transport(kSpeed, 3.0f, 1), transport(kSelectTrack, 0.0f, 2)},
        {transport(kClose, 1.0f, 100)},
        {transport(kPlay, 1.0f, 0), transport(kSpeed, 1.5f, 1)}, // nothing loaded
    };
    for (const auto& events : steps) x.append(w.render(4410, 256, events));
    // Closed: silence.
    EXPECT_LT(db(x.left, x.left.size() - 2205), -80.0);
    // A new load plays.
    ASSERT_EQ(w.load(file("song.vgm", fmPsgDacSong())), 0);
    const Stereo again = w.render(size_t(0.4 * kRate), 256, {transport(kPlay, 1.0f)});
    EXPECT_NEAR(pitchOf(again.left, kRate, 0.05, 0.4), sinePitch(kFmHz), 1.0);
}

// Files that cannot be played are refused with a failure result, and the
// instance still plays its notes.
TEST_F(BrevadoMedia, ABrokenFileFailsAndNotesStillPlay) {
    Bytes truncated = fmPsgDacSong();
    truncated.resize(0x50);
    Bytes badGzip = vgmtest::gzipBytes(fmPsgDacSong(), "song.vgm");
    for (size_t i = 20; i < badGzip.size(); i += 7) badGzip[i] ^= 0x5A;
    const std::vector<std::pair<const char*, Bytes>> cases = {
        {"empty.vgm", {}},
        {"truncated.vgm", truncated},
        {"noise.vgm", Bytes(3000, 0xA7)},
        {"bad.vgz", badGzip},
        {"nothing.zip", vgmtest::zipBytes(path("scratch.zip"), {{"readme.txt", {'h', 'i'}}})},
        {"bad.7z", Bytes{'7', 'z', 0xBC, 0xAF, 0x27, 0x1C, 0, 4, 1, 2, 3}},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        Instance w;
        EXPECT_EQ(w.load(file(name, bytes)), -1);
        const Stereo x =
            w.render(size_t(0.5 * kRate), 256, {transport(kPlay, 1.0f), noteOn(69, 3)});
        EXPECT_NEAR(insttest::pitchByZeroCrossings(x.left, kRate, x.left.size() / 4), 440.0, 2.0);
    }
}

// The host's block sizes do not change the sound of a playing song.
TEST_F(BrevadoMedia, HostBlockSizesGiveTheSameOutput) {
    const std::string song = file("song.vgm", fmPsgDacSong());
    const size_t frames = size_t(1.2 * kRate);
    Stereo reference;
    for (uint32_t block : {256u, 4096u, 37u, 1u}) {
        SCOPED_TRACE(block);
        Instance w(4096);
        ASSERT_EQ(w.load(song), 0);
        const size_t first = block == 1 ? 3000 : frames;
        Stereo x = w.render(first, block, {transport(kPlay, 1.0f)});
        if (first < frames) x.append(w.render(frames - first, 1000));
        if (reference.left.empty()) {
            reference = x;
            continue;
        }
        EXPECT_EQ(x.left, reference.left);
        EXPECT_EQ(x.right, reference.right);
    }
}

// With no song the canvas shows the idle page, which follows the console
// model; a loaded song's track page replaces it, and closing the song brings
// it back.
TEST_F(BrevadoMedia, TheCanvasShowsTheIdlePageWhileNoSongIsLoaded) {
    Instance w;
    ASSERT_TRUE(w.active);
    auto canvas = std::make_unique<sdk::PixelCanvasExtension>();
    canvas->header.id = sdk::EXT_PIXEL_CANVAS;
    ASSERT_EQ(w.extension(canvas.get(), sizeof *canvas, 0), 1);
    ASSERT_EQ(canvas->width, 320);
    ASSERT_EQ(canvas->height, 224);
    const auto lit = [&](int64_t x, int64_t y) {
        return x >= 0 && y >= 0 && x < 320 && y < 224 && canvas->pixels[y * 320 + x] != 0;
    };
    const auto shows = [&](const std::string& text, int64_t y, int vScale = 1) {
        return vgmtest::showsText(lit, text, 8, y, vScale);
    };
    EXPECT_TRUE(shows("sondrix MD", 8, 2));
    EXPECT_TRUE(shows("Console model: MD-1 (YM2612)", 40));
    EXPECT_TRUE(shows("This window is the media display:", 72));

    // The model is chip parameter 7 (engine id 1024 + 7): profile 1, then 2.
    HDMIDIEvent model = transport(0, 1.0f);
    model.id = 1024 + 7;
    w.render(256, 256, {model});
    EXPECT_TRUE(shows("Console model: MD-2 (YM3438)", 40));

    ASSERT_EQ(w.load(file("song.vgm", fmPsgDacSong())), 0);
    EXPECT_TRUE(shows("Vantor VGM Player v1.123", 8, 2));
    model.value = 2.0f;
    w.render(256, 256, {model});
    EXPECT_TRUE(shows("Vantor VGM Player v1.123", 8, 2)); // the track page stays

    w.render(256, 256, {transport(kClose, 1.0f)});
    EXPECT_TRUE(shows("sondrix MD", 8, 2));
    EXPECT_TRUE(shows("Console model: Ideal", 40));
}
