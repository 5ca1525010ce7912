#include "instrument/ChipController.h"

#include <numeric>

#include <gtest/gtest.h>

#include "InstrumentTestSupport.h"
#include "instrument/OPN2_DAC_sub.h"

using namespace insttest;

namespace {

// A unit that adds its current level to every frame and records the length
// of every span it is asked to render.
struct LevelUnit : ChipEmu {
    bool init(uint32_t, const char*, uint32_t) override { return true; }
    void reset() override {}
    ChipInfo* getInfo() override { return &info; }
    void write(uint16_t, uint8_t data, uint64_t) override { level = data; }
    void setParameter(uint32_t, float) override {}
    int render32(int32_t** outputs, uint64_t frames) override {
        spans.push_back(frames);
        for (uint64_t i = 0; i < frames; ++i) outputs[0][i] += level, outputs[1][i] += 1;
        return 0;
    }
    void render16(int16_t*, uint64_t, uint64_t) override {}
    ChipInfo info;
    int32_t level = 0;
    std::vector<uint64_t> spans;
};

// Steps a unit's level up by one every `period` samples.
struct StepTimer : vantor::QuantumTimer {
    StepTimer(LevelUnit* unit, uint64_t period) : unit(unit), period(period) {}
    uint64_t onQuantum(double) override {
        ++calls;
        if (unit) unit->level++;
        return period;
    }
    LevelUnit* unit;
    uint64_t period;
    uint64_t calls = 0;
};

struct TestController : ChipController, ChipSubWriter {
    explicit TestController(std::vector<ChipEmu*>* units) : ChipController(units, nullptr) {}
    void resetForVersion(uint32_t) override {}
    void mediaChipReset(uint32_t type) override {
        events.push_back("reset " + std::to_string(type));
    }
    void mediaActiveOn() override { events.push_back("active on"); }
    void mediaActiveOff() override { events.push_back("active off"); }
    void writeRegister(uint64_t unit, uint8_t reg, uint8_t value, uint64_t port) override {
        (*units)[unit]->write(reg, value, port);
    }
    std::vector<std::string> events;
};

struct Stereo {
    std::vector<int32_t> left, right;
    explicit Stereo(size_t n) : left(n), right(n) {}
};

// Renders `total` frames in blocks of `block` frames.
Stereo renderInBlocks(ChipController& c, size_t total, size_t block) {
    Stereo out(total);
    for (size_t at = 0; at < total; at += block) {
        int32_t* outputs[2] = {out.left.data() + at, out.right.data() + at};
        c.render(outputs, 2, std::min(block, total - at));
    }
    return out;
}

} // namespace

// Each span ends exactly at a timer's due time, so the timer's change takes
// effect at its sample whatever the block boundaries.
TEST(ChipController, RenderCutsAtTimerDueTimes) {
    LevelUnit unit;
    std::vector<ChipEmu*> units{&unit};
    TestController c(&units);
    c.unitEnabled[0] = 1;
    StepTimer timer(&unit, 5);
    c.schedule(&timer, 7); // level 1 from sample 0, then +1 every 5 samples

    Stereo out = renderInBlocks(c, 23, 23);
    EXPECT_EQ(unit.spans, (std::vector<uint64_t>{5, 5, 5, 5, 3}));
    for (size_t i = 0; i < 23; ++i) EXPECT_EQ(out.left[i], int32_t(1 + i / 5)) << i;

    unit.spans.clear();
    renderInBlocks(c, 10, 10);
    EXPECT_EQ(unit.spans, (std::vector<uint64_t>{2, 5, 3}));
}

// The same events in any block size give the same output: a DAC note on a
// console unit, its samples written by the timer queue.
TEST(ChipController, SplitInvariance) {
    std::vector<uint8_t> set(OPN2_DAC_sub::kHeaderSize, 0);
    const uint32_t count = 64;
    set[32] = count;
    set[36] = 0x40, set[37] = 0x1F; // 8000 Hz
    set[576] = 5;
    for (uint32_t i = 0; i < count; ++i) {
        const int16_t s = int16_t((i % 16) * 4000 - 30000);
        set.push_back(uint8_t(s & 0xFF));
        set.push_back(uint8_t(uint16_t(s) >> 8));
    }

    auto play = [&](size_t block) {
        auto md = makeUnit();
        md->setParameter(15, 9.0f); // no PSG
        std::vector<ChipEmu*> units{md.get()};
        TestController c(&units);
        c.unitEnabled[0] = 1;
        c.setClock(0, frameRate(*md), 1000000.0);
        OPN2_shadow mirror;
        OPN2_DAC_sub dac(&c, 0, &mirror);
        dac.setTimerQueue(&c);
        dac.attachSampleSet(set.data(), set.size());
        dac.setFrequency(float(dac.sampleRate()));
        const int32_t loop = 2;
        dac.setParameter(4, &loop, nullptr);
        c.writeRegister(0, 0x2B, 0x80, 0); // DAC on
        c.writeRegister(0, 0xB6, 0xC0, 1); // channel 6 to both sides
        Stereo out = renderInBlocks(c, 2000, block);
        dac.noteOn(uint8_t(36), 1.0f);
        Stereo rest = renderInBlocks(c, 6000, block);
        out.left.insert(out.left.end(), rest.left.begin(), rest.left.end());
        return out.left;
    };
    const std::vector<int32_t> whole = play(8000);
    int32_t peak = 0;
    for (int32_t v : whole) peak = std::max(peak, std::abs(v));
    EXPECT_GT(peak, 1000);
    for (size_t block : {1u, 7u, 100u, 2000u}) EXPECT_EQ(play(block), whole) << block;
}

// A timer that asks to run again at once, every time, cannot hold the loop:
// after a bounded number of runs at one sample, time moves on.
TEST(ChipController, TimerAskingForNoDelayCannotSpin) {
    LevelUnit unit;
    std::vector<ChipEmu*> units{&unit};
    TestController c(&units);
    c.unitEnabled[0] = 1;
    StepTimer eager(nullptr, 0);
    StepTimer regular(&unit, 4);
    c.schedule(&eager, 1);
    c.schedule(&regular, 2);
    renderInBlocks(c, 16, 16);
    EXPECT_EQ(std::accumulate(unit.spans.begin(), unit.spans.end(), uint64_t(0)), 16u);
    EXPECT_LE(eager.calls, 17 * uint64_t(ChipController::kMaxDueRunsPerSample));
    EXPECT_EQ(regular.calls, 4u); // at 0, 4, 8, 12: still on time
}

TEST(ChipController, RenderEdges) {
    LevelUnit a, b;
    std::vector<ChipEmu*> units{&a, &b};
    TestController c(&units);
    c.unitEnabled[1] = 1; // only the second unit
    Stereo out(4);
    int32_t* outputs[2] = {out.left.data(), out.right.data()};
    c.render(outputs, 2, 0);
    EXPECT_TRUE(b.spans.empty());
    c.render(outputs, 2, 1);
    EXPECT_EQ(b.spans, std::vector<uint64_t>{1});
    EXPECT_TRUE(a.spans.empty());
    // The caller's pointers stay where they were.
    EXPECT_EQ(outputs[0], out.left.data());
    EXPECT_EQ(outputs[1], out.right.data());
    // With no channel count the units render over the same place each span.
    StepTimer timer(nullptr, 1);
    c.schedule(&timer, 0);
    c.render(outputs, 0, 3);
    EXPECT_EQ(out.right, (std::vector<int32_t>{4, 0, 0, 0}));
}

TEST(ChipController, SyncValuesAndHostTime) {
    std::vector<ChipEmu*> units;
    TestController c(&units);
    EXPECT_DOUBLE_EQ(c.getFreeTempo(), 125.0);
    EXPECT_DOUBLE_EQ(c.getHostTempo(), 120.0);
    struct Step {
        uint32_t id;
        double value;
    };
    const Step steps[] = {{0, 98.5}, {0, 0.0},   {0, -3.0}, {1, 17.25}, {15, 16.0},
                          {12, 0.0}, {12, 96.7}, {10, 3.9}, {5, 1.5},   {19, 1.0}};
    for (const Step& s : steps) c.setSyncValue(s.id, 0, s.value);
    EXPECT_DOUBLE_EQ(c.getHostTempo(), 98.5); // 0 and negatives leave the tempo
    EXPECT_DOUBLE_EQ(c.getSyncValue(0, 0), 98.5);
    EXPECT_DOUBLE_EQ(c.getHostPosition(), 17.25);
    EXPECT_DOUBLE_EQ(c.getHostBarStart(), 16.0);
    EXPECT_EQ(c.sync.beatTicks, 96u);
    EXPECT_EQ(c.displayPage, 3u);
    EXPECT_DOUBLE_EQ(c.speed, 1.5);
    EXPECT_DOUBLE_EQ(c.getSyncValue(5, 0), 1.0); // no player: normal speed
    EXPECT_DOUBLE_EQ(c.getSyncValue(19, 0), 1.0);
    EXPECT_FALSE(c.loopStopEnabled);
    EXPECT_DOUBLE_EQ(c.getSyncValue(18, 0), 0.0);

    // Values that are not numbers change nothing that becomes an integer.
    c.setSyncValue(10, 0, std::nan(""));
    c.setSyncValue(12, 0, 1e300);
    EXPECT_EQ(c.displayPage, 0u);
    EXPECT_EQ(c.sync.beatTicks, UINT32_MAX);

    // Stop silences the media unit even without a player; transport ids that
    // need a player do nothing.
    for (uint32_t id : {2u, 4u, 6u, 7u, 8u, 9u, 13u, 16u}) c.setSyncValue(id, 0, 1.0);
    EXPECT_TRUE(c.events.empty());
    c.setSyncValue(3, 0, 0.0);
    EXPECT_EQ(c.events, (std::vector<std::string>{"reset 101", "active off"}));
}

TEST(ChipController, SecondLoopFinishesTheSongUnlessLoopingForever) {
    std::vector<ChipEmu*> units;
    TestController c(&units);
    c.mediaLoopReached(5);
    EXPECT_FALSE(c.songFinished);
    c.mediaLoopReached(0); // another chip's first loop
    EXPECT_FALSE(c.songFinished);
    c.mediaLoopReached(5);
    EXPECT_TRUE(c.songFinished);
    c.advance(10); // moves on to the next track and clears the flag
    EXPECT_FALSE(c.songFinished);

    c.restartTransport();
    EXPECT_EQ(c.events, std::vector<std::string>{"active on"});
    c.setSyncValue(19, 0, 1.0);
    for (int i = 0; i < 5; ++i) c.mediaLoopReached(5);
    c.mediaEndReached(5, 0);
    EXPECT_FALSE(c.songFinished);
    c.setSyncValue(19, 0, 0.0);
    c.mediaEndReached(5, 0);
    EXPECT_TRUE(c.songFinished);
}

TEST(ChipController, DestructionRefreshesTheRegisterMonitor) {
    struct Monitor : ChipController::RegisterMonitor {
        void clear() override {}
        void refresh(int32_t how) override { refreshed.push_back(how); }
        void registerValue(uint32_t, uint32_t, uint32_t) override {}
        std::vector<int32_t> refreshed;
    } monitor;
    {
        std::vector<ChipEmu*> units;
        TestController c(&units);
        c.registerMonitor = &monitor;
    }
    EXPECT_EQ(monitor.refreshed, std::vector<int32_t>{0});
}
