// The media player's work on the audio path allocates nothing: streamers
// firing register writes and PCM samples through loops, leaving and joining
// the queue, speed changes, rewinds, and the reselection of the playing
// track that the controller makes when a song ends. Loading the file and the
// first selection may allocate; they happen first.
#include "support/AllocationCounter.h"

#include <gtest/gtest.h>

#include "vgm/Reader.h"
#include "vgm/support/VgmFixtures.h"

SX_COUNTING_OPERATOR_NEW()

using testsupport::g_allocations;
using testsupport::g_counting;

namespace {

// Takes every call and keeps a count, as a chip controller would.
class Sink : public MediaCallback {
public:
    void mediaRegisterWrite(uint32_t, uint64_t, uint32_t, uint32_t, uint32_t) override { ++calls; }
    void mediaDacWrite(uint32_t, uint8_t, int16_t, int16_t) override { ++calls; }
    void mediaLoopReached(uint32_t) override { ++calls; }
    uint64_t calls = 0;
};

void run(vantor::QuantumManager& q, uint64_t samples) {
    while (samples > 0) samples -= q.advance(samples);
}

} // namespace

TEST(ReaderAllocation, PlayingAllocatesNothing) {
    vgmtest::VgmFile f;
    f.set32(0x0C, 3579545).set32(0x2C, 7670453);
    vgmtest::Bytes pcm(3000);
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = uint8_t(i * 13);
    f.block(0x00, pcm);
    f.op({0x90, 0x00, 0x02, 0x00, 0x2A, 0x91, 0x00, 0x00, 0x01, 0x00});
    f.op({0x92, 0x00}).u32(16000);
    f.loopHere();
    for (int frame = 0; frame < 30; ++frame) {
        f.op({0x52, 0x28, uint8_t(frame & 1 ? 0xF0 : 0x00), 0x50, uint8_t(0x80 | frame)});
        if (frame % 10 == 0) f.op({0x93, 0x00, 0, 0, 0, 0, 0x01, 0xE8, 0x03, 0, 0});
        f.waitFrame();
    }
    f.end();
    const vgmtest::Bytes bytes = f.bytes();
    VGM::VGMX song;
    ASSERT_TRUE(song.parseVgmBuffer(bytes.data(), bytes.size())) << song.logText();

    vantor::QuantumManager q(32);
    q.rate = 48000;
    Sink sink;
    VGM::Reader reader(&sink);
    reader.openCollection(song);
    ASSERT_TRUE(reader.selectTrack(0));
    reader.play();

    g_allocations = 0;
    g_counting = true;
    reader.attachStreamers(q);
    run(q, 48000 * 2); // more than three passes of the loop
    reader.detachStreamers(q);
    reader.setSpeed(1.5);
    reader.attachStreamers(q);
    run(q, 20000);
    reader.detachStreamers(q);
    reader.seek(0.0);
    const bool reselected = reader.selectTrack(0);
    reader.attachStreamers(q);
    run(q, 20000);
    g_counting = false;

    EXPECT_TRUE(reselected);
    EXPECT_EQ(g_allocations.load(), 0);
    EXPECT_GT(sink.calls, 2000u);
}
