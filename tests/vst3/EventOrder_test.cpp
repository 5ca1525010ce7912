// The audio thread's event sort: the order std::stable_sort gives, and no
// allocation for lists of any length. Allocations are counted by replacing
// the global operator new for this test program.

#include "support/AllocationCounter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "vst3/EventOrder.h"

SX_COUNTING_OPERATOR_NEW()

using testsupport::t_allocations;
using testsupport::t_counting;
using vantor::HDMIDIEvent;

namespace {

TEST(EventOrder, SortsStablyByOffsetWithoutAllocating) {
    const struct {
        size_t events;
        int32_t frames; // offsets drawn from 0..frames-1
    } cases[] = {{0, 1}, {1, 1}, {31, 8}, {33, 4}, {129, 1}, {2100, 512}, {5000, 3}, {8192, 4096}};
    std::mt19937 rng(7);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.events);
        std::vector<HDMIDIEvent> events(c.events);
        std::uniform_int_distribution<int32_t> at(0, c.frames - 1);
        for (size_t i = 0; i < events.size(); ++i) {
            events[i].frameOffset = at(rng);
            events[i].id = static_cast<int32_t>(i); // the gathered order
        }
        std::vector<HDMIDIEvent> expected = events;
        std::stable_sort(expected.begin(), expected.end(),
                         [](const HDMIDIEvent& a, const HDMIDIEvent& b) {
                             return a.frameOffset < b.frameOffset;
                         });
        std::vector<HDMIDIEvent> scratch(c.events);

        t_allocations = 0;
        t_counting = true;
        eventorder::sortByOffset(events.data(), events.size(), scratch.data());
        t_counting = false;

        EXPECT_EQ(t_allocations, 0);
        for (size_t i = 0; i < events.size(); ++i) {
            ASSERT_EQ(events[i].frameOffset, expected[i].frameOffset) << i;
            ASSERT_EQ(events[i].id, expected[i].id) << i;
        }
    }
}

} // namespace
