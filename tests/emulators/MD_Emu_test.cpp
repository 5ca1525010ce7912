#include "emulators/MD_Emu.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "emulators/FastPaths.h"
#include "emulators/FmRhythm.h"
#include "emulators/ModelProfileFiles.h"
#include "support/HeldSound.h"
#include "tools/ConsoleDataSpec.h"

using namespace profilefiles;

namespace {

constexpr uint32_t kMaxFrames = 1024;
const float kNaN = std::numeric_limits<float>::quiet_NaN();

struct Stereo {
    std::vector<int32_t> left, right;
    explicit Stereo(size_t n = 0, int32_t fill = 0) : left(n, fill), right(n, fill) {}
    bool silent() const {
        for (size_t i = 0; i < left.size(); ++i)
            if (left[i] || right[i]) return false;
        return true;
    }
};

// Renders `frames` frames into `out` from `at` on.
void renderInto(MD_Emu& md, Stereo& out, size_t at, uint64_t frames) {
    int32_t* outputs[2] = {out.left.data() + at, out.right.data() + at};
    EXPECT_EQ(md.render32(outputs, frames), 0);
}

Stereo render(MD_Emu& md, uint64_t frames) {
    Stereo out(frames);
    renderInto(md, out, 0, frames);
    return out;
}

int32_t peak(const std::vector<int32_t>& v) {
    int32_t m = 0;
    for (int32_t x : v) m = std::max(m, std::abs(x));
    return m;
}

// ---- register programming --------------------------------------------------

// Writes `value` to `base` + the channel's offset on the channel's port.
void fmChannelWrite(MD_Emu& md, int channel, uint8_t base, uint8_t value) {
    md.write(uint16_t(base + channel % 3), value, uint64_t(channel / 3));
}

// A pure sine on FM channel `channel` (0-5): algorithm 7 with only S4 audible,
// instant attack, full sustain, panned both ways, keyed on.
void fmSine(MD_Emu& md, int channel, int fnum, int block) {
    md.write(0x22, 0x00, 0); // LFO off
    md.write(0x27, 0x00, 0);
    md.write(0x2B, 0x00, 0); // DAC off
    for (int slot = 0; slot < 4; ++slot) {
        const uint8_t s = uint8_t(4 * slot);
        fmChannelWrite(md, channel, 0x30 + s, 0x01);                    // DT 0, MUL 1
        fmChannelWrite(md, channel, 0x40 + s, slot == 3 ? 0x00 : 0x7F); // only S4 heard
        fmChannelWrite(md, channel, 0x50 + s, 0x1F);                    // AR 31
        fmChannelWrite(md, channel, 0x60 + s, 0x00);
        fmChannelWrite(md, channel, 0x70 + s, 0x00);
        fmChannelWrite(md, channel, 0x80 + s, 0x0F); // SL 0, RR 15
        fmChannelWrite(md, channel, 0x90 + s, 0x00);
    }
    fmChannelWrite(md, channel, 0xB0, 0x07);
    fmChannelWrite(md, channel, 0xB4, 0xC0);
    fmChannelWrite(md, channel, 0xA4, uint8_t((block << 3) | (fnum >> 8)));
    fmChannelWrite(md, channel, 0xA0, uint8_t(fnum & 0xFF));
    const int keyChannel = channel < 3 ? channel : channel + 1;
    md.write(0x28, uint8_t(0xF0 | keyChannel), 0);
}

void psgByte(MD_Emu& md, uint8_t b) {
    md.write(0, b, 2);
}

void psgTone(MD_Emu& md, int tone, int period, int attenuation) {
    psgByte(md, uint8_t(0x80 | (tone << 5) | (period & 0x0F)));
    psgByte(md, uint8_t((period >> 4) & 0x3F));
    psgByte(md, uint8_t(0x90 | (tone << 5) | attenuation));
}

void psgNoise(MD_Emu& md, int attenuation) {
    psgByte(md, 0xE4); // white, fastest fixed rate
    psgByte(md, uint8_t(0xF0 | attenuation));
}

// AY channel A: tone only, fixed volume.
void ayToneA(MD_Emu& md, int period, int volume) {
    md.write(0, uint8_t(period & 0xFF), 3);
    md.write(1, uint8_t(period >> 8), 3);
    md.write(7, 0x3E, 3);
    md.write(8, uint8_t(volume), 3);
}

// ---- profile files ---------------------------------------------------------

// Profile k: name "P<k>", DAC levels (i - 256) * (k + 1) / 512 so that curve k
// rises 1024 * (k + 1) over 32 entries, and a filter of taps k + 1.
std::string threeProfileFile() {
    std::vector<std::vector<Bytes>> profiles;
    for (int k = 0; k < 3; ++k) {
        std::vector<float> dac(512);
        for (int i = 0; i < 512; ++i) dac[i] = float(i - 256) * float(k + 1) / 512.0f;
        const std::vector<float> taps(32, float(k + 1));
        const std::string name = "P" + std::to_string(k) + std::string(1, '\0');
        profiles.push_back(
            {chunk("Name", text(name)), chunk("Mdac", floats(dac)), chunk("Flpf", floats(taps))});
    }
    return writeFile("md_three_profiles.riff", riffFile(profiles));
}

std::string onePlainProfileFile() {
    return writeFile("md_one_profile.riff",
                     riffFile({{chunk("Name", text(std::string("one\0", 4)))}}));
}

std::unique_ptr<MD_Emu> makeUnit(const char* context = nullptr) {
    auto md = std::make_unique<MD_Emu>();
    md->init(kMaxFrames, context, 0);
    return md;
}

// The PSG level at attenuation 0 that profile `p` gives (the mean of its curves).
int16_t psgTopLevel(const ModelProfile& p) {
    return int16_t(
        (int32_t(p.psgCurves[0][0]) + p.psgCurves[1][0] + p.psgCurves[2][0] + p.psgCurves[3][0]) /
        4);
}

// ---- spectrum --------------------------------------------------------------

using testsupport::fft;

struct Tone {
    double frequency;
    double amplitude;
};

// The strongest sine between `low` and `high` Hz of a Hann-windowed signal:
// its frequency (peak bin with parabolic interpolation) and its amplitude
// (a single-frequency DFT at that frequency).
Tone strongestTone(const std::vector<double>& x, double rate, double low, double high) {
    const size_t n = x.size();
    std::vector<double> w(n);
    double windowSum = 0.0;
    for (size_t i = 0; i < n; ++i) {
        w[i] = 0.5 - 0.5 * std::cos(2.0 * M_PI * double(i) / double(n));
        windowSum += w[i];
    }
    std::vector<std::complex<double>> a(n);
    for (size_t i = 0; i < n; ++i) a[i] = x[i] * w[i];
    fft(a);
    const size_t first = size_t(low * double(n) / rate), last = size_t(high * double(n) / rate);
    size_t best = first;
    for (size_t k = first; k <= last; ++k)
        if (std::abs(a[k]) > std::abs(a[best])) best = k;
    const double l = std::log(std::abs(a[best - 1])), c = std::log(std::abs(a[best])),
                 r = std::log(std::abs(a[best + 1]));
    const double offset = 0.5 * (l - r) / (l - 2.0 * c + r);
    const double frequency = (double(best) + offset) * rate / double(n);

    std::complex<double> sum(0.0, 0.0);
    for (size_t i = 0; i < n; ++i)
        sum += x[i] * w[i] * std::polar(1.0, -2.0 * M_PI * frequency * double(i) / rate);
    return {frequency, 2.0 * std::abs(sum) / windowSum};
}

} // namespace

// ---- description -------------------------------------------------------------

TEST(MD_EmuInfo, DescribesTheConsole) {
    MD_Emu md;
    const ChipInfo* info = md.getInfo();
    EXPECT_EQ(info, md.getInfo());
    EXPECT_EQ(info->firstWord, 1u);
    EXPECT_EQ(info->inputCount, 0u);
    EXPECT_EQ(info->outputCount, 2u);
    EXPECT_EQ(info->clockDivisor, 1u);
    const std::vector<double> clocks = {1118607.8125, 53203424.0 / 48.0, 56000000.0 / 48.0,
                                        499200.0};
    EXPECT_EQ(info->clocks, clocks);
    EXPECT_EQ(info->initialClockIndex, 0u);
    EXPECT_STREQ(info->partName, "");
    EXPECT_STREQ(info->familyName, "");
    EXPECT_EQ(info->outputGains[0], 1.0f / 4097.0f);
    EXPECT_EQ(info->outputGains[1], 1.0f / 4097.0f);
    EXPECT_EQ(info->outputGains[2], 0.00390625f);
    EXPECT_EQ(info->outputGains[3], 0.00390625f);

    const char* names[16] = {"OPN2 MUTE0",  "OPN2 MUTE1",  "OPN2 MUTE2",   "OPN2 MUTE3",
                             "OPN2 MUTE4",  "OPN2 MUTE5",  "OPN2 VARIANT", "OPN2 FUTURE",
                             "PSG MUTE0",   "PSG MUTE1",   "PSG MUTE2",    "PSG MUTE3",
                             "PSG FUTURE0", "PSG FUTURE1", "PSG FUTURE2",  "PSG TYPE"};
    ASSERT_EQ(info->parameters.size(), 16u);
    for (int k = 0; k < 16; ++k) {
        const vantor::ParameterInfo& p = info->parameters[k];
        EXPECT_STREQ(p.label, names[k]);
        EXPECT_EQ(p.valueKind, vantor::ParameterInfo::kOnOff);
        EXPECT_EQ(p.minValue, 0.0f);
        EXPECT_EQ(p.maxValue, 1.0f);
        EXPECT_EQ(p.defaultValue, 0.0f);
        EXPECT_EQ(p.factor, 1.0f);
        EXPECT_EQ(p.offset, 0.0f);
    }
}

TEST(MD_EmuInfo, DacCurvesAndDefaultFilter) {
    EXPECT_EQ(kLinearDacCurve[0], -16384);
    EXPECT_EQ(kLinearDacCurve[511], 16320);
    const struct {
        int index;
        int16_t value;
    } points[] = {{0, -16320}, {6, -15900}, {7, -15900}, {8, -15820}, {255, -400},
                  {256, 0},    {257, 68},   {263, 428},  {264, 500},  {511, 15928}};
    for (const auto& p : points) EXPECT_EQ(kDefaultDacCurve[p.index], p.value) << p.index;
    EXPECT_EQ(kDefaultFilterBlock[0], 1.0f);
    EXPECT_EQ(kDefaultFilterBlock[1], 1.0f);
    for (int k = 2; k < 32; ++k) EXPECT_EQ(kDefaultFilterBlock[k], 0.0f);
}

// ---- register routing ------------------------------------------------------------

TEST(MD_EmuWrite, FmWritesReachBothFmChips) {
    auto md = makeUnit();
    md->write(0xB0, 0x05, 0);                 // channel 1: algorithm 5
    md->write(0xB2, 0x03, 1);                 // channel 6: algorithm 3
    md->write(0xB1, 0x07, uint64_t(1) << 32); // not port 0: ignored
    md->write(0xB1, 0x07, 4);
    for (OPNX_Emu* chip : {static_cast<OPNX_Emu*>(md->opn2.get()), md->opna.get()}) {
        EXPECT_EQ(chip->state().channels[0].algorithm, 5);
        EXPECT_EQ(chip->state().channels[5].algorithm, 3);
        EXPECT_EQ(chip->state().channels[1].algorithm, 0);
    }
}

TEST(MD_EmuWrite, PsgPortCarriesCommandsAndTheStereoByte) {
    auto md = makeUnit();
    psgByte(*md, 0x8F);
    psgByte(*md, 0x3F);
    EXPECT_EQ(md->psg->tonePeriods[0], 0x3FFu);

    md->write(1, 0x5A, 2); // the Game Gear stereo byte never reaches the PSG
    EXPECT_EQ(md->ggStereo, 0x5A);
    md->write(2, 0x9F, 2); // other addresses: nothing
    EXPECT_EQ(md->psg->latch, 0);
    EXPECT_EQ(md->psg->tonePeriods[0], 0x3FFu);
    EXPECT_EQ(md->ggStereo, 0x5A);
}

TEST(MD_EmuWrite, AyPortReachesTheAyOnly) {
    auto md = makeUnit();
    md->write(8, 0x0C, 3);
    md->write(9, 0x0D, 5);
    EXPECT_EQ(md->ay->readRegister(8), 0x0C);
    EXPECT_EQ(md->ay->readRegister(9), 0x00);
    EXPECT_EQ(md->opn2->state().channels[0].algorithm, 0);
}

// ---- parameters ------------------------------------------------------------------

TEST(MD_EmuParameters, TableOfEffects) {
    const std::string file = threeProfileFile();
    const struct {
        uint32_t index;
        float value;
        int32_t filterIndex, modelIndex;
        uint32_t dacMode, psgType;
        uint64_t fmSelect;
    } cases[] = {
        // index, value, filter, model, mode, psgType, fmSelect
        {6, 1.0f, 1, 0, 0, 0, 0},
        {6, 2.9f, 2, 0, 0, 0, 0},
        {6, 5.0f, -1, 0, 0, 0, 0},
        {6, -1.0f, -1, 0, 0, 0, 0},
        {6, 1e30f, -1, 0, 0, 0, 0},
        {6, kNaN, 0, 0, 0, 0, 0},
        {7, 2.7f, 0, 2, 0, 0, 0},
        {7, 5.0f, 0, 0, 0, 0, 0},
        {7, 1e30f, 0, 0, 0, 0, 0},
        {7, -1.0f, 0, 0, 1, 0, 0},
        {7, -2.0f, 0, 0, 2, 0, 0},
        {7, -0.5f, 0, 0, 2, 0, 0},
        {7, kNaN, 0, 0, 2, 0, 0},
        {15, 3.9f, 0, 0, 0, 3, 0},
        {15, -1.0f, 0, 0, 0, 0xFFFFFFFFu, 0},
        {15, 1e20f, 0, 0, 0, 0x7FFFFFFFu, 0},
        {15, kNaN, 0, 0, 0, 0, 0},
        {30, 1.0f, 0, 0, 0, 0, 1},
        {30, 7.5f, 0, 0, 0, 0, 7},
        {30, -5.0f, 0, 0, 0, 0, 0},
        {30, 1e30f, 0, 0, 0, 0, UINT64_MAX},
        {30, kNaN, 0, 0, 0, 0, 0},
        {12, 1.0f, 0, 0, 0, 0, 0},
        {16, 1.0f, 0, 0, 0, 0, 0},
        {31, 1.0f, 0, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "index " << c.index << " value " << c.value);
        auto md = makeUnit(file.c_str());
        ASSERT_EQ(md->profileTable->size(), 3u);
        md->setParameter(c.index, c.value);
        EXPECT_EQ(md->filterIndex, c.filterIndex);
        EXPECT_EQ(md->modelIndex, c.modelIndex);
        EXPECT_EQ(md->dacCurveMode, c.dacMode);
        EXPECT_EQ(md->psgType, c.psgType);
        EXPECT_EQ(md->fmSelect, c.fmSelect);
    }
}

TEST(MD_EmuParameters, SelectionsSetTheFilterAndThePsgCurves) {
    auto md = makeUnit(threeProfileFile().c_str());
    const auto& table = *md->profileTable;

    md->setParameter(6, 2.0f);
    EXPECT_EQ(md->getFilterSettings(), table[2].filter);
    EXPECT_EQ(md->getFilterSettings()[0], 3.0f);
    md->setParameter(6, 5.0f);
    EXPECT_EQ(md->getFilterSettings(), kDefaultFilterBlock.data());

    md->setParameter(7, 2.0f);
    EXPECT_EQ(md->psg->volumeCurve[0], psgTopLevel(table[2]));
    md->setParameter(7, -1.0f); // the linear curve leaves the PSG as it was
    EXPECT_EQ(md->psg->volumeCurve[0], psgTopLevel(table[2]));
    md->setParameter(7, 1.0f);
    EXPECT_EQ(md->psg->volumeCurve[0], psgTopLevel(table[1]));
    EXPECT_EQ(md->dacCurveMode, 0u);

    md->setDacCurveMode(2);
    md->selectModelProfile(2);
    EXPECT_EQ(md->dacCurveMode, 2u);
    EXPECT_EQ(md->modelIndex, 2);
    md->selectFilterProfile(7);
    EXPECT_EQ(md->filterIndex, -1);
}

// ---- mutes and solos -------------------------------------------------------------

TEST(MD_EmuMutes, FlagsAndSolosReachTheChips) {
    const struct {
        const char* what;
        std::vector<std::pair<uint32_t, float>> settings;
        bool muted[10]; // FM 1-6, PSG 0-3
    } cases[] = {
        {"mute FM 2", {{1, 1.0f}}, {0, 1, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"below half is off", {{1, 0.49f}, {3, 0.5f}}, {0, 0, 0, 1, 0, 0, 0, 0, 0, 0}},
        {"mute PSG noise", {{11, 1.0f}}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 1}},
        {"solo FM 3 beats its mute", {{2, 1.0f}, {22, 1.0f}}, {1, 1, 0, 1, 1, 1, 1, 1, 1, 1}},
        {"solo PSG 0", {{8, 1.0f}, {26, 1.0f}, {27, 1.0f}}, {1, 1, 1, 1, 1, 1, 0, 0, 1, 1}},
        {"solo off restores mutes",
         {{0, 1.0f}, {25, 1.0f}, {25, 0.0f}},
         {1, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"unmute", {{4, 1.0f}, {4, 0.0f}}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto md = makeUnit();
        for (const auto& [index, value] : c.settings) md->setParameter(index, value);
        for (int k = 0; k < 6; ++k) {
            EXPECT_EQ(md->opn2->state().channels[k].muted, c.muted[k]) << "FM " << k + 1;
            EXPECT_EQ(md->opna->state().channels[k].muted, c.muted[k]) << "FM " << k + 1;
        }
        for (int k = 0; k < 4; ++k) EXPECT_EQ(md->psg->mutes[k], c.muted[6 + k]) << "PSG " << k;
    }
}

TEST(MD_EmuMutes, MutedFmChannelIsSilent) {
    auto md = makeUnit();
    md->setParameter(15, 9.0f); // no PSG
    fmSine(*md, 0, 1083, 4);
    EXPECT_FALSE(render(*md, 2100).silent());
    md->setParameter(0, 1.0f);
    EXPECT_TRUE(render(*md, 2100).silent());
    md->setParameter(0, 0.0f);
    md->setParameter(21, 1.0f); // solo FM 2
    EXPECT_TRUE(render(*md, 2100).silent());
}

// With the AY selected the three PSG channel flags mute its channels; the
// fourth flag has no AY channel and must leave the AY's level table alone.
TEST(MD_EmuMutes, AyTakesOnlyTheThreeChannelFlags) {
    auto md = makeUnit();
    md->setParameter(15, 3.0f);
    psgNoise(*md, 15);
    ayToneA(*md, 50, 10);
    const int32_t level = peak(render(*md, 4096).left);
    ASSERT_GT(level, 0);

    md->setParameter(11, 1.0f);
    md->setParameter(11, 0.0f);
    EXPECT_EQ(peak(render(*md, 4096).left), level);

    md->setParameter(8, 1.0f);
    EXPECT_EQ(peak(render(*md, 4096).left), 0);
    md->setParameter(8, 0.0f);
    md->setParameter(27, 1.0f); // solo PSG 1: channel A silent
    EXPECT_EQ(peak(render(*md, 4096).left), 0);
}

// ---- PSG types -------------------------------------------------------------------

TEST(MD_EmuPsg, TypesSelectTheRenderPath) {
    auto renderType = [](float type, uint8_t stereo) {
        auto md = makeUnit();
        md->setParameter(15, type);
        md->write(1, stereo, 2);
        psgTone(*md, 0, 40, 0);
        psgNoise(*md, 15);
        ayToneA(*md, 30, 15);
        return render(*md, 3000);
    };
    const Stereo mono = renderType(0.0f, 0xFF);
    EXPECT_FALSE(mono.silent());
    EXPECT_EQ(mono.left, mono.right);
    const Stereo type2 = renderType(2.0f, 0xFF);
    EXPECT_EQ(type2.left, mono.left);
    EXPECT_EQ(type2.right, mono.right);

    const Stereo leftOnly = renderType(1.0f, 0x10); // tone 0 to the left only
    EXPECT_EQ(leftOnly.left, mono.left);
    EXPECT_EQ(peak(leftOnly.right), 0);

    const Stereo ay3 = renderType(3.0f, 0xFF);
    const Stereo ay4 = renderType(4.0f, 0xFF);
    EXPECT_GT(peak(ay3.left), 0);
    EXPECT_NE(ay3.left, mono.left);
    EXPECT_EQ(ay3.left, ay3.right);
    EXPECT_EQ(ay4.left, ay3.left);

    EXPECT_TRUE(renderType(5.0f, 0xFF).silent());
    EXPECT_TRUE(renderType(-1.0f, 0xFF).silent());
}

// Nothing written yet: the unit is silent after init and again after reset,
// on the PSG paths (the PSG's four channels start at attenuation 15).
TEST(MD_EmuPsg, UnwrittenUnitIsSilent) {
    for (float type : {0.0f, 1.0f, 2.0f}) {
        SCOPED_TRACE(type);
        auto md = makeUnit();
        md->setParameter(15, type);
        EXPECT_TRUE(render(*md, 2000).silent());
        psgTone(*md, 0, 40, 0);
        EXPECT_FALSE(render(*md, 2000).silent());
        md->reset();
        EXPECT_TRUE(render(*md, 2000).silent());
    }
}

// ---- clock index and FM selection ----------------------------------------------------

TEST(MD_EmuFm, ClockIndexAndFmSelectChooseTheLayout) {
    const struct {
        uint64_t clockIndex;
        float fmSelect;
        size_t frame;
        std::vector<size_t> slots; // where channel 1 lands within a frame
    } cases[] = {
        {0, 0.0f, 21, {0, 1}}, {2, 0.0f, 21, {0, 1}}, {3, 0.0f, 9, {0}},
        {0, 1.0f, 21, {0}},    {1, 1.0f, 21, {0}},    {3, 1.0f, 9, {0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "clock " << c.clockIndex << " fm " << c.fmSelect);
        auto md = makeUnit();
        md->setParameter(15, 9.0f); // no PSG
        fmSine(*md, 0, 1083, 4);    // written before the FM chip is chosen
        md->setClockIndex(c.clockIndex);
        md->setParameter(30, c.fmSelect);
        const Stereo out = render(*md, 63 * 40);
        size_t sounding = 0;
        for (size_t i = 0; i < out.left.size(); ++i) {
            const bool inSlot =
                std::find(c.slots.begin(), c.slots.end(), i % c.frame) != c.slots.end();
            if (!inSlot) {
                ASSERT_EQ(out.left[i], 0) << i;
            }
            if (out.left[i] != 0) ++sounding;
            ASSERT_EQ(out.left[i], out.right[i]) << i;
        }
        EXPECT_GT(sounding, out.left.size() / c.frame / 2);
    }
}

// ---- profiles --------------------------------------------------------------------

TEST(MD_EmuProfiles, GeneratedFileHoldsThreeProfiles) {
    auto md = makeUnit(SX_DATA_DIR "/md_profiles.riff");
    ASSERT_EQ(md->profiles.size(), 3u);
    EXPECT_EQ(md->profileTable, &md->profiles);
    for (size_t k = 0; k < 3; ++k) {
        const ModelProfile& p = md->profiles[k];
        EXPECT_EQ(p.name, consoledata::kProfiles[k].name);
        EXPECT_EQ(p.dacCurve[256], 0);
        EXPECT_TRUE(std::any_of(p.filter, p.filter + 32, [](float f) { return f != 0.0f; }));
        EXPECT_GT(p.psgCurves[0][0], 0);
    }
    EXPECT_EQ(md->filterIndex, 0);
    EXPECT_EQ(md->getFilterSettings(), md->profiles[0].filter);
    EXPECT_EQ(md->psg->volumeCurve[0], psgTopLevel(md->profiles[0]));
}

// The shipped profiles balance the PSG against the FM chip. A full-scale FM
// channel holds the DAC curve's end value in 2 of the 21 frames of each FM
// frame, so its level per frame is 2/21 of the curve's peak; the loudest level
// of every PSG curve sits within 12 dB of that, and each curve falls with the
// attenuation down to silence at 15.
TEST(MD_EmuGeneratedData, PsgLevelsSitNearTheFmFullScale) {
    std::vector<ModelProfile> table;
    ASSERT_TRUE(loadModelProfiles(SX_DATA_DIR "/md_profiles.riff", table));
    ASSERT_EQ(table.size(), 3u);
    for (const ModelProfile& p : table) {
        SCOPED_TRACE(p.name);
        const int fmPeak = std::max(std::abs(int(p.dacCurve[0])), std::abs(int(p.dacCurve[511])));
        EXPECT_GE(fmPeak, 16000);
        const double fmLevel = fmPeak * 2.0 / 21.0;
        for (const auto& curve : p.psgCurves) {
            const double dB = 20.0 * std::log10(std::max<double>(curve[0], 1.0) / fmLevel);
            EXPECT_GT(dB, -12.0) << curve[0];
            EXPECT_LT(dB, 12.0) << curve[0];
            for (int j = 1; j < 15; ++j) EXPECT_LT(curve[j], curve[j - 1]) << j;
            EXPECT_GT(curve[14], 0);
            EXPECT_EQ(curve[15], 0);
        }
    }
}

// The shipped DAC curves, as loaded (64 per code, centred on code 0): the
// YM2612 board's output stage sounds code v >= 0 as v + 4 and v < 0 as v - 3,
// so its step across zero is eight codes wide; every other step, and every
// step of the linear boards, is one code.
TEST(MD_EmuGeneratedData, DacStepAcrossZero) {
    std::vector<ModelProfile> table;
    ASSERT_TRUE(loadModelProfiles(SX_DATA_DIR "/md_profiles.riff", table));
    ASSERT_EQ(table.size(), 3u);
    for (size_t k = 0; k < table.size(); ++k) {
        SCOPED_TRACE(table[k].name);
        const std::vector<int16_t>& curve = table[k].dacCurve;
        const int acrossZero = consoledata::kProfiles[k].ym2612Dac ? 8 * 64 : 64;
        EXPECT_EQ(curve[256] - curve[255], acrossZero);
        for (int i = 1; i < 512; ++i) {
            if (i != 256) {
                ASSERT_EQ(curve[i] - curve[i - 1], 64) << i;
            }
        }
    }
    EXPECT_TRUE(consoledata::kProfiles[0].ym2612Dac); // "MD-1 (YM2612)"
    EXPECT_FALSE(consoledata::kProfiles[1].ym2612Dac);
}

// The shipped rhythm samples load through the rhythm reader, and six voices at
// full level (15/16 of each sample) never leave the 16-bit range of the sum.
TEST(MD_EmuGeneratedData, RhythmSamplesKeepSixVoicesIn16Bits) {
    int32_t sumOfVoicePeaks = 0;
    for (const char* name : {"kick", "snare", "ride", "hihat", "tom", "rim"}) {
        SCOPED_TRACE(name);
        const std::string path = std::string(SX_DATA_DIR "/vn_opna_") + name + ".wav";
        std::vector<int16_t> samples;
        ASSERT_TRUE(readWavSamples(samples, path.c_str()));
        EXPECT_GT(samples.size(), 1000u); // at least about 1/20 s at the rhythm rate
        int32_t samplePeak = 0;
        for (int16_t x : samples) samplePeak = std::max(samplePeak, std::abs(int32_t(x)));
        EXPECT_GT(samplePeak, 2000);
        sumOfVoicePeaks += (15 * samplePeak) >> 4;
    }
    EXPECT_LE(sumOfVoicePeaks, 32767);
}

// Without a file the built-in profile applies; its PSG levels come from the
// same conversion as a loaded profile's, never from the raw reference table.
TEST(MD_EmuProfiles, BuiltInProfileWithoutAFile) {
    for (const char* context : {static_cast<const char*>(nullptr), "/no/such/dir/profiles.riff"}) {
        auto md = makeUnit(context);
        ASSERT_EQ(md->profileTable, &md->profiles);
        ASSERT_EQ(md->profiles.size(), 1u);
        const ModelProfile& p = md->profiles[0];
        EXPECT_TRUE(std::equal(p.dacCurve.begin(), p.dacCurve.end(), kDefaultDacCurve.begin()));
        EXPECT_EQ(md->filterIndex, 0);
        EXPECT_TRUE(std::equal(kDefaultFilterBlock.begin(), kDefaultFilterBlock.end(),
                               md->getFilterSettings()));
        EXPECT_EQ(p.psgCurves[0][0], 821); // 43110 * 4000 / 21 / 10000
        EXPECT_EQ(md->psg->volumeCurve[0], 821);
        md->setParameter(7, 0.0f);
        EXPECT_EQ(md->psg->volumeCurve[0], 821);
        md->setParameter(7, 3.0f);
        EXPECT_EQ(md->modelIndex, 0);
    }
}

TEST(MD_EmuProfiles, EmptyTopContainerKeepsTheBuiltInProfile) {
    const std::string file = writeFile("md_no_profiles.riff", container("RIFF", "MDPF", {}));
    auto md = makeUnit(file.c_str());
    ASSERT_EQ(md->profiles.size(), 1u);
    EXPECT_EQ(md->profiles[0].dacCurve[0], kDefaultDacCurve[0]);
    EXPECT_EQ(md->filterIndex, 0);
    EXPECT_FALSE(md->loadModelProfiles(file));
    EXPECT_EQ(md->profiles.size(), 1u);
}

TEST(MD_EmuProfiles, ReloadRevalidatesTheSelections) {
    auto md = makeUnit(threeProfileFile().c_str());
    md->setParameter(7, 2.0f);
    md->setParameter(6, 2.0f);
    ASSERT_TRUE(md->loadModelProfiles(onePlainProfileFile()));
    ASSERT_EQ(md->profiles.size(), 1u);
    EXPECT_EQ(md->modelIndex, 0);
    EXPECT_EQ(md->filterIndex, -1);
    EXPECT_EQ(md->psg->volumeCurve[0], 0); // that profile has no DAC levels
    // A later init of the unit that owns its table does not read the file again.
    md->init(kMaxFrames, threeProfileFile().c_str(), 0);
    EXPECT_EQ(md->profiles.size(), 1u);
}

TEST(MD_EmuProfiles, SharingUnitsUseTheFirstUnitsTable) {
    auto first = makeUnit(threeProfileFile().c_str());
    MD_Emu second;
    second.profileTable = &first->profiles;
    second.init(kMaxFrames, onePlainProfileFile().c_str(), 0);
    EXPECT_TRUE(second.profiles.empty());
    EXPECT_EQ(second.profileTable, &first->profiles);
    // Its PSG plays the selected profile's levels from the start, like the first unit's.
    EXPECT_EQ(second.psg->volumeCurve[0], first->psg->volumeCurve[0]);
    EXPECT_EQ(second.psg->volumeCurve[0], psgTopLevel(first->profiles[0]));
    second.setParameter(7, 2.0f);
    EXPECT_EQ(second.psg->volumeCurve[0], psgTopLevel(first->profiles[2]));
    second.setParameter(6, 1.0f);
    EXPECT_EQ(second.getFilterSettings(), first->profiles[1].filter);
}

// A unit sharing the first unit's table (threeProfileFile) plays a sine
// with profile 2's DAC curve, one 16-frame span a block as the controller
// drives it, handing its FM samples over as rows. After 40 blocks the first
// unit loads `reload` (none: empty), and the sharing unit is touched by a
// setting that changes nothing when `touch`. Returns the rows of the 40
// blocks after that and counts the spans that went by rows alone.
std::vector<int32_t> sharedTableRows(const std::string& reload, bool touch, int& rowsOnlySpans) {
    const FastPaths::Scope shortcuts(true);
    auto first = makeUnit(threeProfileFile().c_str());
    MD_Emu second;
    second.profileTable = &first->profiles;
    second.init(kMaxFrames, nullptr, 0);
    second.setParameter(7, 2.0f);
    fmSine(second, 0, 0x400, 4);
    constexpr int kBefore = 40, kAfter = 40;
    constexpr uint64_t kBlock = 16, kFrame = ChipEmu::kSpreadCarry;
    std::vector<int32_t> l(kBlock + kFrame), r(kBlock + kFrame), kept;
    int32_t rows[2][2][8];
    uint64_t phase = 0;
    for (int b = 0; b < kBefore + kAfter; ++b) {
        if (b == kBefore && !reload.empty()) {
            EXPECT_TRUE(first->loadModelProfiles(reload));
        }
        if (b == kBefore && touch) second.setParameter(0, 0.0f);
        SpreadRows grid;
        grid.rows = rows;
        grid.first = uint32_t((kFrame - phase) % kFrame);
        grid.count = kBlock > grid.first ? (kBlock - grid.first + kFrame - 1) / kFrame : 0;
        std::memset(rows, 0, sizeof rows);
        int32_t* outputs[2] = {l.data(), r.data()};
        const bool added = second.renderSpan(outputs, kBlock, &grid, true, true);
        phase = (phase + kBlock) % kFrame;
        if (b < kBefore) continue;
        if (!added) ++rowsOnlySpans;
        kept.insert(kept.end(), &rows[0][0][0], &rows[0][0][0] + 16 * grid.count);
    }
    return kept;
}

// The sharing unit keeps its DAC curve between spans: a table reloaded by
// the first unit (here shrunk to one profile, so the sharing unit's profile
// 2 falls back to the built-in curve) is heard at once, as if the sharing
// unit had been touched.
TEST(MD_EmuProfiles, ASharingUnitPlaysTheCurveOfATableTheFirstUnitReloaded) {
    int rowsOnly = 0;
    const std::vector<int32_t> reloaded = sharedTableRows(onePlainProfileFile(), false, rowsOnly);
    EXPECT_GT(rowsOnly, 30) << "the spans did not hand rows over";
    const std::vector<int32_t> touched = sharedTableRows(onePlainProfileFile(), true, rowsOnly);
    const std::vector<int32_t> kept = sharedTableRows("", false, rowsOnly);
    EXPECT_NE(peak(touched), 0);
    EXPECT_NE(touched, kept);
    EXPECT_EQ(reloaded, touched);
}

// ---- life cycle ------------------------------------------------------------------

TEST(MD_EmuLifecycle, SettingsBeforeInitAreAppliedByIt) {
    MD_Emu md;
    md.write(0xB0, 0x05, 0); // without chips: ignored
    md.reset();
    Stereo out(100, 7);
    renderInto(md, out, 0, 100);
    EXPECT_EQ(out.left, std::vector<int32_t>(100, 7));
    EXPECT_EQ(md.getFilterSettings(), kDefaultFilterBlock.data());

    md.setParameter(0, 1.0f);
    md.setParameter(9, 1.0f);
    md.setParameter(7, 2.0f);
    md.setParameter(6, 1.0f);
    md.setParameter(15, 2.0f);
    md.setParameter(30, 1.0f);

    md.init(kMaxFrames, threeProfileFile().c_str(), 0);
    EXPECT_EQ(md.opn2->state().channels[0].muted, 1);
    EXPECT_EQ(md.opna->state().channels[0].muted, 1);
    EXPECT_EQ(md.psg->mutes[1], 1);
    EXPECT_EQ(md.psg->mutes[0], 0);
    EXPECT_EQ(md.modelIndex, 2);
    EXPECT_EQ(md.filterIndex, 1);
    EXPECT_EQ(md.psg->volumeCurve[0], psgTopLevel(md.profiles[2]));
    EXPECT_EQ(md.psgType, 2u);
    EXPECT_EQ(md.fmSelect, 1u);
}

TEST(MD_EmuLifecycle, MutesSurviveAReinit) {
    auto md = makeUnit();
    md->setParameter(5, 1.0f);
    md->setParameter(26, 1.0f);
    md->init(kMaxFrames, nullptr, 0);
    EXPECT_EQ(md->opn2->state().channels[0].muted, 1); // not soloed
    EXPECT_EQ(md->psg->mutes[0], 0);                   // soloed
    EXPECT_EQ(md->psg->mutes[1], 1);
}

TEST(MD_EmuLifecycle, ResetKeepsThePsgTypeAndRestoresTheRest) {
    auto md = makeUnit();
    md->setParameter(15, 4.0f);
    md->setParameter(30, 1.0f);
    md->setParameter(3, 1.0f);
    md->write(1, 0x33, 2);
    md->setOutputOffset(0, 5, 6);
    md->reset();
    EXPECT_EQ(md->ggStereo, 0xFF);
    EXPECT_EQ(md->offsetEnabled, 0);
    EXPECT_EQ(md->fmSelect, 0u);
    EXPECT_EQ(md->psgType, 4u);
    EXPECT_EQ(md->fmMutes[3], 1);
}

TEST(MD_EmuLifecycle, OutputOffsetsAddToEveryFrame) {
    auto md = makeUnit();
    md->setParameter(15, 9.0f);
    md->setOutputOffset(12345, 100, -50);
    const Stereo out = render(*md, 500);
    EXPECT_EQ(out.left, std::vector<int32_t>(500, 100));
    EXPECT_EQ(out.right, std::vector<int32_t>(500, -50));
    md->reset();
    EXPECT_TRUE(render(*md, 500).silent());
}

// ---- rendering -------------------------------------------------------------------

// Cutting a stretch into calls of any length (also longer than maxFrames, and
// of zero) adds exactly what one call adds.
TEST(MD_EmuRender, SplitInvariance) {
    const struct {
        uint64_t clockIndex;
        float psgType, fmSelect;
    } setups[] = {{0, 0.0f, 0.0f}, {3, 0.0f, 0.0f}, {0, 1.0f, 0.0f},
                  {0, 3.0f, 1.0f}, {3, 0.0f, 1.0f}, {1, 2.0f, 0.0f}};
    const uint64_t cuts[] = {0, 1, 20, 21, 0, 9, 500, 1023, 1024, 1025, 3000, 7, 13, 2046};
    uint64_t total = 0;
    for (uint64_t c : cuts) total += c;

    for (const auto& s : setups) {
        SCOPED_TRACE(testing::Message()
                     << "clock " << s.clockIndex << " psg " << s.psgType << " fm " << s.fmSelect);
        auto prepare = [&] {
            auto md = makeUnit();
            md->setClockIndex(s.clockIndex);
            md->setParameter(15, s.psgType);
            md->setParameter(30, s.fmSelect);
            md->write(1, 0x5C, 2);
            for (int ch = 0; ch < 6; ++ch) fmSine(*md, ch, 600 + 97 * ch, 3 + ch % 3);
            psgTone(*md, 0, 100, 0);
            psgTone(*md, 1, 37, 4);
            psgTone(*md, 2, 3, 2);
            psgNoise(*md, 3);
            ayToneA(*md, 21, 12);
            return md;
        };
        auto whole = prepare();
        auto pieces = prepare();
        Stereo a(total, 3), b(total, 3); // the renders add to what is there
        renderInto(*whole, a, 0, total);
        size_t at = 0;
        for (uint64_t c : cuts) {
            renderInto(*pieces, b, at, c);
            at += c;
        }
        EXPECT_EQ(a.left, b.left);
        EXPECT_EQ(a.right, b.right);
        EXPECT_GT(peak(a.left), 3);
    }
}

// One FM note and one PSG tone written through the register ports: each is
// heard at its frequency and level, on both sides.
TEST(MD_EmuRender, FmNoteAndPsgToneEndToEnd) {
    auto md = makeUnit();       // built-in profile: PSG level 821 at attenuation 0
    md->setParameter(7, -1.0f); // linear DAC curve
    fmSine(*md, 0, 1083, 4);    // 1083 * 2^3 * rate / 2^20 Hz
    psgTone(*md, 0, 112, 0);    // rate / (2 * 5 * 112) Hz
    psgNoise(*md, 15);

    const double frameRate = md->getInfo()->clocks[0];
    const double chipRate = frameRate / 21.0;
    const size_t samples = 32768;
    Stereo out(samples * 21);
    for (size_t at = 0; at < out.left.size(); at += kMaxFrames)
        renderInto(*md, out, at, std::min<size_t>(kMaxFrames, out.left.size() - at));
    EXPECT_EQ(out.left, out.right);

    // One value per FM frame: the sum of its 21 frames.
    std::vector<double> x(samples, 0.0);
    for (size_t i = 0; i < samples; ++i)
        for (size_t k = 0; k < 21; ++k) x[i] += out.left[21 * i + k];

    const Tone fm = strongestTone(x, chipRate, 300.0, 600.0);
    const double fmExpected = 1083.0 * 8.0 * chipRate / 1048576.0;
    EXPECT_NEAR(fm.frequency, fmExpected, 0.5);
    // A full-scale sine fills the linear 9-bit DAC: +-16384 in each of its two slots.
    EXPECT_NEAR(fm.amplitude, 2.0 * 16384.0, 0.03 * 2.0 * 16384.0);

    const Tone psg = strongestTone(x, chipRate, 800.0, 1200.0);
    EXPECT_NEAR(psg.frequency, frameRate / 1120.0, 0.5);
    // A 0/821 square wave: fundamental 2/pi of its 21-frame sum.
    const double psgExpected = 21.0 * 821.0 * 2.0 / M_PI;
    EXPECT_NEAR(psg.amplitude, psgExpected, 0.03 * psgExpected);
}
