#include "instrument/MD_ctrl.h"

#include <cmath>
#include <cstring>
#include <limits>

#include <gtest/gtest.h>

#include "ConsoleFixture.h"
#include "instrument/DCSG_noise_sub.h"

using namespace insttest;

namespace {

struct Step {
    uint16_t index;
    float value;
};

} // namespace

// Host values reach the registers of every voice unit.
TEST(MD_ctrlParams, ParameterChangesReachTheirRegisters) {
    struct Case {
        const char* what;
        std::vector<Step> steps;
        uint64_t port;
        uint8_t reg, expected;
    } cases[] = {
        {"A:OP1 Mult on L01", {{49, 5}}, 0, 0x3C, 0x05},
        {"A:OP4 A = 10 is attack rate 21", {{3, 10}}, 0, 0x50, 21},
        {"A:Pch Algorithm", {{64, 4}}, 0, 0xB0, 0x04},
        {"A:OP4 Feedback", {{65, 5}}, 0, 0xB0, 0x28},
        {"B:OP1 Mult while L01 plays A", {{72 + 49, 7}}, 0, 0x3C, 0x01},
        {"B:OP1 Mult once L01 plays B", {{144, 1}, {72 + 49, 7}}, 0, 0x3C, 0x07},
        {"L04 Pan left", {{153, -1}}, 1, 0xB4, 0x80},
        {"L06 Pan right", {{155, 1}}, 1, 0xB6, 0x40},
        {"LFO Rate", {{158, 5}}, 0, 0x22, 0x0D},
        {"CH3 Mode 1", {{159, 1}}, 0, 0x27, 0x40},
        {"CH3 Mode 2 (CSM)", {{159, 2}}, 0, 0x27, 0x80},
        {"DAC on L06", {{149, 2}}, 0, 0x2B, 0x80},
        {"C on L06 leaves DAC mode", {{149, 2}, {149, 3}}, 0, 0x2B, 0x00},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Console con;
        for (const Step& s : c.steps) con.ctrl->setParameter(s.index, s.value);
        for (uint64_t u = 0; u < 6; ++u) EXPECT_EQ(con.reg(u, c.reg, c.port), c.expected) << u;
    }
}

TEST(MD_ctrlParams, NoiseSettingsReachTheNoiseChannel) {
    Console con;
    con.ctrl->setParameter(156, 1);
    con.ctrl->setParameter(157, 3);
    for (uint64_t u = 0; u < 6; ++u) {
        auto* noise = static_cast<DCSG_noise_sub*>(con.ctrl->psg[u].members[3].get());
        EXPECT_EQ(noise->periodic, 1);
        EXPECT_EQ(noise->rate, 3);
    }
}

TEST(MD_ctrlParams, DacModeReplacesLayerSixAndReleasesVoices) {
    Console con;
    con.midi(0x90, 60, 127);
    EXPECT_EQ(con.ctrl->voiceManager(0)->getActiveVoiceCount(), 1u);
    con.ctrl->setParameter(149, 2);
    EXPECT_TRUE(con.ctrl->dacMode);
    EXPECT_EQ(con.ctrl->voiceManager(0)->getActiveVoiceCount(), 0u);
    for (uint64_t u = 0; u < 6; ++u) {
        EXPECT_EQ(con.ctrl->layerSub(u, 5), con.ctrl->dac[u].get());
        EXPECT_EQ(con.reg(u, 0x2A), 128);
    }
    con.ctrl->setParameter(149, 1);
    EXPECT_FALSE(con.ctrl->dacMode);
    EXPECT_EQ(con.ctrl->layerSub(0, 5), con.ctrl->fm[0][5].get());
    EXPECT_EQ(con.ctrl->fm[0][5]->patch, &con.ctrl->voiceShadow(0).instruments[1]);
}

// The master shadow keeps what the host sent, rounded and held to the range.
TEST(MD_ctrlParams, MasterShadowTakesRoundedValuesInRange) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        uint16_t index;
        float value;
        int32_t expected;
    } cases[] = {
        {49, 4.5f, 5},  {49, 99.0f, 15}, {2, -7.0f, -3}, {48, nan, 127},
        {48, inf, 127}, {158, 3.4f, 3},  {171, 1, 1},
    };
    for (const Case& c : cases) {
        Console con;
        con.ctrl->setParameter(c.index, c.value);
        EXPECT_EQ(console::shadowField(con.ctrl->masterShadow(), c.index), c.expected)
            << c.index << " " << c.value;
    }
    // Past the channel-3 fields nothing lands in the master shadow; past
    // the table nothing happens at all.
    Console con;
    con.ctrl->setParameter(185, 4);
    con.ctrl->setParameter(191, 4);
    con.ctrl->setParameter(0xFFFF, 4);
    EXPECT_EQ(con.ctrl->masterShadow().spare, 0);
    EXPECT_EQ(con.ctrl->dac[0]->shift, 4); // resolution 4: four low bits cleared
}

// Instruments C..P: before the host's block exists a channel choosing one
// plays instrument A's record; a new block rebinds every channel at once.
TEST(MD_ctrlParams, ExternalInstrumentsFollowTheBlock) {
    Console con;
    con.ctrl->setParameter(144, 2); // L01 plays C
    const PatchRecord* a = &con.ctrl->voiceShadow(0).instruments[0];
    EXPECT_EQ(con.ctrl->fm[0][0]->patch, a);
    con.midi(0x90, 69, 127); // reads the patch: must not crash
    con.midi(0x80, 69, 0);

    std::vector<uint8_t> first(MD_ctrl::kBlockSize), second(MD_ctrl::kBlockSize);
    con.ctrl->attachInstrumentBlock(first.data(), first.size(), 0);
    EXPECT_EQ(first[4] | first[5] << 8, 7200);
    EXPECT_EQ(con.ctrl->fm[3][0]->patch, reinterpret_cast<PatchRecord*>(first.data() + 32));
    con.ctrl->attachInstrumentBlock(second.data(), second.size(), 0);
    EXPECT_EQ(con.ctrl->fm[3][0]->patch, reinterpret_cast<PatchRecord*>(second.data() + 32));
    // A block too small for fourteen instruments is not taken.
    std::vector<uint8_t> small(1000);
    con.ctrl->attachInstrumentBlock(small.data(), small.size(), 0);
    EXPECT_EQ(con.ctrl->instrumentBlock, nullptr);
    EXPECT_EQ(con.ctrl->fm[3][0]->patch, &con.ctrl->voiceShadow(3).instruments[0]);
}

TEST(MD_ctrlParams, VersionDecidesVelocityOnPsgLayers) {
    for (uint32_t version : {1104u, 1114u}) {
        Console con(version);
        con.ctrl->layerManager.setLayerField(6, VSX::LayerManager::kActive, 1.0f);
        con.midi(0x90, 69, 127);
        auto* tone = static_cast<DCSG_tone_sub*>(con.ctrl->layerSub(0, 6));
        tone->velocitySquared = 0.25f;
        con.ctrl->onLayerVoiceVelocity(0, 6);
        EXPECT_EQ(tone->velocitySquared, version >= 1114 ? 1.0f : 0.25f) << version;
    }
}

TEST(MD_ctrlParams, WritesAreMirroredAndRangeChecked) {
    Console con;
    con.ctrl->writeRegister(6, 0x30, 0x11, 1);
    EXPECT_EQ(con.reg(6, 0x30, 1), 0x11);
    con.ctrl->writeRegister(7, 0x30, 0x22, 0); // no unit 7: dropped
    con.ctrl->writeRegister(2, 0x05, 0x33, 3); // the AY port has no mirror
    EXPECT_EQ(con.reg(2, 0x05, 1), 0);
    EXPECT_EQ(con.reg(2, 0x05, 0), 0);
    EXPECT_EQ(con.ctrl->getLayerTargets(9), 12u);
    EXPECT_EQ(con.ctrl->getLayerTargets(0), 15u);
}

// An instrument pushed back out to the host: every index of it, mode 0,
// then the range that changed.
TEST(MD_ctrlParams, ApplyPatchReportsTheInstrument) {
    Console con;
    con.ctrl->masterShadow().instruments[1].op(2, PatchRecord::kMult) = 9;
    con.listener.values.clear();
    con.ctrl->applyPatch(1);
    ASSERT_EQ(con.listener.values.size(), 72u);
    EXPECT_EQ(con.listener.values[0].index, 72u);
    EXPECT_EQ(con.listener.values[33].value, 9.0f);
    EXPECT_EQ(con.listener.values[33].mode, 0);
    ASSERT_EQ(con.listener.ranges.size(), 1u);
    EXPECT_EQ(con.listener.ranges[0], std::make_pair(uint64_t(72), uint64_t(144)));
    EXPECT_EQ(con.ctrl->voiceShadow(4).instruments[1].op(2, PatchRecord::kMult), 9);
}

// DAC sample records from the host: one with samples is played by every
// unit's DAC; a replacement under the same key is taken even when empty (the
// old record may be gone), an empty one under another key is not.
TEST(MD_ctrlParams, DacRecordsFollowTheirKey) {
    Console con;
    auto record = [](uint32_t samples) {
        std::vector<uint8_t> r(OPN2_DAC_sub::kHeaderSize + 2 * 64, 0);
        std::memcpy(r.data() + 32, &samples, 4);
        return r;
    };
    std::vector<uint8_t> full = record(64), empty = record(0), other = record(0);
    con.ctrl->receiveDataBlock(full.data(), full.size(), 0);
    for (auto& d : con.ctrl->dac) EXPECT_EQ(d->sampleSet, full.data());
    con.ctrl->receiveDataBlock(other.data(), other.size(), 5);
    EXPECT_EQ(con.ctrl->dac[0]->sampleSet, full.data());
    con.ctrl->receiveDataBlock(empty.data(), empty.size(), 0);
    for (auto& d : con.ctrl->dac) {
        EXPECT_EQ(d->sampleSet, empty.data());
        EXPECT_EQ(d->totalSamples, 0u);
    }
}

// The first canvas stays; every call sets the sixteen colours and draws the
// idle page over the old picture.
TEST(MD_ctrlParams, CanvasGetsThePaletteAndIsCleared) {
    Console con;
    std::vector<uint8_t> red(256), green(256), blue(256), pixels(640 * 480, 7);
    CanvasRecord first{red.data(), green.data(), blue.data(), 0, pixels.data(), 480, 640};
    CanvasRecord second{};
    con.ctrl->attachCanvas(&first);
    con.ctrl->attachCanvas(&second);
    EXPECT_EQ(con.ctrl->canvas, &first);
    EXPECT_EQ(first.width, 320u);
    EXPECT_EQ(first.height, 224u);
    EXPECT_EQ(first.colourCount, 16u);
    EXPECT_EQ(red[4], 175);
    EXPECT_EQ(green[14], 242);
    EXPECT_EQ(blue[10], 131);
    EXPECT_EQ(pixels[320 * 224 - 1], 0);
    EXPECT_EQ(pixels[320 * 224], 7);
}
