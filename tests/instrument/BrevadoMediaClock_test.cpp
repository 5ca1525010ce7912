// Every chip of a media file plays at the clock its file states, heard as a
// host hears it: generated tracks whose clocks differ from the console's
// (an Atari ST YM file, a ZX Spectrum AY document, a PAL console rip, a PC-88
// YM2203 song) played through the built "Brevado" and its four exports, each
// note measured against the pitch its clock and register values give. The
// instrument's own voices keep their pitch after a song.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "BrevadoInstance.h"
#include "MediaSongs.h"
#include "vgm/support/YmFixtures.h"

using namespace mediatest;
using namespace brevadotest;

namespace {

using BrevadoMediaClock = MediaFixture;

constexpr double kNoteLength = 0.4;

double cents(double measured, double expected) {
    return 1200.0 * std::log2(measured / expected);
}

// One note of a track: it sounds over [from, to) seconds at `hz`.
struct Note {
    const char* what;
    double from, to, hz;
};

struct Track {
    const char* name; // file name, by whose extension it is read
    Bytes bytes;
    std::vector<Note> notes;
};

// AY registers of one note on channel A: tone period `period`, tone only,
// fixed volume 15, envelope shape left alone.
Bytes ayNote(uint16_t period) {
    Bytes r(16, 0);
    r[0] = uint8_t(period & 0xFF);
    r[1] = uint8_t(period >> 8);
    r[7] = 0x3E;
    r[8] = 0x0F;
    r[13] = 0xFF;
    return r;
}

// A YM5 file of the Atari ST, packed as YM files are: 2 MHz, 50 frames a
// second, three notes.
Track ym5AtTwoMegahertz() {
    constexpr uint32_t kClock = 2000000;
    const uint16_t periods[] = {284, 142, 568};
    vgmtest::YmSong song;
    song.tag = "YM5!";
    song.clock = kClock;
    song.rate = 50;
    Track t{"atari.ym", {}, {}};
    const int frames = int(kNoteLength * song.rate);
    double at = 0.0;
    for (uint16_t p : periods) {
        for (int f = 0; f < frames; ++f) song.registers.push_back(ayNote(p));
        t.notes.push_back({"YM5 tone", at, at + kNoteLength, kClock / (16.0 * p)});
        at += kNoteLength;
    }
    song.frames = uint32_t(song.registers.size());
    t.bytes = vgmtest::lhaStored({{"atari.ym", vgmtest::ymBytes(song)}});
    return t;
}

// An AY-3-8910 document at the ZX Spectrum's 1,773,400 Hz.
Track ayDocumentOfTheSpectrum() {
    constexpr uint32_t kClock = 1773400;
    const int ticks = int(kNoteLength * 44100);
    std::string doc =
        "<?xml version=\"1.0\"?>\n<VGMX version=\"1\">\n<Chip id=\"0\" type=\"AY8910\" "
        "clock=\"" +
        std::to_string(kClock) + "\" rate=\"44100\">\n";
    Track t{"spectrum.vgmx", {}, {}};
    double at = 0.0;
    int delta = 0;
    for (uint16_t p : {252, 126}) {
        const Bytes r = ayNote(p);
        for (int reg : {7, 8, 1, 0}) {
            doc += "<W dt=\"" + std::to_string(delta) + "\" r=\"" + std::to_string(reg) +
                   "\" v=\"" + std::to_string(r[reg]) + "\"/>\n";
            delta = 0;
        }
        delta = ticks;
        t.notes.push_back({"AY tone", at, at + kNoteLength, kClock / (16.0 * p)});
        at += kNoteLength;
    }
    doc += "<D dt=\"" + std::to_string(delta) + "\"/>\n</Chip>\n</VGMX>\n";
    t.bytes.assign(doc.begin(), doc.end());
    return t;
}

// A PAL console rip: an FM sine, then a PSG tone.
Track palConsoleRip() {
    constexpr uint32_t kFm = 7600489, kPsg = 3546893;
    constexpr uint16_t kPeriod = 254;
    const double rate = kFm / 144.0;
    VgmFile v;
    v.set32(0x0C, kPsg).set32(0x2C, kFm);
    sineChannel(v, 0, kFmHz, 0xC0, rate);
    fm(v, 0x28, 0xF0);
    v.wait(uint16_t(kNoteLength * 44100));
    fm(v, 0x28, 0x00);
    v.op({0x50, uint8_t(0x80 | (kPeriod & 15))}).op({0x50, uint8_t(kPeriod >> 4)});
    v.op({0x50, 0x90}).wait(uint16_t(kNoteLength * 44100)).op({0x50, 0x9F});
    return {"pal.vgm",
            v.end().bytes(),
            {{"YM2612 sine", 0.0, kNoteLength, sinePitch(kFmHz, rate)},
             {"SN76489 tone", kNoteLength, 2 * kNoteLength, kPsg / (32.0 * kPeriod)}}};
}

// A YM2203 at the PC-88's 3,993,600 Hz: 72 clocks per FM sample, the SSG
// counting at half the clock. An FM sine, then an SSG tone.
Track pc88Ym2203() {
    constexpr uint32_t kClock = 3993600;
    constexpr uint16_t kPeriod = 284;
    const double rate = kClock / 72.0;
    VgmFile v;
    v.set32(0x44, kClock);
    sineChannel(v, 0, kFmHz, 0xC0, rate, 0x55);
    fm(v, 0x28, 0xF0, 0, 0x55);
    v.wait(uint16_t(kNoteLength * 44100));
    fm(v, 0x28, 0x00, 0, 0x55);
    const Bytes r = ayNote(kPeriod);
    for (uint8_t reg : {7, 8, 1, 0}) fm(v, reg, r[reg], 0, 0x55);
    v.wait(uint16_t(kNoteLength * 44100));
    return {"pc88.vgm",
            v.end().bytes(),
            {{"YM2203 FM sine", 0.0, kNoteLength, sinePitch(kFmHz, rate)},
             {"YM2203 SSG tone", kNoteLength, 2 * kNoteLength, kClock / 2.0 / (16.0 * kPeriod)}}};
}

// Tracks whose two chips both need the media unit's one PSG output (its AY
// or its SN76489), sounding at once: the first chip by type plays at its own
// clock, and the AY8910's writes (its clock, a mixer that turns channel A off
// and plays channel B) reach nothing.
Track withAnAyBeside(bool ym2203) {
    constexpr uint32_t kYmClock = 3993600, kPsgClock = 3579545, kAyClock = 1773400;
    constexpr uint16_t kPeriod = 284, kAyPeriod = 126;
    VgmFile v;
    v.set32(0x74, kAyClock);
    if (ym2203) {
        v.set32(0x44, kYmClock);
        const Bytes r = ayNote(kPeriod);
        for (uint8_t reg : {7, 8, 1, 0}) fm(v, reg, r[reg], 0, 0x55);
    } else {
        v.set32(0x0C, kPsgClock);
        v.op({0x50, uint8_t(0x80 | (kPeriod & 15))}).op({0x50, uint8_t(kPeriod >> 4)});
        v.op({0x50, 0x90});
    }
    v.op({0xA0, 0x07, 0x3D}).op({0xA0, 0x09, 0x0F}).op({0xA0, 0x02, kAyPeriod});
    v.op({0xA0, 0x03, 0x00});
    v.wait(uint16_t(kNoteLength * 44100));
    const double hz = ym2203 ? kYmClock / 2.0 / (16.0 * kPeriod) : kPsgClock / (32.0 * kPeriod);
    return {ym2203 ? "ym2203-ay.vgm" : "sn76489-ay.vgm",
            v.end().bytes(),
            {{ym2203 ? "YM2203 SSG beside an AY8910" : "SN76489 beside an AY8910", 0.0,
              kNoteLength, hz}}};
}

// The pitch of a note of the left channel, its edges left out.
double notePitch(const Stereo& x, const Note& n) {
    return pitchOf(x.left, kRate, n.from + 0.05, n.to - 0.05);
}

// The pitch of MIDI note 69 on an instance's own voices.
double voicePitch(Instance& w) {
    const Stereo x = w.render(size_t(0.5 * kRate), 256, {noteOn(69, 3)});
    return pitchOf(x.left, kRate, 0.1, 0.5);
}

} // namespace

TEST_F(BrevadoMediaClock, EveryNotePlaysAtTheClockItsTrackStates) {
    for (const Track& t :
         {ym5AtTwoMegahertz(), ayDocumentOfTheSpectrum(), palConsoleRip(), pc88Ym2203()}) {
        SCOPED_TRACE(t.name);
        Instance w;
        ASSERT_TRUE(w.active);
        ASSERT_EQ(w.load(file(t.name, t.bytes)), 0);
        const Stereo x = w.render(size_t(t.notes.back().to * kRate), 256, {transport(kPlay, 1.0f)});
        for (const Note& n : t.notes) {
            SCOPED_TRACE(n.what);
            const double hz = notePitch(x, n);
            EXPECT_LT(std::fabs(cents(hz, n.hz)), 1.0) << hz << " Hz for " << n.hz << " Hz";
        }
    }
}

TEST_F(BrevadoMediaClock, AChipLeftWithoutAPartDoesNotTouchTheOneThatHasIt) {
    for (const Track& t : {withAnAyBeside(true), withAnAyBeside(false)}) {
        SCOPED_TRACE(t.name);
        Instance w;
        ASSERT_EQ(w.load(file(t.name, t.bytes)), 0);
        const Stereo x = w.render(size_t(t.notes.back().to * kRate), 256, {transport(kPlay, 1.0f)});
        const Note& n = t.notes[0];
        const std::vector<double> s = section(x.left, kRate, n.from + 0.05, n.to - 0.05);
        double power = 0.0;
        for (double v : s) power += v * v;
        EXPECT_GT(std::sqrt(power / double(s.size())), 0.01) << "the tone was silenced";
        const double hz = notePitch(x, n);
        EXPECT_LT(std::fabs(cents(hz, n.hz)), 1.0) << hz << " Hz for " << n.hz << " Hz";
    }
}

namespace {

// A PSG tone that starts `at` seconds into a silent song.
Bytes toneAfter(double at) {
    VgmFile v;
    v.set32(0x0C, 3579545);
    v.op({0x50, 0x9F}).op({0x50, 0xBF}).op({0x50, 0xDF}).op({0x50, 0xFF});
    for (uint64_t left = uint64_t(std::llround(at * 44100)); left > 0;) {
        const uint16_t n = uint16_t(std::min<uint64_t>(left, 65535));
        v.wait(n);
        left -= n;
    }
    v.op({0x50, 0x8E}).op({0x50, 0x0F}).op({0x50, 0x90}).wait(4410);
    return v.end().bytes();
}

// The sample at which the tone of toneAfter(at), in the file at `song`,
// starts; rendered in pieces so a long song keeps only the piece around it.
double toneOnset(const std::string& song, double at) {
    Instance w;
    EXPECT_EQ(w.load(song), 0);
    const size_t before = size_t((at - 0.05) * kRate);
    constexpr size_t kPiece = size_t(kRate);
    std::vector<HDMIDIEvent> events = {transport(kPlay, 1.0f)};
    for (size_t done = 0; done < before;) {
        const size_t n = std::min(kPiece, before - done);
        w.render(n, 4096, std::move(events));
        events.clear();
        done += n;
    }
    const Stereo x = w.render(size_t(0.1 * kRate), 4096, std::move(events));
    const double onset = onsetOf(x.left, kRate, 0.0, 0.1);
    return onset < 0.0 ? -1e9 : double(before) + onset * kRate;
}

} // namespace

// Media commands are timed at the rate the chip stream is resampled at: a
// note five minutes in starts as many samples after its time as one at the
// start (no drift; 1.7e-7 fast would be 2.2 samples early).
TEST_F(BrevadoMediaClock, ANoteMinutesInStartsOnTime) {
    const double near = toneOnset(file("near.vgm", toneAfter(0.1)), 0.1) - 0.1 * kRate;
    const double late = toneOnset(file("late.vgm", toneAfter(300.0)), 300.0) - 300.0 * kRate;
    EXPECT_NEAR(late, near, 1.0);
}

// The song's clocks belong to the song: the voices play at the pitch they
// have without one after the song stops and after it is closed, and the
// song, played again after a stop, is back at its own clock.
TEST_F(BrevadoMediaClock, VoicesKeepTheirPitchAfterASong) {
    double usual = 0.0;
    {
        Instance w;
        usual = voicePitch(w);
    }
    ASSERT_NEAR(usual, 440.0, 2.0);
    const Track t = palConsoleRip();
    const std::string song = file(t.name, t.bytes);
    for (int32_t ending : {kStop, kClose}) {
        SCOPED_TRACE(ending);
        Instance w;
        ASSERT_EQ(w.load(song), 0);
        w.render(size_t(0.2 * kRate), 256, {transport(kPlay, 1.0f)});
        w.render(256, 256, {transport(ending, 1.0f)});
        EXPECT_LT(std::fabs(cents(voicePitch(w), usual)), 0.1);
    }
    Instance w;
    ASSERT_EQ(w.load(song), 0);
    w.render(size_t(0.2 * kRate), 256, {transport(kPlay, 1.0f)});
    w.render(256, 256, {transport(kStop, 1.0f)});
    const Stereo again = w.render(size_t(t.notes[0].to * kRate), 256,
                                  {transport(kSelectTrack, 0.0f), transport(kPlay, 1.0f)});
    EXPECT_LT(std::fabs(cents(notePitch(again, t.notes[0]), t.notes[0].hz)), 1.0);
}
