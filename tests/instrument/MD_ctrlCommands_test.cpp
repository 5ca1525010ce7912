#include "instrument/MD_ctrl.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "ConsoleFixture.h"
#include "engine-support/Mutex.h"
#include "engine-support/VNTFile.h"
#include "instrument/PatchFiles.h"

using namespace insttest;
namespace fs = std::filesystem;

namespace {

// A folder of its own for the files of one test, with TMPDIR pointing into
// it while the test runs.
struct Folder {
    fs::path root;
    std::string savedTmp;
    Folder() {
        const char* tmp = std::getenv("TMPDIR");
        savedTmp = tmp ? tmp : "";
        std::string pattern = (savedTmp.empty() ? "/tmp" : savedTmp) + "/md-ctrl-XXXXXX";
        root = mkdtemp(pattern.data());
        setenv("TMPDIR", root.c_str(), 1);
    }
    ~Folder() {
        if (savedTmp.empty())
            unsetenv("TMPDIR");
        else
            setenv("TMPDIR", savedTmp.c_str(), 1);
        fs::remove_all(root);
    }
    std::string write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        std::ofstream(root / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return (root / name).string();
    }
    static std::vector<uint8_t> read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

bool import(MD_ctrl& ctrl, int32_t instrument, const std::string& path) {
    vantor::VNTFile file(path);
    return ctrl.importPatch(instrument, &file);
}

// A TFI image in the canonical form every field reads back to: detune in
// 0..6, SSG 0 or 8..15.
std::vector<uint8_t> canonicalTfi() {
    std::vector<uint8_t> b = {5, 3};
    for (int op = 0; op < 4; ++op) {
        const uint8_t block[10] = {uint8_t(op + 2),          uint8_t(op + 1),  uint8_t(10 + op),
                                   uint8_t(op & 3),          uint8_t(31 - op), uint8_t(12 + op),
                                   uint8_t(3 + op),          uint8_t(9 - op),  uint8_t(4 + op),
                                   uint8_t(op == 1 ? 11 : 0)};
        b.insert(b.end(), block, block + 10);
    }
    return b;
}

struct Monitor : ChipController::RegisterMonitor {
    void clear() override { ++clears; }
    void refresh(int32_t) override { ++refreshes; }
    void registerValue(uint32_t reg, uint32_t value, uint32_t port) override {
        values.push_back({reg, value, port});
    }
    int clears = 0, refreshes = 0;
    std::vector<std::array<uint32_t, 3>> values;
};

} // namespace

TEST(MD_ctrlCommands, TfiImportedAndExportedGivesTheSameBytes) {
    Folder folder;
    Console con;
    const std::vector<uint8_t> tfi = canonicalTfi();
    ASSERT_TRUE(import(*con.ctrl, 0, folder.write("in.tfi", tfi)));
    EXPECT_EQ(con.ctrl->masterShadow().instruments[0].words[PatchRecord::kAlgorithm], 5);
    // The imported instrument reached the host and the voice units.
    EXPECT_EQ(con.ctrl->voiceShadow(2).instruments[0].words[PatchRecord::kFeedback], 3);
    ASSERT_TRUE(con.ctrl->exportPatch(0, (folder.root / "out").c_str()));
    EXPECT_EQ(Folder::read(folder.root / "out.tfi"), tfi);
    ASSERT_TRUE(con.ctrl->exportPatch(0, (folder.root / "again.TFI").c_str()));
    EXPECT_EQ(Folder::read(folder.root / "again.TFI"), tfi);
}

TEST(MD_ctrlCommands, ImportChoosesTheFormatByExtensionAndSize) {
    Folder folder;
    Console con;
    std::vector<uint8_t> dmp;
    writeDmpPatch(con.ctrl->masterShadow().instruments[1], dmp);
    struct Case {
        int32_t instrument;
        std::string name;
        std::vector<uint8_t> bytes;
        bool ok;
    } cases[] = {
        {0, "a.tfi", canonicalTfi(), true},
        {0, "a.tfi", std::vector<uint8_t>(43, 1), false},
        {1, "b.dmp", dmp, true},
        {1, "b.dmp", std::vector<uint8_t>(50, 0), false},
        {0, "c.y12", std::vector<uint8_t>(128, 3), true},
        {0, "c.y12", std::vector<uint8_t>(127, 3), false},
        {0, "d.morvanep", std::vector<uint8_t>(64, 'x'), false}, // C..P only
        {0, "noextension", canonicalTfi(), false},
        {0, "empty.tfi", {}, false},
        {16, "a.tfi", canonicalTfi(), false},
        {-1, "a.tfi", canonicalTfi(), false},
        {2, "a.tfi", canonicalTfi(), false}, // C without the host's block
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name + " " + std::to_string(c.bytes.size()));
        EXPECT_EQ(import(*con.ctrl, c.instrument, folder.write(c.name, c.bytes)), c.ok);
    }
    EXPECT_FALSE(con.ctrl->importPatch(0, nullptr));
    EXPECT_FALSE(con.ctrl->exportPatch(0, nullptr));
    EXPECT_FALSE(con.ctrl->exportPatch(5, (folder.root / "c").c_str()));
}

// A refused OPM bank leaves the instrument as it was.
TEST(MD_ctrlCommands, RefusedOpmLeavesTheInstrument) {
    Folder folder;
    Console con;
    const std::string text = "@:0 half\nM1: 31 0 0 15 0 20 0 1 0 0 0\n";
    const PatchRecord before = con.ctrl->masterShadow().instruments[0];
    EXPECT_FALSE(import(*con.ctrl, 0, folder.write("x.opm", {text.begin(), text.end()})));
    EXPECT_EQ(std::memcmp(&before, &con.ctrl->masterShadow().instruments[0], sizeof before), 0);
}

// A channel of the media unit captured into instrument B and played on L01
// writes the same registers the media channel had.
TEST(MD_ctrlCommands, CaptureIntoBReproducesTheChannel) {
    Console con;
    const uint64_t port = 1; // channel 5: port 1, offset 1
    const uint8_t off = 1;
    // Algorithm 4: operators at offsets 8 and 12 are the carriers, at full level.
    const uint8_t regs[][4] = {
        {0x30, 0x34, 0x22, 0x15}, {0x40, 0x20, 0x00, 0x00}, {0x50, 0x5F, 0x9A, 0x0C},
        {0x60, 0x08, 0x1F, 0x10}, {0x70, 0x03, 0x07, 0x00}, {0x80, 0x4F, 0xA3, 0x12},
        {0x90, 0x00, 0x0B, 0x00},
    };
    for (const auto& r : regs) {
        con.ctrl->writeRegister(6, uint8_t(r[0] + off), r[1], port);
        con.ctrl->writeRegister(6, uint8_t(r[0] + off + 4), r[1], port);
        con.ctrl->writeRegister(6, uint8_t(r[0] + off + 8), r[2], port);
        con.ctrl->writeRegister(6, uint8_t(r[0] + off + 12), r[3], port);
    }
    con.ctrl->writeRegister(6, 0xB0 + off, 0x2C, port); // feedback 5, algorithm 4
    con.ctrl->writeRegister(6, 0xB4 + off, 0xC0 | 0x25, port);
    con.ctrl->writeRegister(6, 0x22, 0x0B, 0); // LFO rate 3

    con.ctrl->command(16 + 6 + 4, nullptr, 1.0); // channel 5 into B
    con.ctrl->setParameter(144, 1);              // L01 plays B
    const uint8_t channelRegs[] = {0x30, 0x50, 0x60, 0x70, 0x80, 0x90};
    for (uint8_t base : channelRegs)
        for (uint8_t opOffset : {0, 4, 8, 12}) {
            const uint8_t r = uint8_t(base + opOffset);
            EXPECT_EQ(con.reg(0, r), con.reg(6, uint8_t(r + off), port)) << std::hex << int(r);
        }
    EXPECT_EQ(con.reg(0, 0xB0), 0x2C);
    EXPECT_EQ(con.reg(0, 0xB4) & 0x3F, 0x25);
    const PatchRecord& b = con.ctrl->masterShadow().instruments[1];
    EXPECT_EQ(b.op(0, PatchRecord::kLevel), 127 - 0x20);
    EXPECT_EQ(b.op(1, PatchRecord::kLevel), 127); // carrier at TL 0: no boost needed
    EXPECT_EQ(con.ctrl->masterShadow().lfoRate, 3);
    EXPECT_EQ(con.reg(0, 0x22), 0x0B);
}

// Channel 3 in its special mode: operator pitches become offsets; an
// operator with F-number 0 gets none.
TEST(MD_ctrlCommands, CaptureOfChannelThreeSpecialMode) {
    Console con;
    auto freq = [&](uint8_t high, uint8_t low, int block, int fnum) {
        con.ctrl->writeRegister(6, high, uint8_t((block << 3) | (fnum >> 8)), 0);
        con.ctrl->writeRegister(6, low, uint8_t(fnum & 0xFF), 0);
    };
    con.ctrl->writeRegister(6, 0x27, 0x40, 0);
    freq(0xA6, 0xA2, 4, 1000); // the channel's own (operator block 3)
    freq(0xAD, 0xA9, 5, 1000); // block 0: one octave up
    freq(0xAE, 0xAA, 0, 0);    // block 1: silent
    freq(0xAC, 0xA8, 4, 1059); // block 2: 99 cents up
    con.ctrl->command(16 + 2, nullptr, 1.0);
    const Ch3Settings& ch3 = con.ctrl->masterShadow().ch3;
    EXPECT_EQ(ch3.mode, 1);
    EXPECT_EQ(ch3.coarse[0], 12);
    EXPECT_EQ(ch3.fine[0], 0);
    EXPECT_EQ(ch3.coarse[1], 0);
    EXPECT_EQ(ch3.fine[1], 0);
    EXPECT_EQ(ch3.coarse[2], 0);
    EXPECT_EQ(ch3.fine[2], 99);
    EXPECT_EQ(ch3.coarse[3], 0);
    // Applied to every voice unit: channel 3 runs in its special mode.
    EXPECT_EQ(con.reg(4, 0x27) & 0xC0, 0x40);
}

// Commands on instruments C..P: copies in both directions, and every
// instrument number and capture source range-checked.
TEST(MD_ctrlCommands, CopyCommandsCheckTheirInstruments) {
    Console con;
    vantor::Mutex mutex("commands", false);
    // Without the host's block nothing on C..P happens.
    con.ctrl->command(28, &mutex, 1.0);
    con.ctrl->command(42, &mutex, 0.0);
    con.ctrl->command(56, &mutex, 1.0);
    con.ctrl->command(62, &mutex, 1.0);
    EXPECT_TRUE(mutex.tryLock());
    mutex.unlock();

    std::vector<uint8_t> block(MD_ctrl::kBlockSize);
    con.ctrl->attachInstrumentBlock(block.data(), block.size(), 0);
    con.ctrl->masterShadow().instruments[1].op(1, PatchRecord::kMult) = 11;
    con.ctrl->command(28, &mutex, 1.0); // B into C
    EXPECT_EQ(con.ctrl->instrumentRecord(2)->op(1, PatchRecord::kMult), 11);
    con.ctrl->command(42, &mutex, 7.0); // C into H
    EXPECT_EQ(con.ctrl->instrumentRecord(7)->op(1, PatchRecord::kMult), 11);
    con.ctrl->command(43, &mutex, 0.0); // D into A
    EXPECT_EQ(con.ctrl->masterShadow().instruments[0].op(1, PatchRecord::kMult), 0);

    const std::vector<uint8_t> before = block;
    for (double bad : {16.5 + 6.0, 99.0, -1.0, 1e300, -1e300}) con.ctrl->command(30, &mutex, bad);
    for (double bad : {16.0, 99.0, -1.0, 1e300}) con.ctrl->command(50, &mutex, bad);
    con.ctrl->command(200, &mutex, 1.0);
    EXPECT_EQ(block, before);
    EXPECT_TRUE(mutex.tryLock());
    mutex.unlock();
}

TEST(MD_ctrlCommands, RandomiseOnlyWithAValue) {
    Console con;
    const PatchRecord before = con.ctrl->masterShadow().instruments[0];
    con.ctrl->command(0, nullptr, 0.0);
    EXPECT_EQ(std::memcmp(&before, &con.ctrl->masterShadow().instruments[0], sizeof before), 0);
    con.listener.ranges.clear();
    con.ctrl->command(0, nullptr, 1.0);
    ASSERT_EQ(con.listener.ranges.size(), 1u);
    EXPECT_EQ(con.listener.ranges[0], std::make_pair(uint64_t(0), uint64_t(72)));
}

TEST(MD_ctrlCommands, MasterCommands) {
    Console con;
    con.ctrl->masterCommand(0, nullptr, 2.0);
    EXPECT_EQ(con.ctrl->layerTarget[0], 1u);
    EXPECT_EQ(con.ctrl->layerTarget[9], 1u);
    EXPECT_EQ(con.ctrl->requestedLowerZone, 0u);
    EXPECT_EQ(con.ctrl->requestedUpperZone, 15u);

    con.ctrl->masterCommand(1, nullptr, 100.0);
    EXPECT_EQ(con.ctrl->fm[5][2]->fnumLimit, 1820);
    Console old(1104);
    old.ctrl->masterCommand(1, nullptr, 100.0);
    EXPECT_EQ(old.ctrl->fm[5][2]->fnumLimit, 1920);

    Monitor monitor;
    con.ctrl->registerMonitor = &monitor;
    con.ctrl->writeRegister(3, 0x44, 0x55, 1);
    con.ctrl->masterCommand(2, nullptr, 3.0);
    EXPECT_EQ(monitor.clears, 1);
    ASSERT_EQ(monitor.values.size(), 512u);
    EXPECT_EQ(monitor.values[256 + 0x44], (std::array<uint32_t, 3>{0x44, 0x55, 1}));
    monitor.values.clear();
    for (double none : {7.0, 9.0, -2.0}) {
        con.ctrl->masterCommand(2, nullptr, none);
        EXPECT_EQ(con.ctrl->monitoredUnit, 7u);
    }
    EXPECT_TRUE(monitor.values.empty());
    con.ctrl->registerMonitor = nullptr;
}
