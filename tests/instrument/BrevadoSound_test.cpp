// "Brevado" heard as a host hears it: the built shared object loaded with
// dlopen, one instance made and driven only through the four exports and its
// C record (processing information, activation with the model-profile file,
// event lists, the process entry), its stereo output measured for pitch and
// level.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "InstrumentTestSupport.h"
#include "BrevadoLibrary.h"
#include "instrument/EnginePluginRecords.h"

using namespace vantor::EnginePluginSDK;
using vantor::HDMIDIEvent;

namespace {

using brevadotest::library;

// One instance as the engine host keeps it.
class Instance {
public:
    Instance() : record(library().create("com.Vantor.Emulator.MD", &host)) {}
    ~Instance() {
        if (record) library().destroy(record);
    }
    intptr_t dispatch(uint32_t op, void* a, void* b = nullptr) {
        return record->dispatcher(record, op, a, b);
    }
    void setProcessing(double rate, uint32_t block) {
        ProcessingInfo info = {};
        info.sampleRate = rate;
        info.sampleRateInt = uint32_t(rate);
        info.maxBlockFrames = block;
        info.samplePeriod = 1.0 / rate;
        dispatch(PLUGIN_OP_SET_PROCESSING_INFO, &info);
    }
    uint64_t activate() {
        ActivationRecord a = {};
        a.context = reinterpret_cast<uintptr_t>(profiles.c_str());
        dispatch(PLUGIN_OP_ACTIVATE_RECORD, &a);
        return a.result;
    }
    // Renders `frames` frames in blocks of `block`; `events` go with the
    // first block. The left channel.
    std::vector<double> render(size_t frames, uint32_t block,
                               std::vector<HDMIDIEvent> events = {}) {
        std::vector<double> left, right;
        brevadotest::renderBlocks(record, frames, block, std::move(events), left, right);
        return left;
    }

    HostRecord host{nullptr};
    PluginRecord* record;
    const std::string profiles = SX_PRODUCT_DIR "/md_profiles.riff";
};

using insttest::midiEvent;
using insttest::parameterEvent;

double db(const std::vector<double>& x, size_t from) {
    double s = 0.0;
    for (size_t i = from; i < x.size(); ++i) s += x[i] * x[i];
    return s > 0.0 ? 10.0 * std::log10(s / double(x.size() - from)) : -400.0;
}

double pitch(const std::vector<double>& x, double rate) {
    return insttest::pitchByZeroCrossings(x, rate, x.size() / 4);
}

TEST(BrevadoSound, NoteOnPlaysTheKeysPitchAtEitherRate) {
    ASSERT_NE(library().handle, nullptr) << ::dlerror();
    for (double rate : {44100.0, 48000.0}) {
        Instance w;
        ASSERT_NE(w.record, nullptr);
        w.setProcessing(rate, 256);
        ASSERT_EQ(w.activate(), 1u);
        const auto x = w.render(size_t(rate / 2), 256, {midiEvent(0x90, 69, 100)});
        EXPECT_NEAR(pitch(x, rate), 440.0, 2.0) << rate;
        EXPECT_GT(db(x, x.size() / 4), -40.0) << rate;
    }
}

TEST(BrevadoSound, NoteOffEndsTheNote) {
    Instance w;
    w.setProcessing(48000.0, 256);
    ASSERT_EQ(w.activate(), 1u);
    const auto on = w.render(12000, 256, {midiEvent(0x90, 69, 100)});
    const auto off = w.render(48000, 256, {midiEvent(0x80, 69, 0)});
    EXPECT_LT(db(off, 24000), db(on, 6000) - 60.0);
}

TEST(BrevadoSound, PitchBendIdAtFullRaisesAnOctave) {
    Instance w;
    w.setProcessing(48000.0, 256);
    ASSERT_EQ(w.activate(), 1u);
    const auto x = w.render(24000, 256, {midiEvent(0x90, 69, 100), parameterEvent(128, 1.0f, 4)});
    EXPECT_NEAR(pitch(x, 48000.0), 880.0, 4.0);
}

TEST(BrevadoSound, ModulationMatrixRoutesAControllerToTheDetune) {
    Instance w;
    w.setProcessing(48000.0, 256);
    ASSERT_EQ(w.activate(), 1u);
    auto matrix = std::make_unique<TextRecord>();
    std::memset(matrix.get(), 0, sizeof *matrix);
    matrix->header.id = EXT_MOD_MATRIX;
    ExtensionCommand c = {};
    c.record = matrix.get();
    c.size = sizeof *matrix;
    int32_t result = 0;
    w.dispatch(PLUGIN_OP_EXTENSION, &c, &result);
    ASSERT_EQ(result, 1);
    const char text[] = "SOURCE=CC1;DESTINATION=L01 DETUNE";
    std::memcpy(matrix->text, text, sizeof text);
    c.action = 2;
    w.dispatch(PLUGIN_OP_EXTENSION, &c, &result);
    ASSERT_EQ(result, 1);
    const auto x = w.render(24000, 256, {midiEvent(0xB0, 1, 127), midiEvent(0x90, 69, 100)});
    EXPECT_NEAR(pitch(x, 48000.0), 466.16, 2.0);
}

TEST(BrevadoSound, BlockLengthsDoNotChangeTheSound) {
    Instance a, b;
    for (Instance* w : {&a, &b}) {
        w->setProcessing(48000.0, 1024);
        ASSERT_EQ(w->activate(), 1u);
    }
    const auto whole = a.render(600, 600, {midiEvent(0x90, 60, 100)});
    auto split = b.render(256, 256, {midiEvent(0x90, 60, 100)});
    for (uint32_t n : {256u, 88u}) {
        const auto more = b.render(n, n);
        split.insert(split.end(), more.begin(), more.end());
    }
    EXPECT_GT(insttest::peakOf(whole), 0.001);
    EXPECT_EQ(whole, split);
}

TEST(BrevadoSound, ProcessingInformationBeforeActivationAndARateOfZeroAreHarmless) {
    Instance w;
    w.setProcessing(48000.0, 256); // before the first activation
    w.setProcessing(0.0, 256);     // refused: 48000 stays
    w.setProcessing(std::numeric_limits<double>::quiet_NaN(), 0);
    ASSERT_EQ(w.activate(), 1u);
    w.setProcessing(0.0, 256);
    const auto x = w.render(24000, 256, {midiEvent(0x90, 69, 100)});
    EXPECT_NEAR(pitch(x, 48000.0), 440.0, 2.0);
}

// A host changes the rate on its own thread while the audio thread runs
// blocks: the change waits for the engine's mutex or finds the block done,
// the blocks stay finite and bounded, and the note plays on at the new rate.
// (Run under ThreadSanitizer this also shows the filters are never rewritten
// while a block runs them.)
TEST(BrevadoSound, RateChangesWhileBlocksRunOnAnotherThread) {
    Instance w;
    w.setProcessing(48000.0, 256);
    ASSERT_EQ(w.activate(), 1u);
    std::atomic<bool> stop{false};
    std::atomic<int> blocks{0};
    double peak = 0.0;
    bool finite = true;
    std::thread audio([&] {
        std::vector<HDMIDIEvent> events = {midiEvent(0x90, 69, 100)};
        while (!stop.load()) {
            std::vector<double> l, r;
            brevadotest::renderBlocks(w.record, 256, 256, std::move(events), l, r);
            events.clear();
            for (double v : l) {
                finite = finite && std::isfinite(v);
                peak = std::max(peak, std::fabs(v));
            }
            blocks.fetch_add(1);
        }
    });
    for (int i = 0; i < 100; ++i) {
        const int seen = blocks.load();
        w.setProcessing(i % 2 ? 48000.0 : 44100.0, 256);
        while (blocks.load() == seen) std::this_thread::yield(); // a block at the new rate
    }
    stop = true;
    audio.join();
    EXPECT_TRUE(finite);
    EXPECT_LT(peak, 1.0);

    const auto x = w.render(24000, 256);
    EXPECT_NEAR(pitch(x, 48000.0), 440.0, 2.0);
    EXPECT_GT(db(x, x.size() / 4), -40.0);
}

} // namespace
