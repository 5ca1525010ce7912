#include "instrument/PatchFiles.h"

#include <cstring>

#include <gtest/gtest.h>

#include "InstrumentTestSupport.h"
#include "instrument/OPN2_sub.h"

using namespace insttest;
using P = PatchRecord;

namespace {

std::vector<uint8_t> hexBytes(const char* hex) {
    std::vector<uint8_t> v;
    for (const char* p = hex; *p;) {
        if (*p == ' ' || *p == '\n') {
            ++p;
            continue;
        }
        v.push_back(uint8_t(std::strtoul(std::string(p, 2).c_str(), nullptr, 16)));
        p += 2;
    }
    return v;
}

// The operator fields every format carries, as the record holds them.
struct OperatorFields {
    int mult, detune, level, ksRate, a, d, d2, r, s, ssg;
};

void expectOperator(const PatchRecord& r, int k, const OperatorFields& f) {
    SCOPED_TRACE(testing::Message() << "operator " << k);
    EXPECT_EQ(r.op(k, P::kMult), f.mult);
    EXPECT_EQ(r.op(k, P::kDetune), f.detune);
    EXPECT_EQ(r.op(k, P::kLevel), f.level);
    EXPECT_EQ(r.op(k, P::kKsRate), f.ksRate);
    EXPECT_EQ(r.op(k, P::kAttack), f.a);
    EXPECT_EQ(r.op(k, P::kDecay), f.d);
    EXPECT_EQ(r.op(k, P::kDecay2), f.d2);
    EXPECT_EQ(r.op(k, P::kRelease), f.r);
    EXPECT_EQ(r.op(k, P::kSustain), f.s);
    EXPECT_EQ(r.op(k, P::kSsg), f.ssg);
}

// Fields the readers set the same way for every format.
void expectImporterDefaults(const PatchRecord& r) {
    const uint8_t carriers = PatchRecord::kCarriers[r.words[P::kAlgorithm] & 7];
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(r.op(k, P::kVelocity), (carriers >> k) & 1 ? 4 : 0) << k;
        EXPECT_EQ(r.op(k, P::kKsLevel), 0) << k;
    }
}

PatchRecord filledWith(int32_t v) {
    PatchRecord r;
    for (int32_t& w : r.words) w = v;
    return r;
}

// TFI: algorithm, feedback, then blocks of Mult, DT (0-6 = -3..+3), TL, KS,
// AR, DR, D2R, RR, SL, SSG-EG for operators 0, 2, 1, 3.
const char* kTfi = "04 05"
                   " 01 04 14 01 1F 0A 03 07 02 00"  // operator 0
                   " 02 07 1E 02 19 0B 04 08 03 09"  // operator 2: DT 7 reads +3
                   " 03 00 28 03 14 0C 05 09 04 05"  // operator 1: SSG 5 reads as off
                   " 04 02 00 00 0F 0D 06 0A 05 0F"; // operator 3

// The record of kTfi, kDmp and kY12 (each carries these operator values).
const OperatorFields kExpected[4] = {
    {1, 1, 107, 1, 0, 21, 28, 8, 13, 0},
    {3, -3, 87, 3, 11, 19, 26, 6, 11, 0},
    {2, 3, 97, 2, 6, 20, 27, 7, 12, 2},
    {4, -1, 127, 0, 16, 18, 25, 5, 10, 8},
};

} // namespace

TEST(PatchFiles, TfiImportPinsOperatorOrder) {
    const std::vector<uint8_t> tfi = hexBytes(kTfi);
    ASSERT_EQ(tfi.size(), kTfiSize);
    PatchRecord r = filledWith(77);
    ASSERT_TRUE(readTfiPatch(r, tfi.data(), tfi.size()));
    EXPECT_EQ(r.words[P::kAlgorithm], 4);
    EXPECT_EQ(r.words[P::kFeedback], 5);
    EXPECT_EQ(r.words[P::kVibrato], 0);
    EXPECT_EQ(r.words[P::kTremoloDepth], 77); // not in the format: left alone
    for (int k = 0; k < 4; ++k) {
        expectOperator(r, k, kExpected[k]);
        EXPECT_EQ(r.op(k, P::kTremolo), 0);
    }
    expectImporterDefaults(r);

    // Export writes the same bytes, except the two values the reader
    // normalised: DT 7 comes back as 6 and an SSG byte below 8 as 0.
    std::vector<uint8_t> out;
    ASSERT_TRUE(writeTfiPatch(r, out));
    std::vector<uint8_t> expected = tfi;
    expected[2 + 10 + 1] = 6;
    expected[2 + 20 + 9] = 0;
    EXPECT_EQ(out, expected);

    PatchRecord back = filledWith(77);
    ASSERT_TRUE(readTfiPatch(back, out.data(), out.size()));
    EXPECT_EQ(std::memcmp(back.words, r.words, sizeof r.words), 0);
}

TEST(PatchFiles, ShortInputsAreRefused) {
    const std::vector<uint8_t> bytes(200, 0x11);
    const PatchRecord before = filledWith(5);
    PatchRecord r = before;
    EXPECT_FALSE(readTfiPatch(r, bytes.data(), kTfiSize - 1));
    EXPECT_FALSE(decodePackedPatch(r, bytes.data(), kY12Size - 1));
    EXPECT_FALSE(readTfiPatch(r, nullptr, kTfiSize));
    for (size_t size : {size_t(0), kDmpOldSize - 1, size_t(50), kDmpSize + 1})
        EXPECT_EQ(readDmpPatch(r, bytes.data(), size), 0) << size;
    EXPECT_EQ(std::memcmp(r.words, before.words, sizeof r.words), 0);
}

// DMP: vibrato, feedback, algorithm, tremolo depth, then blocks of Mult, TL,
// AR, DR, SL, RR, AM, KS, DT, D2R, SSG-EG for operators 0, 2, 1, 3.
TEST(PatchFiles, DmpImportPinsOperatorOrderAndRoundTrips) {
    const std::vector<uint8_t> dmp = hexBytes("0B 02 01  03 05 04 02"
                                              " 01 14 1F 0A 02 07 01 01 04 03 00"   // op 0
                                              " 02 1E 19 0B 03 08 00 02 06 04 09"   // op 2
                                              " 03 28 14 0C 04 09 01 03 00 05 05"   // op 1
                                              " 04 00 0F 0D 05 0A 00 00 02 06 0F"); // op 3
    ASSERT_EQ(dmp.size(), kDmpSize);
    PatchRecord r = filledWith(77);
    ASSERT_EQ(readDmpPatch(r, dmp.data(), dmp.size()), 1);
    EXPECT_EQ(r.words[P::kAlgorithm], 4);
    EXPECT_EQ(r.words[P::kFeedback], 5);
    EXPECT_EQ(r.words[P::kVibrato], 3);
    EXPECT_EQ(r.words[P::kTremoloDepth], 2);
    static constexpr int kAm[4] = {1, 1, 0, 0};
    for (int k = 0; k < 4; ++k) {
        expectOperator(r, k, kExpected[k]);
        EXPECT_EQ(r.op(k, P::kTremolo), kAm[k]) << k;
    }
    expectImporterDefaults(r);

    std::vector<uint8_t> out;
    ASSERT_TRUE(writeDmpPatch(r, out));
    std::vector<uint8_t> expected = dmp;
    expected[3 + 4 + 22 + 10] = 0; // SSG byte 5 read as off
    EXPECT_EQ(out, expected);
    PatchRecord back = filledWith(77);
    ASSERT_EQ(readDmpPatch(back, out.data(), out.size()), 1);
    EXPECT_EQ(std::memcmp(back.words, r.words, sizeof r.words), 0);
}

// The header bytes decide whether a DMP is taken and whether its SSG-EG
// bytes are read.
TEST(PatchFiles, DmpHeaders) {
    struct Case {
        size_t size;
        uint8_t b0, b1, b2;
        int result;
        bool ssgRead;
    };
    const Case cases[] = {
        {49, 0, 0, 0, 1, true},   {49, 1, 0, 0, 0, false},  {51, 8, 0, 0, 1, true},
        {51, 9, 1, 0, 1, true},   {51, 9, 1, 1, 1, false},  {51, 9, 2, 1, 1, false},
        {51, 9, 2, 0, 0, false},  {51, 10, 1, 5, 1, true},  {51, 10, 2, 0, 1, true},
        {51, 10, 2, 1, 0, false}, {51, 11, 2, 1, 1, true},  {51, 11, 2, 0, 0, false},
        {51, 11, 8, 7, 1, false}, {51, 11, 3, 1, 1, false}, {51, 11, 3, 0, 0, false},
        {51, 12, 8, 0, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.size << ": " << int(c.b0) << " " << int(c.b1) << " " << int(c.b2));
        std::vector<uint8_t> bytes(c.size, 0);
        bytes[0] = c.b0;
        if (c.size == 51) bytes[1] = c.b1, bytes[2] = c.b2;
        const size_t data = c.size == 51 ? 3 : 1;
        for (int i = 0; i < 4; ++i) bytes[data + 4 + 11 * i + 10] = 0x0C; // SSG shape 5
        PatchRecord r = filledWith(-1);
        EXPECT_EQ(readDmpPatch(r, bytes.data(), bytes.size()), c.result);
        if (!c.result) {
            EXPECT_EQ(r.words[0], -1); // untouched
            continue;
        }
        for (int k = 0; k < 4; ++k) EXPECT_EQ(r.op(k, P::kSsg), c.ssgRead ? 5 : 0);
    }
}

// A DMP made for the YM2151 system (byte 1 = 8) keeps the OPM's coarse detune
// DT2 in the high nibble of each detune byte; the detune is the low 3 bits.
TEST(PatchFiles, DmpDetuneIgnoresTheCoarseDetuneNibble) {
    const uint8_t detuneBytes[4] = {0x13, 0x25, 0x30, 0x17}; // file order: operators 0, 2, 1, 3
    const int detunes[4] = {0, -3, 2, 3};                    // operators 0, 1, 2, 3
    std::vector<uint8_t> bytes(kDmpSize, 0);
    bytes[0] = 11, bytes[1] = 8, bytes[2] = 1;
    for (int i = 0; i < 4; ++i) bytes[3 + 4 + 11 * i + 8] = detuneBytes[i];
    PatchRecord r = filledWith(-1);
    ASSERT_EQ(readDmpPatch(r, bytes.data(), bytes.size()), 1);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(r.op(k, P::kDetune), detunes[k]) << k;
}

// Y12: 16-byte blocks in register order: operators 0, 2, 1, 3 at 0x00, 0x10,
// 0x20, 0x30; DT in the chip's form (5 = -1, 7 = -3).
TEST(PatchFiles, Y12ImportPinsOperatorOrder) {
    std::vector<uint8_t> y12(kY12Size, 0);
    const char* blocks[4] = {
        "11 14 5F 8A 03 27 00", // op 0: DT +1, KS 1, AR 31, AM, DR 10, D2R 3, SL 2 RR 7
        "32 1E 99 0B 04 38 09", // op 2: DT +3, KS 2, AR 25, SSG 9
        "73 28 D4 0C 05 49 05", // op 1: DT -3, KS 3, AR 20
        "54 00 0F 0D 06 5A 0F", // op 3: DT -1, KS 0, AR 15
    };
    for (int b = 0; b < 4; ++b) {
        const std::vector<uint8_t> block = hexBytes(blocks[b]);
        std::copy(block.begin(), block.end(), y12.begin() + 16 * b);
    }
    y12[64] = 0x0C; // algorithm 4 (taken modulo 8)
    y12[65] = 5;
    PatchRecord r = filledWith(77);
    ASSERT_TRUE(decodePackedPatch(r, y12.data(), y12.size()));
    EXPECT_EQ(r.words[P::kAlgorithm], 4);
    EXPECT_EQ(r.words[P::kFeedback], 5);
    EXPECT_EQ(r.words[P::kVibrato], 0);
    EXPECT_EQ(r.words[P::kTremoloDepth], 77);
    static constexpr int kAm[4] = {1, 0, 0, 0};
    for (int k = 0; k < 4; ++k) {
        expectOperator(r, k, kExpected[k]);
        EXPECT_EQ(r.op(k, P::kTremolo), kAm[k]) << k;
    }
    expectImporterDefaults(r);
}

// Export clamps record values the formats cannot hold instead of wrapping them.
TEST(PatchFiles, ExportClampsOutOfRangeFields) {
    const std::string high = " 0F 06 00 03 00 00 00 00 00 0F";
    const std::string low = " 00 00 7F 00 1F 1F 1F 0F 0F 00";
    std::vector<uint8_t> tfi;
    writeTfiPatch(filledWith(1000), tfi);
    EXPECT_EQ(tfi, hexBytes(("07 07" + high + high + high + high).c_str()));
    writeTfiPatch(filledWith(-1000), tfi);
    EXPECT_EQ(tfi, hexBytes(("00 00" + low + low + low + low).c_str()));
}

// From file to sound: a TFI sine patch played through an FM channel of a
// console unit sounds at the note's pitch.
TEST(PatchFiles, TfiNotePlaysAtItsPitch) {
    // Algorithm 0: only operator 3 is heard; the three modulators at TL 127.
    const std::vector<uint8_t> tfi = hexBytes("00 00"
                                              " 01 03 7F 00 1F 00 00 0F 00 00"   // op 0
                                              " 01 03 7F 00 1F 00 00 0F 00 00"   // op 2
                                              " 01 03 7F 00 1F 00 00 0F 00 00"   // op 1
                                              " 01 03 00 00 1F 00 00 0F 00 00"); // op 3
    PatchRecord patch;
    ASSERT_TRUE(readTfiPatch(patch, tfi.data(), tfi.size()));

    auto md = makeUnit();
    md->setParameter(15, 9.0f); // no PSG
    RecordingWriter writer;
    writer.units = {md.get()};
    OPN2_shadow mirror;
    int32_t pan = 0;
    OPN2_sub sub(&writer, 0, 1, &mirror); // FM channel 2
    sub.patch = &patch;
    sub.pan = &pan;
    sub.setClock(fmClock(*md));
    sub.refreshAll();
    sub.setAmplitude(1.0f);
    sub.setFrequency(440.0f);
    sub.noteOn(1.0f);

    const double fmRate = frameRate(*md) / 21.0;
    const std::vector<double> x = renderFmSamples(*md, 8192);
    EXPECT_GT(peakOf(x), 10000.0);
    // Block 4, F-number 1083: 1083 x 2^3 x rate / 2^20 Hz.
    EXPECT_NEAR(pitchByZeroCrossings(x, fmRate, 256), 1083.0 * 8.0 * fmRate / 1048576.0, 0.05);
    EXPECT_NEAR(pitchByZeroCrossings(x, fmRate, 256), 440.0, 0.5);
}
