// MIDI through the synth controller allocates nothing, in every voice mode:
// notes, pedals, controllers with registered parameters, bends, pressure,
// programs, MPE member messages, note ids and expression, the layer timer
// and the instrument's layer-slot pitch queries. Set-up may allocate; it
// happens before counting starts.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "synth/support/ControllerRig.h"

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

TEST(SynthControllerAudioPath, NoAllocationPerMessage) {
    for (uint32_t mode = 1; mode <= 5; ++mode) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        rig::Rig r(mode);
        r.layerLog.enabled = false;
        r.ctl.logging = false;
        r.ctl.useControllerModulator(0, 7);
        for (VSX::LayerRecord& l : r.layers) {
            l.active = 1;
            l.glideAmount = 50.0f;
        }
        r.layers[2].delayStart = 3.0f;
        r.layers[3].slotCount = 1;
        r.ctl.initController(r.ctl.parameters, &r.layerLog, nullptr, 0);
        r.ctl.setVoiceMode(mode);

        g_allocations = 0;
        g_counting = true;
        for (int round = 0; round < 8; ++round) {
            const uint8_t key = static_cast<uint8_t>(48 + round);
            for (uint8_t ch = 0; ch < 16; ch += 5) {
                r.midi(0xE0 | ch, 0, static_cast<uint8_t>(0x30 + round));
                r.midi(0xD0 | ch, 40);
                r.midi(0xB0 | ch, 74, 90);
                r.midi(0x90 | ch, key, 100);
                r.midi(0x90 | ch, key + 4, 90);
                r.midi(0xA0 | ch, key, 60);
                r.midi(0xB0 | ch, 64, 127);
                r.midi(0xB0 | ch, 7, 100);
                r.midi(0xC0 | ch, 3);
                r.midi(0x80 | ch, key, 0);
                r.midi(0xB0 | ch, 64, 0);
                r.midi(0x80 | ch, key + 4, 0);
            }
            r.rpn(0, 6, static_cast<uint8_t>(round * 2));
            r.rpn(15, 0, 3);
            r.ctl.noteOnWithId(round, 500 + round, key, 99.5f, 12.0f);
            r.ctl.setVoiceExpression(round, 500 + round, round % 8, 0.25f);
            float hz = 0.0f;
            for (uint64_t layer = 0; layer < 10; ++layer)
                for (uint64_t slot = 0; slot < 6; ++slot) {
                    r.ctl.updateLayerVoicePitch(slot, layer, hz);
                    r.ctl.applyVoiceAmplitude(slot, layer, hz);
                }
            for (uint64_t left = 4000; left > 0;) left -= r.queue.advance(left);
            r.ctl.noteOffPart(round, 500 + round, key);
            r.midi(0xB0, 123, 0);
        }
        g_counting = false;
        EXPECT_EQ(g_allocations.load(), 0);
    }
}

} // namespace
