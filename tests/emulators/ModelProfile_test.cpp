#include "emulators/ModelProfile.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "emulators/ModelProfileFiles.h"
#include "support/BoundedCall.h"

using namespace profilefiles;

namespace {

// Levels at R = 10000 for a DAC curve rising 1024 over its first 32 entries,
// i.e. Mdac[i] = i / 512.
const int16_t kLevelsRise1024[16] = {420, 320, 257, 200, 150, 115, 91, 70,
                                     51,  37,  28,  20,  13,  7,   4,  0};

std::vector<float> rampDac() {
    std::vector<float> v(512);
    for (int i = 0; i < 512; ++i) v[i] = float(i) / 512.0f;
    return v;
}

class ModelProfileLoad : public ::testing::Test {
protected:
    // Loads `bytes` as a file into `table`; the result of the loader.
    bool load(const Bytes& bytes) {
        const std::string name =
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".prof";
        return loadModelProfiles(writeFile(name, bytes), table);
    }
    // One profile made of the given sub-chunks.
    const ModelProfile& loadOne(const std::vector<Bytes>& subChunks) {
        EXPECT_TRUE(load(riffFile({subChunks})));
        EXPECT_EQ(table.size(), 1u);
        if (table.empty()) table.emplace_back();
        return table[0];
    }

    std::vector<ModelProfile> table;
};

} // namespace

TEST(ModelProfile, DefaultConstructedHoldsTheReferenceCurves) {
    const ModelProfile p;
    const int16_t expected[16] = {21555, 16389, 13153, 10241, 7706, 5883, 4656, 3572,
                                  2605,  1915,  1451,  1027,  648,  378,  200,  0};
    ASSERT_EQ(p.dacCurve.size(), 512u);
    for (int16_t v : p.dacCurve) EXPECT_EQ(v, 0);
    EXPECT_EQ(p.filter[0], 1.0f);
    EXPECT_EQ(p.filter[1], 1.0f);
    for (int k = 2; k < 32; ++k) EXPECT_EQ(p.filter[k], 0.0f);
    for (const auto& curve : p.psgCurves)
        for (int j = 0; j < 16; ++j) EXPECT_EQ(curve[j], expected[j]) << j;
    EXPECT_TRUE(p.name.empty());
}

TEST(ModelProfile, ClampRoundRoundsHalfUpAndSaturates) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const struct {
        float in;
        int16_t out;
    } cases[] = {
        {0.0f, 0},         {1.5f, 2},         {-1.5f, -1},   {-0.5f, 0},          {2.49f, 2},
        {32766.6f, 32767}, {32767.0f, 32767}, {1e9f, 32767}, {-32768.0f, -32768}, {-1e9f, -32768},
        {inf, 32767},      {-inf, -32768},    {nan, 0}};
    for (const auto& c : cases) EXPECT_EQ(profileClampRound(c.in), c.out) << c.in;
}

TEST_F(ModelProfileLoad, ConvertsEveryChunk) {
    std::vector<float> taps(32);
    for (int k = 0; k < 32; ++k) taps[k] = 0.25f * float(k);
    std::vector<float> levels(65, 0.0f);
    levels[0] = 10000.0f;
    for (int c = 0; c < 4; ++c)
        for (int j = 0; j < 16; ++j) levels[1 + 16 * c + j] = float(kPsgLevelTable[j]);
    levels[1 + 16 * 2 + 0] = 20000.0f; // curve 2, level 0

    const ModelProfile& p =
        loadOne({chunk("Name", text(std::string("Board\0", 6))), chunk("Mdac", floats(rampDac())),
                 chunk("Dgvl", floats(levels)), chunk("Flpf", floats(taps))});

    EXPECT_EQ(p.name, "Board");
    for (int i = 0; i < 512; ++i) ASSERT_EQ(p.dacCurve[i], (i - 256) * 32) << i;
    for (int k = 0; k < 32; ++k) EXPECT_EQ(p.filter[k], 0.25f * float(k));
    for (int c = 0; c < 4; ++c)
        for (int j = 1; j < 16; ++j) EXPECT_EQ(p.psgCurves[c][j], kLevelsRise1024[j]);
    EXPECT_EQ(p.psgCurves[0][0], 420);
    EXPECT_EQ(p.psgCurves[2][0], 195); // 20000 * 2048 / 21 / 10000
}

TEST_F(ModelProfileLoad, NameTakesAllButTheTerminator) {
    const struct {
        Bytes body;
        std::string name;
    } cases[] = {{{'A', 0}, "A"},
                 {{'A', 'B', 'C', 0}, "ABC"},
                 {{}, ""},
                 {{'Z', 0, 0, 0}, std::string("Z\0\0", 3)}};
    for (const auto& c : cases) {
        const ModelProfile& p = loadOne({chunk("Name", c.body)});
        EXPECT_EQ(p.name, c.name);
    }
}

TEST_F(ModelProfileLoad, OneByteNameIsEmpty) {
    // The one-byte chunk ends the file, without a pad byte.
    const Bytes list =
        container("LIST", "PROF", {chunk("Name", {'B'}, false, false)}, false, false);
    ASSERT_TRUE(load(container("RIFF", "MDPF", {list}, false, false)));
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table[0].name, "");
}

TEST_F(ModelProfileLoad, ShortReferenceChunkKeepsTheDefaultLevels) {
    const ModelProfile& p =
        loadOne({chunk("Mdac", floats(rampDac())), chunk("Dgvl", floats({20000.0f}))});
    const int16_t halved[16] = {210, 160, 128, 100, 75, 57, 45, 35, 25, 19, 14, 10, 6, 4, 2, 0};
    for (const auto& curve : p.psgCurves)
        for (int j = 0; j < 16; ++j) EXPECT_EQ(curve[j], halved[j]) << j;
}

TEST_F(ModelProfileLoad, LevelFifteenIsAlwaysSilent) {
    std::vector<float> levels(65, 5000.0f);
    levels[0] = 10000.0f;
    const ModelProfile& p =
        loadOne({chunk("Mdac", floats(rampDac())), chunk("Dgvl", floats(levels))});
    for (const auto& curve : p.psgCurves) {
        EXPECT_EQ(curve[0], 49); // 5000 * 2048 / 21 / 10000, rounded
        EXPECT_EQ(curve[15], 0);
    }
}

TEST_F(ModelProfileLoad, MissingChunksGiveTheirDefaults) {
    const ModelProfile& p = loadOne({chunk("Othr", {1, 2, 3, 4})});
    EXPECT_TRUE(p.name.empty());
    for (float f : p.filter) EXPECT_EQ(f, 0.0f);  // no filter: all zero
    for (int16_t v : p.dacCurve) EXPECT_EQ(v, 0); // no DAC levels: flat
    for (const auto& curve : p.psgCurves)         // flat DAC: no PSG scale
        for (int16_t v : curve) EXPECT_EQ(v, 0);
}

TEST_F(ModelProfileLoad, ShortChunksLeaveTheRestAtDefaults) {
    std::vector<float> dac(300);
    for (int i = 0; i < 300; ++i) dac[i] = float(i) / 512.0f;
    const ModelProfile& p =
        loadOne({chunk("Flpf", floats({0.5f, -0.5f})), chunk("Mdac", floats(dac)),
                 chunk("Dgvl", floats({10000.0f, 1000.0f}))});
    EXPECT_EQ(p.filter[0], 0.5f);
    EXPECT_EQ(p.filter[1], -0.5f);
    for (int k = 2; k < 32; ++k) EXPECT_EQ(p.filter[k], 0.0f);
    EXPECT_EQ(p.dacCurve[299], (299 - 256) * 32);
    EXPECT_EQ(p.dacCurve[300], -256 * 32); // unread levels are 0.0
    EXPECT_EQ(p.dacCurve[511], -256 * 32);
    EXPECT_EQ(p.psgCurves[0][0], 10); // 1000 read; the rest of curve 0 keeps the table
    EXPECT_EQ(p.psgCurves[0][1], kLevelsRise1024[1]);
    EXPECT_EQ(p.psgCurves[3][0], kLevelsRise1024[0]);
}

TEST_F(ModelProfileLoad, LongChunksAreCut) {
    std::vector<float> taps(40, 0.125f);
    taps[32] = 99.0f;
    std::vector<float> dac = rampDac();
    dac.resize(600, 5.0f);
    std::vector<float> levels(100, 1.0e6f);
    levels[0] = 10000.0f;
    for (int j = 1; j <= 64; ++j) levels[j] = float(kPsgLevelTable[(j - 1) % 16]);
    const ModelProfile& p = loadOne(
        {chunk("Flpf", floats(taps)), chunk("Mdac", floats(dac)), chunk("Dgvl", floats(levels))});
    for (float f : p.filter) EXPECT_EQ(f, 0.125f);
    for (int i = 0; i < 512; ++i) ASSERT_EQ(p.dacCurve[i], (i - 256) * 32) << i;
    for (const auto& curve : p.psgCurves)
        for (int j = 0; j < 16; ++j) EXPECT_EQ(curve[j], kLevelsRise1024[j]);
}

TEST_F(ModelProfileLoad, OutOfRangeAndNanValuesStayDefined) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<float> dac = rampDac();
    dac[0] = -10.0f;
    dac[511] = 10.0f;
    dac[100] = nan;
    const ModelProfile& p = loadOne(
        {chunk("Mdac", floats(dac)), chunk("Dgvl", floats({10000.0f, nan, 1.0e9f, -1.0e9f}))});
    EXPECT_EQ(p.dacCurve[0], -32768);
    EXPECT_EQ(p.dacCurve[511], 32767);
    EXPECT_EQ(p.dacCurve[100], 0);
    EXPECT_EQ(p.psgCurves[0][0], 0);
    EXPECT_EQ(p.psgCurves[0][1], 32767);
    EXPECT_EQ(p.psgCurves[0][2], -32768);
}

TEST_F(ModelProfileLoad, PlainChunksAreNoProfiles) {
    ASSERT_TRUE(load(
        container("RIFF", "MDPF",
                  {chunk("Junk", {1, 2, 3, 4}),
                   container("LIST", "PROF", {chunk("Name", text("Two"))}), chunk("Junk", {})})));
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table[0].name, "Two"); // the pad byte ends the odd name
    EXPECT_FALSE(load(container("RIFF", "MDPF", {chunk("Junk", {1, 2, 3, 4})})));
}

// Each profile costs far more memory than its 12 bytes in the file: a file of
// many empty profiles gives no more than the cap.
TEST_F(ModelProfileLoad, ProfileCountIsCapped) {
    std::vector<std::vector<Bytes>> many(1000);
    many[ModelProfile::kMaxProfiles - 1] = {chunk("Name", text("end"))};
    ASSERT_TRUE(load(riffFile(many)));
    ASSERT_EQ(table.size(), ModelProfile::kMaxProfiles);
    EXPECT_EQ(table.back().name, "end");
}

TEST_F(ModelProfileLoad, BigEndianFormFileReadsLittleEndianPayload) {
    const Bytes list = container("FORM", "PROF",
                                 {chunk("Name", text(std::string("Big\0", 4)), true),
                                  chunk("Mdac", floats(rampDac()), true)},
                                 true);
    ASSERT_TRUE(load(container("FORM", "MDPF", {list, list}, true)));
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(table[1].name, "Big");
    EXPECT_EQ(table[1].dacCurve[0], -256 * 32);
    EXPECT_EQ(table[1].dacCurve[511], 255 * 32);
}

TEST_F(ModelProfileLoad, TableIsResizedToTheFile) {
    table.resize(3);
    table[2].name = "old";
    ASSERT_TRUE(load(riffFile({{chunk("Name", text(std::string("one\0", 4)))}})));
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table[0].name, "one");

    ASSERT_TRUE(load(riffFile({{}, {}, {chunk("Name", text(std::string("three\0", 6)))}})));
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table[2].name, "three");
    EXPECT_EQ(table[2].dacCurve.size(), 512u);
}

TEST_F(ModelProfileLoad, UnreadableFilesLeaveTheTableAlone) {
    const Bytes truncatedHeader = {'R', 'I', 'F', 'F', 8, 0};
    const struct {
        const char* what;
        Bytes bytes;
    } cases[] = {
        {"empty file", {}},
        {"text file", text("not a chunk file at all")},
        {"cut header", truncatedHeader},
        {"no profiles", container("RIFF", "MDPF", {})},
    };
    for (const auto& c : cases) {
        table.assign(1, ModelProfile());
        table[0].name = "kept";
        EXPECT_FALSE(load(c.bytes)) << c.what;
        ASSERT_EQ(table.size(), 1u) << c.what;
        EXPECT_EQ(table[0].name, "kept") << c.what;
    }
    EXPECT_FALSE(loadModelProfiles(::testing::TempDir() + "/no-such-profile-file", table));
    EXPECT_EQ(table[0].name, "kept");
}

// A FIFO nobody writes to or an endless device fails at once like any
// unreadable file; the call runs under an alarm so that a blocking open fails
// the test instead of hanging it.
TEST_F(ModelProfileLoad, NonRegularFilesAreRefusedWithoutBlocking) {
    const std::string fifo = processTempDir() + "/fifo.prof";
    ASSERT_TRUE(testsupport::makeFifo(fifo));
    for (const std::string& path : {fifo, std::string("/dev/zero")}) {
        testing::internal::CaptureStdout(); // the chunk reader's messages
        const testsupport::Outcome o =
            testsupport::runBounded([&] { return loadModelProfiles(path, table); });
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(o, testsupport::Outcome::kFalse) << path << ": " << testsupport::outcomeName(o);
    }
}

TEST_F(ModelProfileLoad, TruncatedFileReadsWhatIsThere) {
    Bytes bytes = riffFile(
        {{chunk("Name", text(std::string("cut\0", 4))), chunk("Mdac", floats(rampDac()))}});
    bytes.erase(bytes.end() - 1024, bytes.end()); // the DAC chunk loses its last 256 values
    ASSERT_TRUE(load(bytes));
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table[0].name, "cut");
    // Only Mdac[0..255] are there; the unread middle value is 0.0.
    EXPECT_EQ(table[0].dacCurve[255], 255 * 32);
    EXPECT_EQ(table[0].dacCurve[256], 0);
    EXPECT_EQ(table[0].dacCurve[511], 0);
}
