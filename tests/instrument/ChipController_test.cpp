#include "instrument/ChipController.h"

#include <cstring>
#include <numeric>

#include <gtest/gtest.h>

#include "InstrumentTestSupport.h"
#include "instrument/OPN2_DAC_sub.h"
#include "vantor/support/PrivateHome.h"
#include "vgm/Reader.h"
#include "vgm/support/VgmFixtures.h"

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

// A unit known silent is passed over with its frames owed (with the
// shortcuts on), and pays them each time they reach the most it owes; a
// skipped unit is told to take back what it added past its block only once
// after it rendered.
TEST(ChipController, SilentUnitsOweAndSkippedUnitsTakeBackOnce) {
    struct CountingUnit : LevelUnit {
        void settleSilent() override {
            ++settles;
            owedFrames = 0;
        }
        bool retractCarry(int32_t**) override {
            ++retracts;
            return false;
        }
        int settles = 0;
        int retracts = 0;
    };
    const struct {
        const char* name;
        bool shortcuts, knownSilent;
        uint64_t blocks;    // of 1000 frames, the unit enabled
        uint64_t skipped;   // blocks after them, the unit skipped
        uint64_t renders, owed;
        int settles, retracts;
        uint64_t limit = ChipEmu::kMaxOwedFrames; // the unit's owedLimit
    } cases[] = {
        {"silent, shortcuts on", true, true, 3, 0, 0, 3000, 0, 0},
        {"silent past the most owed", true, true, 70, 0, 0, 70000 - 66000, 1, 0},
        {"silent, paying in small parts", true, true, 3, 0, 0, 0, 3, 0,
         ChipEmu::kCostlyOwedFrames},
        {"silent, shortcuts off", false, true, 3, 0, 3, 0, 0, 0},
        {"sounding, then skipped", true, false, 2, 3, 2, 0, 0, 1},
        {"skipped from the start", true, false, 0, 3, 0, 0, 0, 0},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        CountingUnit unit;
        unit.knownSilent = k.knownSilent;
        unit.owedLimit = k.limit;
        std::vector<ChipEmu*> units{&unit};
        TestController c(&units);
        c.spreadCarryRoom = true;
        c.shortcuts = k.shortcuts;
        c.unitEnabled[0] = 1;
        renderInBlocks(c, 1000 * k.blocks, 1000);
        c.unitEnabled[0] = 0;
        renderInBlocks(c, 1000 * k.skipped, 1000);
        EXPECT_EQ(unit.spans.size(), k.renders);
        EXPECT_EQ(unit.owedFrames, k.owed);
        EXPECT_EQ(unit.settles, k.settles);
        EXPECT_EQ(unit.retracts, k.retracts);
    }
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

// ---- media playback -------------------------------------------------------------

namespace {

using Bytes = std::vector<uint8_t>;

// A VGM file written command by command: PSG and YM2612 clocks, data at 0x40.
struct Vgm {
    Bytes b = Bytes(0x40, 0);
    uint64_t ticks = 0;
    Vgm() {
        std::memcpy(b.data(), "Vgm ", 4);
        put32(0x08, 0x150);
        put32(0x0C, 3579545);
        put32(0x2C, 7670453);
        put32(0x34, 0x0C);
    }
    void put32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
    }
    Vgm& op(std::initializer_list<uint8_t> bytes) {
        b.insert(b.end(), bytes);
        return *this;
    }
    Vgm& fm(uint8_t reg, uint8_t value) { return op({0x52, reg, value}); }
    Vgm& psg(uint8_t value) { return op({0x50, value}); }
    Vgm& wait(uint16_t n) {
        ticks += n;
        return op({0x61, uint8_t(n), uint8_t(n >> 8)});
    }
    Vgm& dacBlock(const Bytes& pcm) {
        op({0x67, 0x66, 0x00});
        const size_t at = b.size();
        b.resize(at + 4);
        put32(at, uint32_t(pcm.size()));
        b.insert(b.end(), pcm.begin(), pcm.end());
        return *this;
    }
    // The DAC byte at the PCM position, then a wait of n ticks.
    Vgm& dac(uint8_t n) {
        ticks += n;
        return op({uint8_t(0x80 | n)});
    }
    Vgm& loopHere() {
        put32(0x1C, uint32_t(b.size() - 0x1C));
        put32(0x20, 1);
        return *this;
    }
    Bytes bytes() {
        Bytes out = b;
        out.push_back(0x66);
        for (int i = 0; i < 4; ++i) out[0x04 + i] = uint8_t((out.size() - 4) >> (8 * i));
        for (int i = 0; i < 4; ++i) out[0x18 + i] = uint8_t(ticks >> (8 * i));
        return out;
    }
};

// FM channel 1 as a sine at F-number 1083, block 4 (440.1 Hz at the console
// clock): algorithm 7 with only operator 1 sounding.
void sinePatch(Vgm& v) {
    v.fm(0x22, 0).fm(0x27, 0).fm(0x28, 0).fm(0xB0, 7).fm(0xB4, 0xC0);
    for (uint8_t slot : {0, 4, 8, 12}) {
        v.fm(0x30 + slot, 0x01).fm(0x40 + slot, slot == 0 ? 0x00 : 0x7F).fm(0x50 + slot, 0x1F);
        v.fm(0x60 + slot, 0).fm(0x70 + slot, 0).fm(0x80 + slot, 0x0F);
    }
    v.fm(0xA4, 0x24).fm(0xA0, 0x3B);
}

// The song of these tests: half a second of an FM A4, half a second of a
// PSG tone of period 254 (440.4 Hz), then sixteen DAC bytes two ticks apart.
Bytes testSong(bool loop = false) {
    Vgm v;
    Bytes pcm;
    for (int i = 0; i < 16; ++i) pcm.push_back(uint8_t(0x40 + i * 8));
    v.dacBlock(pcm).op({0xE0, 0, 0, 0, 0});
    if (loop) v.loopHere();
    sinePatch(v);
    v.fm(0x28, 0xF0).wait(22050).fm(0x28, 0x00);
    v.psg(0x8E).psg(0x0F).psg(0x90).wait(22050).psg(0x9F);
    v.fm(0x2B, 0x80);
    for (int i = 0; i < 16; ++i) v.dac(2);
    v.fm(0x2B, 0x00).wait(100);
    return v.bytes();
}

struct Written {
    uint64_t at;
    uint32_t type;
    uint32_t reg, value;
};

// Plays media on unit 6 the way the console controller does: PSG writes on
// port 2, YM2612 writes on their port.
struct MediaController : ChipController {
    explicit MediaController(std::vector<ChipEmu*>* units) : ChipController(units, nullptr) {}
    void resetForVersion(uint32_t) override {}
    void mediaRegisterWrite(uint32_t type, uint64_t, uint32_t port, uint32_t reg,
                            uint32_t value) override {
        writes.push_back({now, type, reg, value});
        ChipEmu* unit = (*units)[kMediaUnit];
        if (type == 0) unit->write(uint16_t(reg), uint8_t(value), 2);
        if (type == 5) unit->write(uint16_t(reg), uint8_t(value), port & 1);
    }
    void mediaChipReset(uint32_t) override { ++resets; }
    void mediaTrackSelected(uint32_t index) override { selected.push_back(index); }
    size_t queuedStreamers() const {
        size_t n = 0;
        for (const Entry& e : queue) n += e.cookie == VGM::ChipStreamer::kCookie;
        return n;
    }
    std::vector<Written> writes;
    std::vector<uint32_t> selected;
    int resets = 0;
};

// A controller with a console unit 6, at the unit's frame rate.
struct Console {
    std::unique_ptr<MD_Emu> md = makeUnit();
    std::vector<ChipEmu*> units{nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, md.get()};
    MediaController c{&units};
    double rate = frameRate(*md);
    Console() { c.setClock(0, rate, 1000000.0); }
};

class ChipControllerMedia : public testhome::Scratch {
protected:
    std::string songFile(const Bytes& bytes, const char* name = "song.vgm") {
        const std::string p = path(name);
        testhome::writeFile(p, std::string(bytes.begin(), bytes.end()));
        return p;
    }
};

// The left channel from `from` to `to` seconds, summed per FM sample (21
// frames): the FM chips place their sample inside the frame group.
std::vector<double> section(const std::vector<int32_t>& x, double rate, double from, double to) {
    std::vector<double> out;
    for (size_t i = size_t(from * rate); i + 21 <= size_t(to * rate); i += 21) {
        double sum = 0.0;
        for (size_t k = 0; k < 21; ++k) sum += x[i + k];
        out.push_back(sum);
    }
    return out;
}

std::vector<double> withoutMean(std::vector<double> x) {
    double mean = 0.0;
    for (double v : x) mean += v;
    mean /= double(x.size());
    for (double& v : x) v -= mean;
    return x;
}

} // namespace

// Transport play starts the player: every write of the song reaches the
// media side within half a sample of its time, the media unit renders, and
// the notes have the pitches written into the song.
TEST_F(ChipControllerMedia, PlaysAVgmWithItsTimingAndPitches) {
    Console k;
    ASSERT_TRUE(k.c.openMedia(0, songFile(testSong())));
    // Nothing plays, and the media unit is silent, before transport play.
    const Stereo before = renderInBlocks(k.c, 100, 100);
    EXPECT_TRUE(k.c.writes.empty());
    EXPECT_EQ(before.left, std::vector<int32_t>(100, 0));
    const uint64_t start = k.c.now;
    k.c.setSyncValue(2, 0, 1.0);
    Stereo out = renderInBlocks(k.c, size_t(k.rate * 1.05), 1024);

    auto tickOf = [&](const Written& w) { return double(w.at - start) * 44100.0 / k.rate; };
    const double half = 0.5 * 44100.0 / k.rate; // half a sample in ticks
    std::vector<double> dacTicks, halfway;
    std::vector<uint32_t> dacBytes;
    for (const Written& w : k.c.writes) {
        const double t = tickOf(w);
        if (w.type == 5 && w.reg == 0x2A) {
            dacTicks.push_back(t);
            dacBytes.push_back(w.value);
        }
        const bool keyOff = w.type == 5 && w.reg == 0x28 && w.value == 0x00 && t > 0.0;
        const bool psgTone = w.type == 0 && w.value == 0x8E;
        if ((keyOff || psgTone) && t < 30000.0) halfway.push_back(t);
    }
    ASSERT_EQ(halfway.size(), 2u);
    for (double t : halfway) EXPECT_NEAR(t, 22050.0, half);
    ASSERT_EQ(dacTicks.size(), 16u);
    for (size_t i = 0; i < 16; ++i) {
        EXPECT_NEAR(dacTicks[i], 44100.0 + 2.0 * double(i), half) << i;
        EXPECT_EQ(dacBytes[i], 0x40 + i * 8) << i;
    }

    const double fm = pitchByZeroCrossings(section(out.left, k.rate, 0.1, 0.45), k.rate / 21);
    const double psg =
        pitchByZeroCrossings(withoutMean(section(out.left, k.rate, 0.6, 0.95)), k.rate / 21);
    EXPECT_NEAR(fm, 1083.0 * 16 * (7670453.0 / 144) / (1 << 21), 2.0);
    EXPECT_NEAR(psg, 3579545.0 / (32 * 254), 2.0);
}

// Any host block size gives the same output, over the end of a song too:
// the song that ends makes way for the next track (here itself) at the
// sample it ends on, not where the block that holds it ends.
TEST_F(ChipControllerMedia, BlockSizesGiveTheSameOutput) {
    for (bool loop : {true, false}) {
        SCOPED_TRACE(loop ? "looping song" : "song that ends");
        const std::string song = songFile(testSong(loop));
        auto play = [&](size_t block) {
            Console k;
            EXPECT_TRUE(k.c.openMedia(0, song));
            k.c.setSyncValue(2, 0, 1.0);
            std::vector<int32_t> left = renderInBlocks(k.c, size_t(k.rate * 1.6), block).left;
            EXPECT_EQ(k.c.selected.size(), loop ? 1u : 2u);
            return left;
        };
        const std::vector<int32_t> whole = play(2048);
        for (size_t block : {1u, 61u, 700u}) EXPECT_EQ(play(block), whole) << block;
    }
}

// Close, speed change, reselection, rewind and stop while the song plays:
// the streamers leave the queue before their track goes and are never
// queued twice; rendering goes on safely after each.
TEST_F(ChipControllerMedia, TransportWhilePlaying) {
    Console k;
    ASSERT_TRUE(k.c.openMedia(0, songFile(testSong(true))));
    EXPECT_DOUBLE_EQ(k.c.getSyncValue(18, 0), 1.0);
    const size_t streams = k.c.player->chipStreamers().size();
    ASSERT_EQ(streams, 2u); // PSG and YM2612
    k.c.setSyncValue(2, 0, 1.0);
    EXPECT_EQ(k.c.queuedStreamers(), streams);
    EXPECT_EQ(k.c.unitEnabled[ChipController::kMediaUnit], 1);
    renderInBlocks(k.c, 5000, 512);

    struct Step {
        const char* what;
        uint32_t id;
        double value;
        size_t queued;
    };
    const Step steps[] = {
        {"speed", 5, 1.5, streams},
        {"same speed", 5, 1.5, streams},
        {"play again", 2, 1.0, streams},
        {"select", 4, 0.0, streams},
        {"next", 8, 1.0, streams},
        {"previous", 7, 1.0, streams},
        {"same track", 9, 1.0, streams},
        {"rewind", 6, 0.0, streams},
        {"stop", 3, 1.0, 0},
        {"speed stopped", 5, 2.0, 0},
        {"play", 2, 1.0, streams},
        {"close", 16, 1.0, 0},
        {"play closed", 2, 1.0, 0},
        {"speed closed", 5, 1.0, 0},
        {"select closed", 4, 0.0, 0},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        k.c.setSyncValue(s.id, 0, s.value);
        EXPECT_EQ(k.c.queuedStreamers(), s.queued);
        renderInBlocks(k.c, 3000, 512);
    }
    EXPECT_DOUBLE_EQ(k.c.getSyncValue(5, 0), 1.0); // close restores normal speed
}

// Speed 2 plays the song's writes in half the time.
TEST_F(ChipControllerMedia, SpeedScalesTheTiming) {
    Console k;
    ASSERT_TRUE(k.c.openMedia(0, songFile(testSong())));
    k.c.setSyncValue(5, 0, 2.0);
    k.c.setSyncValue(2, 0, 1.0);
    renderInBlocks(k.c, size_t(k.rate * 0.6), 1024);
    EXPECT_DOUBLE_EQ(k.c.getSyncValue(5, 0), 2.0);
    size_t dacWrites = 0;
    for (const Written& w : k.c.writes) dacWrites += w.reg == 0x2A;
    EXPECT_EQ(dacWrites, 16u);
}

// A song that loops moves on after its second loop while loop stop is on,
// and loops for ever when it is off; a song without a loop moves on at its end.
TEST_F(ChipControllerMedia, LoopStopMovesOnAfterTheSecondLoop) {
    const std::string looping = songFile(testSong(true), "loop.vgm");
    const std::string once = songFile(testSong(false), "once.vgm");
    struct Case {
        const std::string* song;
        double loopForever;
        size_t selections;
    };
    const Case cases[] = {{&looping, 0.0, 2}, {&looping, 1.0, 1}, {&once, 0.0, 4}};
    for (const Case& c : cases) {
        Console k;
        ASSERT_TRUE(k.c.openMedia(0, *c.song));
        k.c.setSyncValue(19, 0, c.loopForever);
        k.c.setSyncValue(2, 0, 1.0);
        renderInBlocks(k.c, size_t(k.rate * 3.5), 2048);
        EXPECT_EQ(k.c.selected.size(), c.selections) << *c.song << " " << c.loopForever;
    }
}

// A file that cannot be played leaves no player; the controller renders on.
TEST_F(ChipControllerMedia, BrokenFileLeavesNoPlayer) {
    Console k;
    ASSERT_TRUE(k.c.openMedia(0, songFile(testSong())));
    const std::string broken = songFile(Bytes(50, 0x33), "broken.vgm");
    EXPECT_FALSE(k.c.openMedia(0, broken));
    EXPECT_FALSE(k.c.openMedia(0, path("missing.vgm")));
    EXPECT_EQ(k.c.player, nullptr);
    k.c.setSyncValue(2, 0, 1.0);
    EXPECT_EQ(k.c.queuedStreamers(), 0u);
    renderInBlocks(k.c, 1000, 256);
    EXPECT_DOUBLE_EQ(k.c.getSyncValue(18, 0), 0.0);
}

// Opening a solid 7z at its second song and selecting that song, as a host
// that names the member with the load does, unpacks each member once: one
// song parsed, no more bytes decompressed than the archive holds, and the
// text member after the songs reached on the same walk.
TEST_F(ChipControllerMedia, AnArchiveMemberIsUnpackedOncePerOpen) {
    const std::vector<std::pair<std::string, Bytes>> members = {
        {"a.vgm", testSong()}, {"b.vgm", testSong(true)}, {"c.vgm", testSong()},
        {"notes.txt", Bytes(4096, 'n')}};
    uint64_t held = 0;
    for (const auto& m : members) held += m.second.size();
    const std::string archive = songFile(vgmtest::sevenZipBytes(members), "songs.7z");
    Console k;
    ASSERT_TRUE(k.c.openMedia(0, archive, 1));
    k.c.setSyncValue(ChipController::kSelectTrack, 0, 1.0);
    k.c.setSyncValue(ChipController::kPlay, 0, 1.0);
    EXPECT_EQ(k.c.player->currentTrack(), 1u);
    EXPECT_TRUE(k.c.player->selectionSucceeded());
    VGM::VGMX* collection = k.c.player->mediaCollection();
    ASSERT_NE(collection, nullptr);
    EXPECT_EQ(collection->membersParsed(), 1u);
    EXPECT_EQ(collection->textBuffer().size(), 4097u);
    ASSERT_NE(collection->container(), nullptr);
    EXPECT_LE(collection->container()->work().bytesUnpacked, held);
    // A track asked for past the end opens the first.
    Console other;
    ASSERT_TRUE(other.c.openMedia(0, archive, 7));
    EXPECT_EQ(other.c.player->currentTrack(), 0u);
}
