// An audio block allocates nothing once the object is activated: events out
// of order and past the block's end, a full event list, a block that finds
// the mutex busy and the next one that takes its events, host blocks longer
// than declared, and the chip render, resampler and filters behind them.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "instrument/ChipWrap.h"

namespace {
std::atomic<bool> g_counting{false};
std::atomic<int> g_allocations{0};
} // namespace

// Counting replacements of the global allocation functions. The compiler
// cannot tell that they pair with each other.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
    if (g_counting) ++g_allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

using namespace vantor::EnginePluginSDK;

vantor::HDMIDIEvent parameter(int32_t id, float value, int32_t frame) {
    vantor::HDMIDIEvent e{};
    e.kind = 176;
    e.id = id;
    e.value = value;
    e.tuning = std::numeric_limits<float>::infinity();
    e.frameOffset = frame;
    return e;
}

TEST(ChipWrapAllocation, AudioBlocksAllocateNothing) {
    acme::ChipWrap w(nullptr, "MD");
    ProcessingInfo info = {};
    info.sampleRate = 48000.0;
    info.sampleRateInt = 48000;
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
        in->events[i] = parameter(1024 + 16 * (i % 6) + 1, float(i & 1), (i * 7919) % 300);
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

} // namespace
