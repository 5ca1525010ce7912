#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ConsoleFixture.h"
#include "vgm/MediaTrack.h"

using namespace insttest;

namespace {

// Stands in for unit 6 and records what reaches it.
struct RecordingUnit : ChipEmu {
    struct Parameter {
        uint32_t index;
        float value;
        bool operator==(const Parameter&) const = default;
    };
    bool init(uint32_t, const char*, uint32_t) override { return true; }
    void reset() override {}
    ChipInfo* getInfo() override { return &info; }
    void write(uint16_t address, uint8_t data, uint64_t port) override {
        writes.push_back({6, uint8_t(address), data, port});
    }
    void setParameter(uint32_t index, float value) override {
        parameters.push_back({index, value});
    }
    void setOutputOffset(uint64_t target, int16_t l, int16_t r) override {
        offsets.push_back({target, l, r});
    }
    int render32(int32_t**, uint64_t) override { return 0; }
    void render16(int16_t*, uint64_t, uint64_t) override {}
    ChipInfo info;
    std::vector<Write> writes;
    std::vector<Parameter> parameters;
    struct Offset {
        uint64_t target;
        int16_t left, right;
    };
    std::vector<Offset> offsets;
};

// A console whose unit 6 records instead of playing.
struct MediaConsole : Console {
    RecordingUnit media;
    MediaConsole() { units[6] = &media; }
};

struct PackedListener : ChipControllerListener {
    void notifyPacked(void* record, uint32_t low, uint32_t high) override {
        packed.push_back({record, low, high});
    }
    struct Call {
        void* record;
        uint32_t low, high;
    };
    std::vector<Call> packed;
};

} // namespace

// Each chip type's writes land on the unit part that stands in for it; FM
// writes are mirrored, AY and PSG writes are not, and the YM2610's ADPCM
// registers reach nothing.
TEST(MD_ctrlMedia, RegisterWritesAreRoutedByChipPortAndRegister) {
    struct Case {
        const char* what;
        uint32_t type, port, reg, value;
        std::vector<Write> expected; // on unit 6
        bool mirrored;
    };
    const std::vector<Case> cases = {
        {"PSG byte", 0, 0, 0, 0x9F, {{6, 0, 0x9F, 2}}, false},
        {"Game Gear stereo", 0, 0, 1, 0xF0, {{6, 1, 0xF0, 2}}, false},
        {"YM2612 port 0", 5, 0, 0xA0, 0x3B, {{6, 0xA0, 0x3B, 0}}, true},
        {"YM2612 port 1", 5, 1, 0xA1, 0x12, {{6, 0xA1, 0x12, 1}}, true},
        {"YM2612 DAC byte", 5, 0, 0x2A, 0x90, {{6, 0x2A, 0x90, 0}}, true},
        {"YM2203 SSG", 7, 0, 0x07, 0x38, {{6, 0x07, 0x38, 3}}, false},
        {"YM2203 FM", 7, 0, 0xA0, 0x44, {{6, 0xA0, 0x44, 0}}, true},
        {"YM2203 pan forced on", 7, 0, 0xB5, 0x07, {{6, 0xB5, 0xC7, 0}}, true},
        {"YM2203 DAC registers", 7, 0, 0x2B, 0x80, {}, false},
        {"second YM2203 key on", 19, 0, 0x28, 0xF1, {{6, 0x28, 0xF5, 0}}, true},
        {"second YM2203 FM", 19, 0, 0xA2, 0x20, {{6, 0xA2, 0x20, 1}}, true},
        {"second YM2203 pan", 19, 0, 0xB4, 0x00, {{6, 0xB4, 0xC0, 1}}, true},
        {"YM2608 SSG", 8, 0, 0x08, 0x0F, {{6, 0x08, 0x0F, 3}}, false},
        {"YM2608 rhythm", 8, 0, 0x10, 0x01, {{6, 0x10, 0x01, 0}}, true},
        {"YM2608 ADPCM", 8, 1, 0x00, 0x01, {{6, 0x00, 0x01, 1}}, true},
        {"YM2608 port 1 FM", 8, 1, 0xA0, 0x55, {{6, 0xA0, 0x55, 1}}, true},
        {"YM2610 SSG", 9, 0, 0x08, 0x0F, {{6, 0x08, 0x0F, 3}}, false},
        {"YM2610 ADPCM-B", 9, 0, 0x10, 0x01, {}, false},
        {"YM2610 ADPCM-B level", 9, 0, 0x1B, 0xFF, {}, false},
        {"YM2610 ADPCM-A", 9, 1, 0x00, 0x01, {}, false},
        {"YM2610 ADPCM-A volume", 9, 1, 0x08, 0xDF, {}, false},
        {"YM2610B FM", 10, 1, 0xB0, 0x07, {{6, 0xB0, 0x07, 1}}, true},
        {"YM2610 key on", 9, 0, 0x28, 0xF1, {{6, 0x28, 0xF1, 0}}, true},
        {"AY", 31, 0, 0x08, 0x0F, {{6, 0x08, 0x0F, 3}}, false},
        {"NES APU", 44, 0, 0x00, 0x30, {}, false},
        {"wide register", 44, 0, 0x4015, 0x0F, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MediaConsole k;
        k.ctrl->mirrors[6].clear();
        k.ctrl->mediaActive = false;
        k.ctrl->mediaRegisterWrite(c.type, 0, c.port, c.reg, c.value);
        EXPECT_EQ(k.media.writes, c.expected);
        EXPECT_TRUE(k.ctrl->mediaActive);
        if (c.expected.empty()) continue;
        const Write& w = c.expected[0];
        EXPECT_EQ(k.ctrl->mirrors[6].get(w.port, w.reg), c.mirrored ? w.value : 0);
    }
}

// A track's chips choose the unit's PSG model (15) and FM chip (30); DAC
// streams raise the stream count.
TEST(MD_ctrlMedia, ChipSetupsChooseTheUnitsChips) {
    using P = RecordingUnit::Parameter;
    struct Case {
        uint32_t type, variant;
        std::vector<P> expected;
        uint64_t streams;
    };
    const std::vector<Case> cases = {
        {0, 0, {{15, 0.0f}}, 1},
        {0, 2, {{15, 1.0f}}, 1},
        {5, 0, {{30, 0.0f}}, 1},
        {7, 0, {{15, 4.0f}, {30, 1.0f}}, 1},
        {8, 0, {{30, 1.0f}, {15, 4.0f}}, 1},
        {9, 0, {{30, 1.0f}, {15, 4.0f}}, 1},
        {10, 0, {{30, 1.0f}, {15, 4.0f}}, 1},
        {31, 0, {{15, 4.0f}}, 1},
        {44, 0, {}, 1},
        {85, 0, {}, 2},
        {99, 0, {}, 16},
        {102, 0, {}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " variant " << c.variant);
        MediaConsole k;
        k.ctrl->resetMediaUnit();
        k.media.parameters.clear();
        k.ctrl->mediaActive = false;
        k.ctrl->mediaChipSetup(c.type, c.variant, 44100);
        EXPECT_EQ(k.media.parameters, c.expected);
        EXPECT_EQ(k.ctrl->mediaStreamCount, c.streams);
        EXPECT_TRUE(k.ctrl->mediaActive);
    }
    // The count only grows.
    MediaConsole k;
    k.ctrl->mediaChipSetup(87, 0, 44100);
    k.ctrl->mediaChipSetup(84, 0, 44100);
    EXPECT_EQ(k.ctrl->mediaStreamCount, 4u);
    // A YM2203 has no pan registers: its channels (1-3, a second chip's 4-6)
    // sound on both outputs without a song writing any.
    for (uint32_t type : {7u, 19u}) {
        SCOPED_TRACE(type);
        MediaConsole c;
        c.media.writes.clear();
        c.ctrl->mediaChipSetup(type, 0, 44100);
        const uint64_t bank = type == 7 ? 0 : 1;
        const std::vector<Write> pans = {
            {6, 0xB4, 0xC0, bank}, {6, 0xB5, 0xC0, bank}, {6, 0xB6, 0xC0, bank}};
        EXPECT_EQ(c.media.writes, pans);
        EXPECT_EQ(c.reg(6, 0xB5, bank), 0xC0);
    }
}

// A stopped chip goes silent: the PSG by attenuation, FM by key-off of every
// channel and timer A no longer keying channel 3.
TEST(MD_ctrlMedia, ChipResetSilencesThePartsOfTheChip) {
    const std::vector<Write> psg = {
        {6, 0, 0x9F, 2}, {6, 0, 0xBF, 2}, {6, 0, 0xDF, 2}, {6, 0, 0xFF, 2}};
    std::vector<Write> fm;
    for (uint8_t ch : {0, 1, 2, 4, 5, 6}) fm.push_back({6, 0x28, ch, 0});
    fm.push_back({6, 0x27, 0x54, 0}); // 0x55 with bit 0 cleared
    std::vector<Write> both = psg;
    both.insert(both.end(), fm.begin(), fm.end());
    struct Case {
        uint32_t type;
        std::vector<Write> expected;
    };
    for (const Case& c : std::vector<Case>{{0, psg}, {101, both}, {5, fm}, {7, fm}, {31, fm}}) {
        SCOPED_TRACE(c.type);
        MediaConsole k;
        k.ctrl->mirrors[6].set(0, 0x27, 0x55);
        k.ctrl->mediaChipReset(c.type);
        EXPECT_EQ(k.media.writes, c.expected);
        EXPECT_EQ(k.ctrl->mirrors[6].get(0, 0x27), c.type == 0 ? 0x55 : 0x54);
    }
}

// DAC stream samples reach the DAC register: one stream directly, several
// mixed around 128 and clamped (a stream that has not played yet counts as
// the centre), none as the centre; targets other than the DAC go to the
// unit's output offset. Only types 84-99 are streams.
TEST(MD_ctrlMedia, DacStreamsMixIntoTheDacRegister) {
    struct Sample {
        uint32_t type;
        int16_t left;
    };
    struct Case {
        const char* what;
        uint64_t streams;
        std::vector<Sample> samples;
        uint8_t expected; // the last 0x2A byte
    };
    const std::vector<Case> cases = {
        {"one stream", 1, {{84, 0x1C3}}, 0xC3},
        {"no stream", 0, {{84, 0x40}}, 0x80},
        {"two streams clamp high", 2, {{84, 0xFF}, {85, 0x90}}, 0xFF},
        {"two streams mix", 2, {{84, 0x90}, {85, 0x70}}, 0x80},
        {"two streams clamp low", 2, {{84, 0x00}, {85, 0x10}}, 0x00},
        {"three streams", 3, {{84, 0x90}, {85, 0x90}, {86, 0x88}}, 0xA8},
        {"not a stream", 2, {{84, 0xA0}, {102, 0x7F}}, 0xA0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MediaConsole k;
        k.ctrl->resetMediaUnit();
        k.ctrl->mediaStreamCount = c.streams;
        for (const Sample& s : c.samples) k.ctrl->mediaDacWrite(s.type, 2, s.left, s.left);
        ASSERT_FALSE(k.media.writes.empty());
        EXPECT_EQ(k.media.writes.back(), (Write{6, 0x2A, c.expected, 0}));
        EXPECT_EQ(k.ctrl->mirrors[6].get(0, 0x2A), c.expected);
        EXPECT_EQ(k.ctrl->mediaStreamCount, c.streams);
    }
    MediaConsole k;
    k.ctrl->mediaDacWrite(84, 6, 0x55, 0x55);
    k.ctrl->mediaDacWrite(84, 3, -1200, 800);
    ASSERT_EQ(k.media.writes.size(), 1u);
    ASSERT_EQ(k.media.offsets.size(), 1u);
    EXPECT_EQ(k.media.offsets[0].target, 3u);
    EXPECT_EQ(k.media.offsets[0].left, -1200);
    EXPECT_EQ(k.media.offsets[0].right, 800);
}

namespace {

uint32_t u32At(const std::vector<uint8_t>& r, size_t at) {
    uint32_t v;
    std::memcpy(&v, r.data() + at, 4);
    return v;
}
uint16_t u16At(const std::vector<uint8_t>& r, size_t at) {
    uint16_t v;
    std::memcpy(&v, r.data() + at, 2);
    return v;
}

VGM::DataBlock byteBlock(std::vector<uint8_t> bytes, float rate = 15734.0f) {
    VGM::DataBlock b;
    b.type = 0;
    b.samples.assign(bytes.begin(), bytes.end());
    b.bytes = std::move(bytes);
    b.nominalRate = rate;
    b.sampleCount = uint32_t(b.samples.size());
    return b;
}

VGM::DataBlock wordBlock(std::vector<int16_t> samples, float rate) {
    VGM::DataBlock b;
    b.type = 2;
    b.samples.assign(samples.begin(), samples.end());
    b.nominalRate = rate;
    b.sampleCount = uint32_t(b.samples.size());
    return b;
}

// A console with a listener for packed records and a host sample record of
// `size` bytes registered under key 0, its index table dirty.
struct BlockConsole {
    explicit BlockConsole(size_t size) : record(size, 0xEE) {
        for (int i = 0; i < 7; ++i) {
            owned.push_back(makeUnit());
            units.push_back(owned.back().get());
        }
        ctrl = makeConsoleController(&units, &listener);
        ctrl->setClock(0, frameRate(*owned[0]), frameRate(*owned[0]));
        ctrl->resetForVersion(0);
        ctrl->receiveDataBlock(record.data(), record.size(), 0);
    }
    std::vector<std::unique_ptr<MD_Emu>> owned;
    std::vector<ChipEmu*> units;
    PackedListener listener;
    std::vector<uint8_t> record;
    std::unique_ptr<MD_ctrl> ctrl;
};

} // namespace

// The track's blocks fill the host's sample record: one region per block,
// 8-bit bytes turned into 16-bit samples, the header words set; the DACs play
// the record and the host is told.
TEST(MD_ctrlMedia, DataBlocksFillTheHostSampleRecord) {
    BlockConsole k(704 + 2 * 64);
    const std::vector<VGM::DataBlock> blocks = {byteBlock({0x00, 0x80, 0xFF}, 15734.4f),
                                                wordBlock({-5, 300}, 8000.0f)};
    k.ctrl->mediaDataBlock(&blocks);

    const auto& r = k.record;
    EXPECT_EQ(u32At(r, 4), 5u * 2 + 704);
    EXPECT_EQ(u32At(r, 32), 5u);
    EXPECT_EQ(u32At(r, 36), 15734u);
    EXPECT_EQ(u32At(r, 44), 2u);
    EXPECT_EQ(u32At(r, 64), 0u);
    EXPECT_EQ(u32At(r, 68), 3u);
    EXPECT_EQ(r[576], 5);
    EXPECT_EQ(r[577], 5);
    for (size_t i = 72; i < 576; ++i) ASSERT_EQ(r[i], 0) << i;
    for (size_t i = 578; i < 704; ++i) ASSERT_EQ(r[i], 0) << i;
    const std::vector<uint16_t> samples = {0x8000, 0x0000, 0x7F00, uint16_t(-5), 300};
    for (size_t i = 0; i < samples.size(); ++i) EXPECT_EQ(u16At(r, 704 + 2 * i), samples[i]) << i;
    EXPECT_EQ(r[704 + 10], 0xEE); // nothing past the samples

    ASSERT_EQ(k.listener.packed.size(), 1u);
    EXPECT_EQ(k.listener.packed[0].record, k.record.data());
    EXPECT_EQ(k.listener.packed[0].low, 1u);
    EXPECT_EQ(k.listener.packed[0].high, 0u);
    EXPECT_EQ(k.ctrl->dacRecord, k.record.data());
    for (auto& d : k.ctrl->dac) EXPECT_EQ(d->sampleSet, k.record.data());
}

// One block with seek targets: the targets are the regions; a block rate of
// 0 gives the default rate.
TEST(MD_ctrlMedia, OneBlockWithSeekTargetsGivesOneRegionPerTarget) {
    BlockConsole k(704 + 2 * 16);
    std::vector<VGM::DataBlock> blocks = {byteBlock(std::vector<uint8_t>(10, 0x80), 0.0f)};
    blocks[0].seekOffsets = {0, 4, 7};
    k.ctrl->mediaDataBlock(&blocks);
    const auto& r = k.record;
    EXPECT_EQ(u32At(r, 32), 10u);
    EXPECT_EQ(u32At(r, 36), 15734u);
    EXPECT_EQ(u32At(r, 64), 0u);
    EXPECT_EQ(u32At(r, 68), 4u);
    EXPECT_EQ(u32At(r, 72), 7u);
    EXPECT_EQ(r[576] + r[577] + r[578], 15);
    EXPECT_EQ(r[579], 0);
}

// Records the intake must leave alone or may only fill as far as they reach.
TEST(MD_ctrlMedia, DataBlocksStayInsideTheHostRecord) {
    const std::vector<VGM::DataBlock> blocks = {byteBlock(std::vector<uint8_t>(100, 0x90))};
    const std::vector<VGM::DataBlock> none;
    {
        SCOPED_TRACE("empty list");
        BlockConsole k(800);
        k.ctrl->mediaDataBlock(&none);
        EXPECT_EQ(k.record[64], 0xEE);
        EXPECT_TRUE(k.listener.packed.empty());
    }
    {
        SCOPED_TRACE("smallest key not 0");
        BlockConsole k(800);
        k.ctrl->dataBlocks.clear();
        k.ctrl->receiveDataBlock(k.record.data(), k.record.size(), 3);
        k.ctrl->mediaDataBlock(&blocks);
        EXPECT_EQ(k.record[64], 0xEE);
        EXPECT_TRUE(k.listener.packed.empty());
    }
    {
        SCOPED_TRACE("no record");
        BlockConsole k(800);
        k.ctrl->dataBlocks.clear();
        k.ctrl->mediaDataBlock(&blocks);
        EXPECT_TRUE(k.listener.packed.empty());
    }
    {
        SCOPED_TRACE("no room for the index table");
        BlockConsole k(703);
        k.ctrl->mediaDataBlock(&blocks);
        for (uint8_t b : k.record) ASSERT_EQ(b, 0xEE);
    }
    {
        SCOPED_TRACE("room for part of the samples");
        BlockConsole k(704 + 2 * 30 + 1);
        k.ctrl->mediaDataBlock(&blocks);
        EXPECT_EQ(u32At(k.record, 32), 30u);
        EXPECT_EQ(u32At(k.record, 4), 30u * 2 + 704);
        EXPECT_EQ(k.record.back(), 0xEE);
    }
    {
        SCOPED_TRACE("nothing to keep");
        BlockConsole k(800);
        const std::vector<VGM::DataBlock> empty = {wordBlock({}, 8000.0f)};
        k.ctrl->mediaDataBlock(&empty);
        EXPECT_EQ(u32At(k.record, 32), 0u);
        EXPECT_EQ(u32At(k.record, 4), 32u);
    }
}

// The clock a track states for each chip reaches the unit's part that plays
// it, as a ratio to the part's own clock at the unit's nominal rate; media
// stopping puts the own clocks back, playing again the track's, and a new
// track starts from the own clocks.
TEST(MD_ctrlMedia, TrackClocksReachTheUnitsParts) {
    const double frames = 53693175.0 / 48.0;
    const double ownFmRate = frames / 21.0, ownPsg = frames * 16.0 / 5.0, ownAy = frames * 4.0;
    struct Case {
        const char* what;
        uint32_t type, clock;
        double fm, psg, ay; // expected ratios
    };
    const std::vector<Case> cases = {
        {"SN76489", 0, 3546893, 1.0, 3546893.0 / ownPsg, 1.0},
        {"YM2612", 5, 7600489, 7600489.0 / 144.0 / ownFmRate, 1.0, 1.0},
        {"YM2203: FM at clock / 72, SSG at clock / 2", 7, 3993600, 3993600.0 / 72.0 / ownFmRate,
         1.0, 3993600.0 / 2.0 / ownAy},
        {"second YM2203 alone: its SSG on the free AY", 19, 3000000,
         3000000.0 / 72.0 / ownFmRate, 1.0, 3000000.0 / 2.0 / ownAy},
        {"YM2608: SSG at clock / 4", 8, 7987200, 7987200.0 / 144.0 / ownFmRate, 1.0,
         7987200.0 / 4.0 / ownAy},
        {"YM2610", 9, 8000000, 8000000.0 / 144.0 / ownFmRate, 1.0, 8000000.0 / 4.0 / ownAy},
        {"YM2610B", 10, 8000000, 8000000.0 / 144.0 / ownFmRate, 1.0, 8000000.0 / 4.0 / ownAy},
        {"AY8910", 31, 1773400, 1.0, 1.0, 1773400.0 / ownAy},
        {"no clock stated", 31, 0, 1.0, 1.0, 1.0},
        {"a chip the unit does not play", 6, 3579545, 1.0, 1.0, 1.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Console k;
        const MD_Emu& unit = *k.owned[6];
        auto expectRatios = [&](double fm, double psg, double ay) {
            EXPECT_FLOAT_EQ(float(unit.clockRatios[0]), float(fm));
            EXPECT_FLOAT_EQ(float(unit.clockRatios[1]), float(psg));
            EXPECT_FLOAT_EQ(float(unit.clockRatios[2]), float(ay));
        };
        k.ctrl->mediaTrackSelected(0);
        k.ctrl->mediaChipClock(c.type, c.clock);
        expectRatios(c.fm, c.psg, c.ay);
        k.ctrl->mediaActiveOff();
        expectRatios(1.0, 1.0, 1.0);
        k.ctrl->mediaActiveOn();
        expectRatios(c.fm, c.psg, c.ay);
        // A detuned clock choice keeps the ratios: the tuning stays on top.
        k.ctrl->setClock(0, k.rate * 1.01, k.rate * 1.01);
        expectRatios(c.fm, c.psg, c.ay);
        k.ctrl->mediaTrackSelected(1);
        k.ctrl->mediaActiveOn();
        expectRatios(1.0, 1.0, 1.0);
    }
}

// Another clock choice of the console is undone for media: the ratios are
// taken against its nominal rate.
TEST(MD_ctrlMedia, TrackClocksHoldAtEveryClockChoice) {
    Console k;
    const std::vector<double>& clocks = k.owned[6]->getInfo()->clocks;
    for (uint64_t index = 0; index < clocks.size(); ++index) {
        SCOPED_TRACE(index);
        k.ctrl->setClock(index, clocks[index], clocks[index]);
        k.ctrl->mediaChipClock(5, 7600489);
        const double fmRate = clocks[index] / (index == 3 ? 9.0 : 21.0);
        EXPECT_FLOAT_EQ(float(k.owned[6]->clockRatios[0]), float(7600489.0 / 144.0 / fmRate));
    }
    k.ctrl->resetMediaUnit();
    EXPECT_EQ(k.owned[6]->clockRatios[0], 1.0);
}
