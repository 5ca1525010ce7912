#include "instrument/MD_ctrl.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "ConsoleFixture.h"
#include "engine-support/VNTFile.h"
#include "instrument/PatchFiles.h"

using namespace insttest;
using console::ConsoleShadow;

namespace {

double dB(double ratio) {
    return 20.0 * std::log10(std::max(ratio, 1e-12));
}

double rms(const std::vector<double>& x, size_t from, size_t to) {
    double s = 0.0;
    for (size_t i = from; i < to; ++i) s += x[i] * x[i];
    return std::sqrt(s / double(std::max<size_t>(1, to - from)));
}

} // namespace

TEST(MD_ctrl, NoteOnPlaysInstrumentAAt440Hz) {
    Console con;
    con.midi(0x90, 69, 127);
    const std::vector<double> x = con.render(0.1);
    EXPECT_GT(peakOf(x), 1000.0);
    EXPECT_NEAR(pitchByZeroCrossings(x, con.fmRate(), 200), 440.0, 1.0);
    // Voice 0 is unit 0: the FM key-on of channel 1 with all four operators.
    EXPECT_EQ(con.reg(0, 0x28), 0xF0);
}

TEST(MD_ctrl, NoteOffFallsSilentWithin20ms) {
    Console con;
    con.midi(0x90, 69, 127);
    const std::vector<double> on = con.render(0.05);
    const double level = rms(on, on.size() / 2, on.size());
    con.midi(0x80, 69, 0);
    const std::vector<double> off = con.render(0.03);
    const size_t at20ms = size_t(0.02 * con.fmRate());
    EXPECT_LT(dB(rms(off, at20ms, off.size()) / level), -60.0);
}

TEST(MD_ctrl, PitchBendAtTheMaximumRaisesByItsRange) {
    Console con;
    con.midi(0x90, 57, 127); // 220 Hz
    con.midi(0xE0, 127, 127);
    const std::vector<double> x = con.render(0.1);
    const double hz = pitchByZeroCrossings(x, con.fmRate(), 200);
    const double cents = 1200.0 * std::log2(hz / 220.0);
    // 8191/8192 of the 1200-cent range; the F-number grid is finer than 2 cents.
    EXPECT_NEAR(cents, 1199.85, 2.0);
}

TEST(MD_ctrl, LayerL07AddsAPsgSquare) {
    Console con;
    con.ctrl->layerManager.setLayerField(0, VSX::LayerManager::kActive, 0.0f);
    con.ctrl->layerManager.setLayerField(6, VSX::LayerManager::kActive, 1.0f);
    con.midi(0x90, 69, 127);
    std::vector<double> x = con.render(0.2);
    // The square sits on one side of 0: take its mean away first.
    double mean = 0.0;
    for (double v : x) mean += v / double(x.size());
    for (double& v : x) v -= mean;
    // The PSG's tone counter: 3579545 / 32 / 254 = 440.4 Hz.
    EXPECT_NEAR(pitchByZeroCrossings(x, con.fmRate(), 100), 440.4, 0.5);
    EXPECT_GT(peakOf(x), 100.0);
}

// The PSG has no key-off: a released voice silences its PSG layers through
// their amplitude, as does a note that a PSG layer's key range leaves out.
TEST(MD_ctrl, PsgLayersFallSilentWhenReleased) {
    auto acRms = [](const std::vector<double>& x, size_t from) {
        double mean = 0.0, s = 0.0;
        for (size_t i = from; i < x.size(); ++i) mean += x[i] / double(x.size() - from);
        for (size_t i = from; i < x.size(); ++i) s += (x[i] - mean) * (x[i] - mean);
        return std::sqrt(s / double(std::max<size_t>(1, x.size() - from)));
    };
    for (uint64_t layer = 6; layer < 10; ++layer) {
        SCOPED_TRACE(layer);
        Console con;
        con.ctrl->layerManager.setLayerField(0, VSX::LayerManager::kActive, 0.0f);
        con.ctrl->layerManager.setLayerField(layer, VSX::LayerManager::kActive, 1.0f);
        con.midi(0x90, 69, 127);
        const double level = acRms(con.render(0.1), 0);
        ASSERT_GT(level, 100.0);
        con.midi(0x80, 69, 0);
        const std::vector<double> off = con.render(0.1);
        EXPECT_LT(dB(acRms(off, off.size() / 2) / level), -60.0);

        // A note above the layer's key range leaves the layer's slot silent.
        con.ctrl->layerManager.setLayerField(layer, VSX::LayerManager::kKeyHigh, 80.0f);
        con.midi(0x90, 69, 127);
        con.render(0.05);
        con.midi(0x90, 90, 127); // takes the next unit: voice 1
        con.midi(0x80, 69, 0);
        const std::vector<double> outside = con.render(0.1);
        EXPECT_LT(dB(acRms(outside, outside.size() / 2) / level), -60.0);
    }
}

TEST(MD_ctrl, SeventhNoteStealsAVoice) {
    Console con;
    for (uint8_t k = 0; k < 6; ++k) con.midi(0x90, uint8_t(60 + k), 127);
    for (uint64_t u = 0; u < 6; ++u) EXPECT_EQ(con.reg(u, 0x28), 0xF0) << u;
    VSX::VoiceManager& vm = *con.ctrl->voiceManager(0);
    EXPECT_EQ(vm.getActiveVoiceCount(), 6u);
    con.midi(0x90, 72, 127);
    EXPECT_EQ(vm.getActiveVoiceCount(), 6u);
    const int64_t v = vm.findVoiceByKey(72);
    ASSERT_GE(v, 0);
    // The stolen unit now plays key 72 (523.25 Hz): block 4, F-number 1288.
    const uint8_t hi = con.reg(uint64_t(v), 0xA4), lo = con.reg(uint64_t(v), 0xA0);
    const double fnum = double(((hi & 7) << 8) | lo) * double(1 << (hi >> 3)) / 2.0;
    const double hz = fnum * con.ctrl->fmClock / 144.0 / double(1 << 20);
    EXPECT_NEAR(hz, 523.25, 1.0);
}

// Every activation rebuilds the parameter actions: the layer tick stays
// queued once and the matrix routes find the new actions.
TEST(MD_ctrl, ReactivationKeepsOneLayerTickAndAWorkingMatrix) {
    Console con;
    con.ctrl->setModMatrixText("SOURCE=CC1;DESTINATION=A:OP1 Mult\n", 2068);
    for (int i = 0; i < 10; ++i) con.ctrl->resetForVersion(0);
    con.midi(0xB0, 1, 127); // + the whole range: Mult 15
    for (uint64_t u = 0; u < 6; ++u) EXPECT_EQ(con.reg(u, 0x3C) & 15, 15) << u;
    con.midi(0xB0, 1, 0);
    EXPECT_EQ(con.reg(0, 0x3C) & 15, 1);
    size_t ticks = 0;
    for (const auto& e : con.ctrl->queue)
        if (e.cookie == VSX::LayerManager::kTimerCookie) ++ticks;
    EXPECT_EQ(ticks, 1u);
    con.midi(0x90, 69, 127);
    EXPECT_NEAR(pitchByZeroCrossings(con.render(0.05), con.fmRate(), 200), 440.0, 1.0);
}
