// An audio block allocates nothing once the object is activated: events out
// of order and past the block's end, a full event list, a block that finds
// the mutex busy and the next one that takes its events, host blocks longer
// than declared, and the chip render, resampler and filters behind them; at
// every resampler quality, a quality change and a note after a silence the
// chain settled in (the resampler catching up with the frames it skipped).
// Counted are operator new and, for the C libraries, malloc, calloc and
// realloc.
#include "support/AllocationCounter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "InstrumentTestSupport.h"
#include "instrument/ChipWrap.h"

SX_COUNTING_OPERATOR_NEW()
SX_COUNTING_MALLOC()

using testsupport::g_allocations;
using testsupport::g_counting;

namespace {

using namespace vantor::EnginePluginSDK;

using insttest::parameterEvent;

// At 48 kHz the resampler goes straight to the host rate; at 192 kHz the
// upsampling stage follows it.
TEST(ChipWrapAllocation, AudioBlocksAllocateNothing) {
    for (uint32_t rate : {48000u, 192000u}) {
        SCOPED_TRACE(rate);
        acme::ChipWrap w(nullptr, "MD");
        ProcessingInfo info = {};
        info.sampleRate = rate;
        info.sampleRateInt = rate;
        info.maxBlockFrames = 256;
        dispatchEntry(w.getRecord(), PLUGIN_OP_SET_PROCESSING_INFO, &info, nullptr);
        ASSERT_EQ(dispatchEntry(w.getRecord(), PLUGIN_OP_ACTIVATE, nullptr, nullptr), 1);
        w.unit(0)->write(0, 0x90, 2); // a PSG tone, loud
        w.unit(0)->write(0, 0x8F, 2);
        w.unit(0)->write(0, 0x03, 2);

        auto in = std::make_unique<EventList>();
        auto out = std::make_unique<EventList>();
        in->count = 2048;
        for (int i = 0; i < 2048; ++i)
            in->events[i] = parameterEvent(1024 + 16 * (i % 6) + 1, float(i & 1), (i * 7919) % 300);
        std::vector<float> l(8192), r(8192);
        float* outputs[2] = {l.data(), r.data()};
        PluginRecord* rec = w.getRecord();

        g_allocations = 0;
        g_counting = true;
        rec->process(rec, outputs, 256, in.get(), out.get(), nullptr);
        rec->process(rec, outputs, 0, in.get(), out.get(), nullptr);
        w.getMutex().lock();
        rec->process(rec, outputs, 256, in.get(), out.get(), nullptr);
        rec->process(rec, outputs, 256, in.get(), out.get(), nullptr);
        w.getMutex().unlock();
        rec->process(rec, outputs, 256, in.get(), out.get(), nullptr);
        rec->process(rec, outputs, 8192, nullptr, out.get(), nullptr);
        g_counting = false;
        EXPECT_EQ(g_allocations.load(), 0);
        EXPECT_EQ(w.carriedEventCount(), 0u);
    }
}

// A PSG tone on unit 0, a silence the chain settles in, and the tone again,
// after a block that sets the resampler quality; the blocks are counted,
// what happens between them (register writes, as a controller's) is not.
// Every quality at 48 kHz; at other rates (where speexdsp grows its memory
// at other qualities, and where conversion at the highest ones is slow) a
// few.
struct QualityCase {
    uint32_t rate;
    uint32_t block;
    std::vector<int> qualities;
};

TEST(ChipWrapAllocation, NoteAfterSettledSilenceAllocatesNothingAtAnyQuality) {
    // The C library's allocations are seen.
    static void* volatile sink = nullptr;
    g_allocations = 0;
    g_counting = true;
    sink = std::malloc(16);
    sink = std::realloc(sink, 4096);
    g_counting = false;
    std::free(sink);
    ASSERT_EQ(g_allocations.load(), 2) << "malloc and realloc are counted";

    const QualityCase cases[] = {{48000, 256, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
                                 {11025, 64, {1, 3, 7}},
                                 {192000, 512, {5, 9}}};
    for (const QualityCase& c : cases) {
        for (int quality : c.qualities) {
            SCOPED_TRACE(std::to_string(c.rate) + " Hz, quality " + std::to_string(quality));
            acme::ChipWrap w(nullptr, "MD");
            ProcessingInfo info = {};
            info.sampleRate = c.rate;
            info.sampleRateInt = c.rate;
            info.maxBlockFrames = c.block;
            dispatchEntry(w.getRecord(), PLUGIN_OP_SET_PROCESSING_INFO, &info, nullptr);
            ASSERT_EQ(dispatchEntry(w.getRecord(), PLUGIN_OP_ACTIVATE, nullptr, nullptr), 1);

            auto in = std::make_unique<EventList>();
            std::vector<float> l(c.block), r(c.block);
            float* outputs[2] = {l.data(), r.data()};
            PluginRecord* rec = w.getRecord();
            int allocations = 0;
            bool settled = false;
            float peak = 0.0f;
            auto play = [&](double seconds) {
                for (uint32_t done = 0; done < seconds * c.rate; done += c.block) {
                    g_allocations = 0;
                    g_counting = true;
                    rec->process(rec, outputs, int32_t(c.block), in.get(), nullptr, nullptr);
                    g_counting = false;
                    allocations += g_allocations.load();
                    in->count = 0;
                    settled = settled || w.isSettled();
                    for (float x : l) peak = std::max(peak, std::fabs(x));
                }
            };
            auto tone = [&](bool on) {
                w.unit(0)->write(0, 0x85, 2);
                w.unit(0)->write(0, 0x02, 2);
                w.unit(0)->write(0, on ? 0x90 : 0x9F, 2);
            };
            in->events[in->count++] = parameterEvent(261, float(quality));
            play(0.01);
            tone(true);
            play(0.05);
            tone(false);
            play(1.2);
            EXPECT_TRUE(settled) << "the chain settled in the silence";
            peak = 0.0f;
            tone(true);
            play(0.05);
            EXPECT_GT(peak, 1e-3f) << "the tone sounded after the silence";
            EXPECT_EQ(w.getQuality(), quality);
            EXPECT_EQ(allocations, 0);
        }
    }
}

} // namespace
