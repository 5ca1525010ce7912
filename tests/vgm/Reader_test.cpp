// The media player on a sample-time queue: when each command reaches the
// listeners, loops and ends, speed and rewind, the PCM stream sub-commands,
// tracks that cannot play, and the streamers leaving the queue before what
// they read goes away.
#include "vgm/Reader.h"

#include "vantor/support/PrivateHome.h"
#include "vgm/DACStreamer.h"
#include "vgm/support/VgmFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

using VGM::MediaChipRecord;
using VGM::MediaCommand;
using VGM::Reader;
using vgmtest::Bytes;
using vgmtest::VgmFile;

namespace {

constexpr uint32_t kPsg = VGM::kChipSN76489;
constexpr uint32_t kFm = VGM::kChipYM2612;
constexpr uint32_t kStream0 = VGM::kChipDacStream0;

struct Event {
    uint64_t at;
    std::string what;
};

// Every call with the queue's sample time.
class Recorder : public MediaCallback {
public:
    explicit Recorder(const vantor::QuantumManager& q) : q(q) {}
    void mediaRegisterWrite(uint32_t type, uint64_t, uint32_t port, uint32_t reg,
                            uint32_t value) override {
        add("W%u %X:%02X=%02X", type, port, reg, value);
    }
    void mediaDacWrite(uint32_t type, uint8_t channel, int16_t left, int16_t right) override {
        add("D%u c%u %d %d", type, channel, left, right);
    }
    void mediaChipReset(uint32_t type) override { add("R%u", type); }
    void mediaLoopReached(uint32_t type) override { add("L%u", type); }
    void mediaEndReached(uint32_t type, uint32_t) override { add("E%u", type); }
    void mediaSetTime(double seconds) override { add("S%.3f", seconds); }
    void mediaElapsed(uint64_t ticks) override { add("T%llu", (unsigned long long)ticks); }
    void mediaChipSetup(uint32_t type, uint32_t, int64_t rate) override {
        add("C%u %lld", type, (long long)rate);
    }
    void mediaTrackSelected(uint32_t index) override { add("K%u", index); }
    void mediaDataBlock(const std::vector<VGM::DataBlock>* blocks) override {
        add("B%zu", blocks->size());
    }

    // Times of the events that start with `prefix`.
    std::vector<uint64_t> timesOf(const std::string& prefix) const {
        std::vector<uint64_t> t;
        for (const Event& e : events)
            if (e.what.rfind(prefix, 0) == 0) t.push_back(e.at);
        return t;
    }
    std::vector<std::string> names(const std::string& prefix = "") const {
        std::vector<std::string> n;
        for (const Event& e : events)
            if (e.what.rfind(prefix, 0) == 0) n.push_back(e.what);
        return n;
    }

    std::vector<Event> events;

private:
    template <typename... A> void add(const char* format, A... args) {
        char text[64];
        std::snprintf(text, sizeof text, format, args...);
        events.push_back({q.now, text});
    }
    const vantor::QuantumManager& q;
};

// Moves the queue on by `samples`, running every timer that falls due.
void run(vantor::QuantumManager& q, uint64_t samples) {
    uint64_t left = samples;
    for (uint64_t guard = 0; left > 0; ++guard) {
        ASSERT_LT(guard, 10 * samples + 1000) << "timers never let time move";
        left -= q.advance(left);
    }
}

MediaCommand cmd(uint32_t delta, uint8_t reg, uint8_t value = 0, uint8_t port = 0) {
    return {delta, VGM::kCommandWrite, reg, value, port};
}

MediaChipRecord record(uint32_t type, std::vector<MediaCommand> commands, int32_t rate = 44100) {
    MediaChipRecord r;
    r.type = type;
    r.commandRate = rate;
    for (const MediaCommand& c : commands) r.totalLength += c.delta;
    r.commands = std::move(commands);
    return r;
}

// A collection holding one track of these chips.
VGM::VGMX collection(const std::vector<MediaChipRecord>& chips, VGM::MediaLoop loop = {},
                     std::vector<VGM::DataBlock> blocks = {}) {
    VGM::VGMX v;
    for (const MediaChipRecord& r : chips) v.addChipRecord(r, false);
    v.track().loop = loop;
    v.track().dataBlocks = std::move(blocks);
    v.playable();
    return v;
}

// A reader playing `v` on its own queue at `rate`, listened to by a recorder.
struct Player {
    vantor::QuantumManager q{32};
    Recorder rec{q};
    Reader reader{&rec};
    explicit Player(const VGM::VGMX& v, double rate = 44100.0) {
        q.rate = rate;
        reader.openCollection(v);
        EXPECT_TRUE(reader.selectTrack(0));
        reader.play();
        rec.events.clear();
        reader.attachStreamers(q);
    }
    size_t queued() const {
        size_t n = 0;
        for (const auto& e : q.queue) n += e.cookie == VGM::ChipStreamer::kCookie;
        return n;
    }
};

VGM::DataBlock pcmBlock(uint32_t type, std::vector<int16_t> samples, uint16_t gain = 1) {
    VGM::DataBlock b;
    b.type = type;
    b.samples.assign(samples.begin(), samples.end());
    b.sampleCount = uint32_t(b.samples.size());
    b.defaultGain = gain;
    return b;
}

} // namespace

// Ticks become output samples with the fraction carried: every command lands
// within half a sample of its exact time, at any output rate and speed, and
// the wait before a stream's first command counts too.
TEST(Reader, CommandsLandWithinHalfASampleOfTheirTime) {
    struct Case {
        double rate;
        double speed;
        int32_t commandRate;
    };
    const Case cases[] = {{48000, 1.0, 44100}, {44100, 1.0, 44100}, {96000, 1.0, 44100},
                          {22050, 1.0, 44100}, {48000, 2.0, 44100}, {53267, 0.75, 60}};
    const uint32_t deltas[] = {3, 735, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 882, 7, 44100, 2};
    std::vector<MediaCommand> list;
    for (uint32_t d : deltas) list.push_back(cmd(d, 0x10, 1));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        Player p(collection({record(kPsg, list, c.commandRate)}), c.rate);
        p.reader.detachStreamers(p.q);
        p.reader.setSpeed(c.speed);
        p.reader.seek(0.0);
        p.reader.attachStreamers(p.q);
        run(p.q, uint64_t(c.rate * 3 / c.speed * 44100 / c.commandRate));
        const std::vector<uint64_t> at = p.rec.timesOf("W");
        ASSERT_GE(at.size(), std::size(deltas));
        double ticks = 0.0;
        for (size_t i = 0; i < std::size(deltas); ++i) {
            ticks += deltas[i];
            const double exact = ticks * c.rate / (c.commandRate * c.speed);
            EXPECT_LE(std::fabs(double(at[i]) - exact), 0.5 + 1e-9) << i;
        }
    }
}

// A player that writes once a frame has a regular period: the elapsed time
// follows each of those commands and not the short ones.
TEST(Reader, RegularPeriodReportsElapsedTime) {
    std::vector<MediaCommand> list(9, cmd(735, 1));
    list.push_back(cmd(10, 2));
    Player p(collection({record(kPsg, list)}));
    EXPECT_EQ(p.reader.chipStreamers()[0]->regularPeriod(), 735u);
    run(p.q, 6625);
    EXPECT_EQ(p.rec.names("T").size(), 9u);
    EXPECT_EQ(p.rec.names("T").back(), "T6615");

    // Deltas spread evenly have no period.
    Player uneven(collection({record(kPsg, {cmd(100, 1), cmd(300, 1), cmd(700, 1)})}));
    EXPECT_EQ(uneven.reader.chipStreamers()[0]->regularPeriod(), VGM::ChipStreamer::kNoPeriod);
}

// Without a loop a stream reports its end, resets its chip and starts over
// half a second later; with one it reports the loop and goes on after the
// loop command.
TEST(Reader, EndAndLoop) {
    const std::vector<MediaCommand> list = {{0, VGM::kCommandStart, 0, 0, 0},
                                            cmd(100, 1),
                                            {100, VGM::kCommandLoop, 0, 0, 0},
                                            cmd(100, 2),
                                            {100, VGM::kCommandEnd, 0, 0, 0}};
    MediaChipRecord looping = record(kPsg, list);
    looping.loopIndex = 2;

    Player once(collection({record(kPsg, list)}));
    run(once.q, 400 + 22050 + 101);
    EXPECT_EQ(once.rec.names(),
              (std::vector<std::string>{"W0 0:01=00", "T100", "T200", "W0 0:02=00", "T300", "T400",
                                        "E0", "R0", "S0.000", "W0 0:01=00", "T500"}));
    EXPECT_EQ(once.rec.timesOf("R"), std::vector<uint64_t>{400});
    EXPECT_EQ(once.rec.timesOf("W").back(), 400u + 22050 + 100);

    Player loops(collection({looping}, {200, 2}));
    run(loops.q, 1000);
    EXPECT_EQ(loops.rec.timesOf("W0 0:02"), (std::vector<uint64_t>{300, 500, 700, 900}));
    EXPECT_EQ(loops.rec.names("L").size(), 3u);
    EXPECT_EQ(loops.rec.names("S")[0], "S0.005"); // loop start 200 ticks
    EXPECT_TRUE(loops.rec.names("E").empty());
}

// A PCM stream and an FM note that start together at the loop point start
// together on every pass, also for a stream first heard after the loop point.
TEST(Reader, PcmStreamsStayInStepAcrossLoops) {
    VgmFile f;
    f.set32(0x2C, 7670453);
    f.block(0x00, Bytes(400, 0x90));
    f.op({0x90, 0x00, 0x02, 0x00, 0x2A, 0x91, 0x00, 0x00, 0x01, 0x00});
    f.op({0x92, 0x00}).u32(8000);
    f.wait(1000).loopHere().wait(500);
    f.op({0x52, 0x28, 0xF0});                           // FM key on
    f.op({0x93, 0x00, 0, 0, 0, 0, 0x01, 100, 0, 0, 0}); // 100 samples from 0
    f.wait(3000).op({0x52, 0x28, 0x00}).wait(2000).end();
    VGM::VGMX v;
    ASSERT_TRUE(v.parseVgmBuffer(f.bytes().data(), f.bytes().size())) << v.logText();

    for (double rate : {44100.0, 48000.0}) {
        SCOPED_TRACE(rate);
        Player p(v, rate);
        run(p.q, uint64_t(rate * 0.6));
        const std::vector<uint64_t> notes = p.rec.timesOf("W5 0:28=F0");
        std::vector<uint64_t> firstSamples;
        uint64_t previous = 0;
        for (uint64_t t : p.rec.timesOf("D")) {
            if (firstSamples.empty() || t > previous + 100) firstSamples.push_back(t);
            previous = t;
        }
        ASSERT_GE(notes.size(), 3u);
        ASSERT_EQ(firstSamples.size(), notes.size());
        for (size_t i = 0; i < notes.size(); ++i)
            EXPECT_LE(std::llabs(int64_t(notes[i]) - int64_t(firstSamples[i])), 1) << i;
        // Each pass lasts the loop's 5500 ticks.
        EXPECT_NEAR(double(notes[2] - notes[1]), 5500 * rate / 44100, 1.0);
    }
}

// The speed factor: tiny factors are refused, a wait left when the streams
// came off the queue is rescaled, and only a rewind to 0 acts.
TEST(Reader, SpeedAndSeek) {
    Player p(collection({record(kPsg, {cmd(0, 1), cmd(1000, 2), cmd(1000, 3)})}));
    for (double refused : {0.0005, -2.0, double(INFINITY), double(NAN)}) p.reader.setSpeed(refused);
    EXPECT_EQ(p.reader.speedFactor(), 1.0);
    run(p.q, 500);
    p.reader.detachStreamers(p.q);
    p.reader.setSpeed(2.0);
    p.reader.attachStreamers(p.q);
    run(p.q, 1000);
    EXPECT_EQ(p.rec.timesOf("W"), (std::vector<uint64_t>{0, 750, 1250}));

    p.reader.seek(12.5);
    p.reader.seek(std::nan(""));
    run(p.q, 10);
    EXPECT_EQ(p.rec.timesOf("W").size(), 3u);
    p.reader.detachStreamers(p.q);
    p.reader.seek(0.0);
    p.reader.attachStreamers(p.q);
    run(p.q, 10);
    EXPECT_EQ(p.rec.timesOf("W").back(), 1510u);
}

// Stream sub-commands against a small data bank: the samples sent, their
// gains, and the bounds of every start.
TEST(Reader, DacStreamSubCommands) {
    using C = std::vector<MediaCommand>;
    // Frequency 44100 Hz: one sample per output sample at 44100.
    const C rate = {cmd(0, 4, 0x00, 0x00), cmd(0, 5, 0xAC, 0x44)};
    auto at = [](uint32_t offset, uint8_t mode, uint32_t length) {
        return C{cmd(0, 8, 0, 0), cmd(0, 9, uint8_t(offset >> 8), uint8_t(offset)),
                 cmd(0, 10, 0, 0), cmd(0, 11, uint8_t(length >> 8), uint8_t(length)),
                 cmd(0, 12, mode)};
    };
    struct Case {
        const char* what;
        C commands;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"play block 1 with its default gain", {cmd(0, 13, 1)}, {"c0 40 40", "c0 80 80"}},
        {"play block past the end", {cmd(0, 13, 7)}, {}},
        {"start at offset with gain 1", at(1, 1, 2), {"c0 2 2", "c0 3 3"}},
        {"start at offset in the second block", at(5, 1, 9), {"c0 80 80"}},
        {"start length bounded by the block", at(2, 1, 500), {"c0 3 3", "c0 4 4"}},
        {"until the end of data", at(3, 3, 0), {"c0 4 4"}},
        {"offset past every block", at(99, 1, 4), {}},
        {"fast start bounded by the bank",
         {cmd(0, 2, 0), cmd(0, 10, 0, 0), cmd(0, 11, 0, 9), cmd(0, 15)},
         {}},
        {"fast start inside the bank",
         {cmd(0, 2, 0), cmd(0, 6, 4), cmd(0, 7, 8), cmd(0, 11, 0, 2), cmd(0, 9, 0, 1), cmd(0, 15)},
         {"c0 0 0", "c0 0 0"}},
        {"target and step", {cmd(0, 0, 6), cmd(0, 3, 2), cmd(0, 13, 0)}, {"c6 1 1", "c6 3 3"}},
        {"stop", {cmd(0, 13, 0), cmd(2, 14)}, {"c0 1 1", "c0 2 2"}},
    };
    // Two blocks of one type lie one after the other in their bank.
    std::vector<VGM::DataBlock> blocks = {pcmBlock(0, {1, 2, 3, 4}), pcmBlock(0, {10, 20}, 4)};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        C list = rate;
        list.insert(list.end(), c.commands.begin(), c.commands.end());
        list.push_back({100, VGM::kCommandEnd, 0, 0, 0});
        Player p(collection({record(kStream0, list)}, {}, blocks));
        run(p.q, 200);
        std::vector<std::string> got;
        for (const std::string& n : p.rec.names("D")) got.push_back(n.substr(4));
        EXPECT_EQ(got, c.expected);
    }
}

// A stream started by an offset into YM2612 PCM data sends the bytes as they
// are (gain 1, no shift), at the stream's frequency; a PCM stream at its end
// without a loop parks for good.
TEST(Reader, DacStreamSendsYm2612BytesAtItsFrequency) {
    VgmFile f;
    f.set32(0x2C, 7670453);
    f.block(0x00, Bytes{0x80, 0x90, 0xA0, 0xB0});
    f.op({0x90, 0x00, 0x02, 0x00, 0x2A, 0x91, 0x00, 0x00, 0x01, 0x00});
    f.op({0x92, 0x00}).u32(11025);
    f.op({0x93, 0x00, 1, 0, 0, 0, 0x01, 3, 0, 0, 0});
    f.wait(1000).end();
    VGM::VGMX v;
    ASSERT_TRUE(v.parseVgmBuffer(f.bytes().data(), f.bytes().size())) << v.logText();
    Player p(v);
    run(p.q, 5000);
    EXPECT_EQ(p.rec.names("D"),
              (std::vector<std::string>{"D84 c2 144 144", "D84 c2 160 160", "D84 c2 176 176"}));
    EXPECT_EQ(p.rec.timesOf("D"), (std::vector<uint64_t>{0, 4, 8}));
    // The stream ended without a loop and never fires again.
    run(p.q, 50000);
    EXPECT_EQ(p.rec.names("D").size(), 3u);
}

// Writes of consecutive PCM bank bytes (0x80-0x8F) are held as runs, a few
// commands for many writes, and play exactly as the one command per write
// they stand for: the same writes, waits, elapsed times, loops and ends.
TEST(Reader, PcmBankRunsPlayAsTheirWrites) {
    Bytes bank(64);
    for (size_t i = 0; i < bank.size(); ++i) bank[i] = uint8_t(0x40 + 3 * i);
    VgmFile f;
    f.set32(0x0C, 3579545).set32(0x2C, 7670453);
    f.block(0x00, bank).op({0x52, 0x2B, 0x80, 0x50, 0x9F}).wait(700);
    f.op({0x80, 0x81, 0x83, 0x50, 0xBF, 0x85, 0x7F, 0x80, 0x8F}); // a PSG write and a wait inside
    f.op({0x52, 0x2B, 0x80}).loopHere();
    for (int i = 0; i < 40; ++i) f.op({uint8_t(0x80 | (i % 7))});
    f.wait(300).op({0x80, 0x82, 0x84}); // a wait too long for a run starts another
    f.op({0xE0}).u32(10).op({0x82, 0x82, 0x82, 0x82, 0x8F}).wait(500).end();
    VGM::VGMX v;
    ASSERT_TRUE(v.parseVgmBuffer(f.bytes().data(), f.bytes().size())) << v.logText();
    const MediaChipRecord& ym = v.track().chips.at(kFm);
    EXPECT_LE(ym.commands.size(), 12u);
    EXPECT_EQ(VGM::commandCount(ym), 59u);

    // The same list with one write per command, as the runs stand for.
    MediaChipRecord plain = ym;
    plain.commands.clear();
    plain.pcmRuns.clear();
    plain.pcmWaits.clear();
    plain.pcmBank.clear();
    for (const MediaCommand& c : ym.commands) {
        const VGM::PcmRun* run = VGM::pcmRunOf(ym, c);
        if (!run) {
            plain.commands.push_back(c);
            continue;
        }
        for (uint32_t k = 0; k < run->count; ++k)
            plain.commands.push_back(cmd(k ? ym.pcmWaits[run->waitStart + k - 1] : c.delta,
                                         VGM::kPcmRegister, ym.pcmBank[run->first + k]));
    }
    const auto loop =
        std::find_if(plain.commands.begin(), plain.commands.end(),
                     [](const MediaCommand& c) { return c.kind == VGM::kCommandLoop; });
    ASSERT_NE(loop, plain.commands.end());
    plain.loopIndex = loop - plain.commands.begin();
    EXPECT_EQ(std::count_if(plain.commands.begin(), plain.commands.end(),
                            [](const MediaCommand& c) { return c.reg == VGM::kPcmRegister; }),
              54);
    VGM::VGMX expanded = v;
    expanded.track().chips.at(kFm) = plain;

    for (double rate : {44100.0, 48000.0}) {
        SCOPED_TRACE(rate);
        Player runs(v, rate), writes(expanded, rate);
        run(runs.q, uint64_t(rate * 1.5));
        run(writes.q, uint64_t(rate * 1.5));
        ASSERT_GT(runs.rec.events.size(), 250u);
        ASSERT_EQ(runs.rec.events.size(), writes.rec.events.size());
        for (size_t i = 0; i < runs.rec.events.size(); ++i) {
            EXPECT_EQ(runs.rec.events[i].what, writes.rec.events[i].what) << i;
            EXPECT_EQ(runs.rec.events[i].at, writes.rec.events[i].at) << i;
        }
    }
}

// Only types 84-99 are PCM streams; any other type streams register writes.
TEST(Reader, StreamKindByChipType) {
    const struct {
        uint32_t type;
        bool dac;
    } cases[] = {{83, false}, {84, true}, {99, true}, {100, false}, {102, false}};
    for (const auto& c : cases) {
        Player p(collection({record(c.type, {cmd(0, 13, 0), cmd(10, 1)})}));
        ASSERT_EQ(p.reader.chipStreamers().size(), 1u);
        EXPECT_EQ(dynamic_cast<VGM::DACStreamer*>(p.reader.chipStreamers()[0].get()) != nullptr,
                  c.dac)
            << c.type;
    }
}

// Lists that cannot play never hang the queue: they play nothing or send
// their commands once, and the queue moves on.
TEST(Reader, EmptyAndTimelessListsEnd) {
    struct Case {
        const char* what;
        MediaChipRecord chip;
        VGM::MediaLoop loop;
        size_t writes;
    };
    MediaChipRecord empty = record(kFm, {});
    MediaChipRecord timelessLoop = record(kFm, {cmd(0, 1), cmd(0, 2), cmd(0, 3)});
    timelessLoop.loopIndex = 0;
    MediaChipRecord noRate = record(kFm, {cmd(5, 1)}, 0);
    MediaChipRecord timelessDac = record(kStream0, {cmd(0, 13, 0), cmd(0, 2)});
    timelessDac.loopIndex = 0;
    const Case cases[] = {
        {"empty list", empty, {}, 0},
        {"all-zero deltas with a loop", timelessLoop, {0, 1}, 3},
        {"command rate 0", noRate, {}, 0},
        {"timeless PCM stream with a loop", timelessDac, {0, 1}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Player p(collection({c.chip}, c.loop, {pcmBlock(0, {1, 2})}));
        run(p.q, 100000);
        EXPECT_EQ(p.rec.names("W").size(), c.writes);
        EXPECT_EQ(p.q.now, 100000u);
    }
}

// Selecting reports the track, its data blocks and each chip in type order;
// a track past the end or without chips fails.
TEST(Reader, SelectionAnnouncesTheTrack) {
    vantor::QuantumManager q;
    Recorder r(q);
    Reader reader(&r);
    EXPECT_FALSE(reader.selectTrack(0));
    EXPECT_EQ(reader.getTitle(), nullptr);
    VGM::VGMX v = collection(
        {record(kStream0, {cmd(0, 1)}), record(kPsg, {cmd(0, 1)}), record(kFm, {cmd(0, 1)})}, {},
        {pcmBlock(0, {1})});
    v.setTag(VGM::kTagGameName, "Game");
    v.setTag(VGM::kTagTrackName, "Song");
    reader.openCollection(v);
    EXPECT_TRUE(reader.selectTrack(0));
    EXPECT_FALSE(reader.selectTrack(1));
    EXPECT_EQ(r.names(),
              (std::vector<std::string>{"K0", "B1", "C0 44100", "C5 44100", "C84 44100"}));
    EXPECT_STREQ(reader.getTitle(), "Game - Song");
    EXPECT_EQ(reader.getTrackCount(), 1u);

    VGM::VGMX silent = collection({}, {}, {pcmBlock(0, {1})});
    reader.openCollection(silent);
    r.events.clear();
    EXPECT_FALSE(reader.selectTrack(0));
    EXPECT_EQ(r.names(), std::vector<std::string>{"B1"});
}

class ReaderFiles : public testhome::Scratch {};

// Close, a speed change, a reselection and a failed archive member while
// the streams play: the streamers leave the queue first, never fire with
// freed data, and are never queued twice.
TEST_F(ReaderFiles, StreamersLeaveTheQueueBeforeTheirTrackGoes) {
    VgmFile song;
    song.op({0x50, 0x9F}).waitFrame().op({0x50, 0x90}).waitFrame().loopHere().op({0x50, 0x9F});
    song.waitFrame().end();
    song.set32(0x0C, 3579545);
    const Bytes good = song.bytes();
    const std::string zip = path("songs.zip");
    vgmtest::writeZip(zip, {{"a.vgm", good}, {"b.vgm", Bytes(40, 0x11)}, {"c.vgm", good}});

    vantor::QuantumManager q(32);
    q.rate = 44100;
    Recorder r(q);
    Reader reader(&r);
    ASSERT_TRUE(reader.open(zip));
    ASSERT_EQ(reader.getTrackCount(), 3u);
    ASSERT_TRUE(reader.selectTrack(0));
    reader.play();
    reader.attachStreamers(q);
    run(q, 1000);
    reader.attachStreamers(q);
    EXPECT_EQ(q.queue.size(), 1u);

    // A member that cannot be parsed replaces the track the streamer read.
    EXPECT_FALSE(reader.selectTrack(1));
    EXPECT_TRUE(q.queue.empty());
    reader.attachStreamers(q);
    run(q, 5000);
    EXPECT_TRUE(q.queue.empty());

    ASSERT_TRUE(reader.selectTrack(2));
    reader.attachStreamers(q);
    run(q, 1000);
    reader.setSpeed(2.0);
    reader.attachStreamers(q);
    EXPECT_EQ(q.queue.size(), 1u);
    run(q, 1000);

    reader.close();
    EXPECT_TRUE(q.queue.empty());
    reader.attachStreamers(q);
    EXPECT_TRUE(q.queue.empty());
    run(q, 5000);
    EXPECT_FALSE(reader.selectTrack(0));

    // A broken or missing file leaves no collection.
    const std::string broken = path("broken.vgm");
    vgmtest::writeFile(broken, Bytes(30, 0x56));
    EXPECT_FALSE(reader.open(broken));
    EXPECT_FALSE(reader.open(path("missing.vgm")));
    EXPECT_EQ(reader.getTrackCount(), 0u);
}
