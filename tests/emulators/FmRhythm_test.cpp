#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "emulators/FmRhythm.h"
#include "support/BoundedCall.h"

namespace {

void putLe32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// A RIFF/WAVE image: an optional chunk before "data"; sizes may lie.
std::string wavImage(const std::vector<int16_t>& samples, uint32_t riffSize = 0,
                     int64_t dataSize = -1, bool extraChunk = true) {
    std::string body = "WAVE";
    if (extraChunk) {
        body += "fmt ";
        putLe32(body, 16);
        body.append(16, '\x01');
    }
    body += "data";
    putLe32(body, dataSize < 0 ? static_cast<uint32_t>(samples.size() * 2)
                               : static_cast<uint32_t>(dataSize));
    for (int16_t v : samples) {
        body.push_back(static_cast<char>(v & 0xFF));
        body.push_back(static_cast<char>((v >> 8) & 0xFF));
    }
    std::string out = "RIFF";
    putLe32(out, riffSize ? riffSize : static_cast<uint32_t>(body.size()));
    return out + body;
}

class TempDir : public ::testing::Test {
protected:
    std::string dir;
    void SetUp() override {
        char tmpl[] = "/tmp/fmrhythmXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string write(const std::string& name, const std::string& bytes) {
        std::string path = dir + "/" + name;
        FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        return path;
    }
};

TEST_F(TempDir, ReadsTheDataChunkAfterOtherChunks) {
    std::vector<int16_t> buffer;
    const std::vector<int16_t> samples = {0, 1, -1, 32767, -32768, 1234};
    ASSERT_TRUE(readWavSamples(buffer, write("a.wav", wavImage(samples)).c_str()));
    EXPECT_EQ(buffer, samples);
    ASSERT_TRUE(readWavSamples(buffer, write("b.wav", wavImage({7, 8}, 0, -1, false)).c_str()));
    EXPECT_EQ(buffer, (std::vector<int16_t>{7, 8}));
    // An odd data size reads the whole samples only.
    ASSERT_TRUE(readWavSamples(buffer, write("c.wav", wavImage({5, 6}, 0, 3)).c_str()));
    EXPECT_EQ(buffer, (std::vector<int16_t>{5}));
}

// Corrupt or truncated files fail without touching the buffer: sizes in the
// header are never trusted beyond the bytes the file holds.
TEST_F(TempDir, CorruptFilesFailAndLeaveTheBufferAlone) {
    const std::vector<int16_t> samples = {1, 2, 3, 4};
    std::string truncated = wavImage(samples);
    truncated.resize(truncated.size() - 3);
    std::string badMagic = wavImage(samples);
    badMagic[8] = 'X';
    std::string badFmtSize = wavImage(samples);
    badFmtSize[16] = '\xF0'; // "fmt " chunk claims far more than the file
    badFmtSize[19] = '\x7F';
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"huge-data.wav", wavImage(samples, 0, 0xFFFFFFF0u)},
        {"data-past-end.wav", wavImage(samples, 0, 10)},
        {"truncated.wav", truncated},
        {"bad-magic.wav", badMagic},
        {"bad-fmt.wav", badFmtSize},
        {"small-riff.wav", wavImage(samples, 11)},
        {"short.wav", std::string("RIFF\x04\0\0\0WAVE", 12)},
        {"empty.wav", std::string()},
    };
    for (const auto& c : cases) {
        std::vector<int16_t> buffer = {42};
        EXPECT_FALSE(readWavSamples(buffer, write(c.name, c.bytes).c_str())) << c.name;
        EXPECT_EQ(buffer, (std::vector<int16_t>{42})) << c.name;
    }
    std::vector<int16_t> buffer = {42};
    EXPECT_FALSE(readWavSamples(buffer, (dir + "/missing.wav").c_str()));
    EXPECT_FALSE(readWavSamples(buffer, nullptr));
    EXPECT_EQ(buffer.size(), 1u);
}

// A FIFO nobody writes to fails at once instead of blocking the open (under an
// alarm, so a blocking reader fails the test rather than hanging it).
TEST_F(TempDir, NonRegularFilesAreRefusedWithoutBlocking) {
    const std::string fifo = dir + "/fifo.wav";
    ASSERT_TRUE(testsupport::makeFifo(fifo));
    for (const std::string& path : {fifo, std::string("/dev/zero")}) {
        const testsupport::Outcome o = testsupport::runBounded([&] {
            std::vector<int16_t> buffer;
            return readWavSamples(buffer, path.c_str());
        });
        EXPECT_EQ(o, testsupport::Outcome::kFalse) << path << ": " << testsupport::outcomeName(o);
    }
}

class RhythmFixture : public ::testing::Test {
protected:
    FmRhythm rhythm;
    std::vector<int16_t> drum;
    int32_t left = 0, right = 0;

    void link(int voice) { rhythm.voices[voice].samples = &drum; }
    void sample() {
        left = right = 0;
        rhythmSample(rhythm, left, right);
    }
};

TEST_F(RhythmFixture, VoiceWithoutSamplesStaysSilent) {
    rhythmWrite(rhythm, 0x10, 0x3F); // voices never linked
    for (const FmRhythmVoice& v : rhythm.voices) EXPECT_EQ(v.playing, 0);
    link(0); // linked but empty
    rhythmWrite(rhythm, 0x10, 0x01);
    EXPECT_EQ(rhythm.voices[0].playing, 0);
    sample();
    EXPECT_EQ(left, 0);
}

TEST_F(RhythmFixture, EvaluatesEveryThirdSampleAndHoldsTheSums) {
    drum = {1600, -1600, 320, 999};
    link(2);
    rhythmWrite(rhythm, 0x11, 63);
    rhythmWrite(rhythm, 0x1A, 0xDF); // both sides, level 31: attenuation 0
    rhythmWrite(rhythm, 0x10, 0x04);
    ASSERT_EQ(rhythm.voices[2].playing, 1);
    // (15 x sample) >> 4 at attenuation 0; the last sample is not played.
    const int32_t expected[] = {1500, 1500, 1500, -1500, -1500, -1500, 300, 300, 300, 0, 0, 0};
    for (int32_t e : expected) {
        sample();
        EXPECT_EQ(left, e);
        EXPECT_EQ(right, e);
    }
    EXPECT_EQ(rhythm.voices[2].playing, 0);
}

TEST_F(RhythmFixture, LevelsPanAndDump) {
    drum = {3200, 3200, 3200, 3200, 3200, 3200};
    link(0);
    rhythmWrite(rhythm, 0x11, 60);
    rhythmWrite(rhythm, 0x18, 0x80 | 31); // left only; attenuation 3
    rhythmWrite(rhythm, 0x10, 0x01);
    sample();
    EXPECT_EQ(left, (12 * 3200) >> 4);
    EXPECT_EQ(right, 0);
    rhythmWrite(rhythm, 0x11, 40); // attenuation 23: shift 2, factor 8
    sample();
    sample();
    sample();
    EXPECT_EQ(left, (8 * (3200 >> 2)) >> 4);
    rhythmWrite(rhythm, 0x10, 0x81); // dump
    EXPECT_EQ(rhythm.voices[0].playing, 0);
    rhythmWrite(rhythm, 0x10, 0x00); // zero does nothing
    EXPECT_EQ(rhythm.voices[0].playing, 0);
}

TEST_F(RhythmFixture, SumsWrapAsSixteenBitValues) {
    drum = {32767, 32767, 32767};
    for (int v = 0; v < 6; ++v) {
        link(v);
        rhythmWrite(rhythm, static_cast<uint8_t>(0x18 + v), 0xC0 | 31);
    }
    rhythmWrite(rhythm, 0x11, 63);
    rhythmWrite(rhythm, 0x10, 0x3F);
    sample();
    const int32_t one = (15 * 32767) >> 4;
    EXPECT_EQ(left, static_cast<int16_t>(6 * one));
}

TEST_F(RhythmFixture, ResetClearsHeldSumsButNotVoices) {
    drum = {1600, 1600, 1600};
    link(0);
    rhythmWrite(rhythm, 0x11, 63);
    rhythmWrite(rhythm, 0x18, 0xDF);
    rhythmWrite(rhythm, 0x10, 0x01);
    sample();
    rhythmReset(rhythm);
    EXPECT_EQ(rhythm.heldLeft, 0);
    EXPECT_EQ(rhythm.divider, 0);
    EXPECT_EQ(rhythm.voices[0].playing, 1);
}

// The process-wide loader runs once; the first file name wins, the second is
// the fall-back, and missing instruments stay empty.
TEST_F(TempDir, LoadsRhythmFilesOnceFromTheProfileFolder) {
    write("opna_kick.wav", wavImage({11, 12, 13}));
    write("vn_opna_kick.wav", wavImage({99}));
    write("vn_opna_snare.wav", wavImage({21, 22}));
    write("opna_ride.wav", "not a wav");
    loadRhythmSamplesOnce((dir + "/profile.dat").c_str());
    EXPECT_EQ(rhythmSampleBuffer(0), (std::vector<int16_t>{11, 12, 13}));
    EXPECT_EQ(rhythmSampleBuffer(1), (std::vector<int16_t>{21, 22}));
    for (int k = 2; k < 6; ++k) EXPECT_TRUE(rhythmSampleBuffer(k).empty()) << k;
    write("opna_tom.wav", wavImage({1, 2}));
    loadRhythmSamplesOnce((dir + "/profile.dat").c_str());
    EXPECT_TRUE(rhythmSampleBuffer(4).empty());

    FmRhythm rhythm;
    rhythmLinkBuffers(rhythm);
    rhythmWrite(rhythm, 0x10, 0x3F);
    EXPECT_EQ(rhythm.voices[0].playing, 1);
    EXPECT_EQ(rhythm.voices[1].playing, 1);
    EXPECT_EQ(rhythm.voices[2].playing, 0);
}

} // namespace
