// An audio block allocates nothing once the object is activated: events out
// of order and past the block's end, a full event list, a block that finds
// the mutex busy and the next one that takes its events, host blocks longer
// than declared, and the chip render, resampler and filters behind them.
#include "support/AllocationCounter.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <vector>

#include "InstrumentTestSupport.h"
#include "instrument/ChipWrap.h"

SX_COUNTING_OPERATOR_NEW()

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

} // namespace
