// The extension commands as the host sends them (opcode 20 with a command
// record pointing at a host-owned extension record), the master settings,
// and the listener operations that report to the host.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ChipWrapTestSupport.h"

using namespace wraptest;
namespace fs = std::filesystem;

namespace {

// A host record of `size` bytes followed by guard bytes that must stay.
struct HostBlock {
    explicit HostBlock(uint32_t id, size_t size) : bytes(size + kGuard, 0) {
        std::fill(bytes.begin() + size, bytes.end(), 0xEE);
        header()->id = id;
        this->size = size;
    }
    ExtensionHeader* header() { return reinterpret_cast<ExtensionHeader*>(bytes.data()); }
    template <typename T> T* as() { return reinterpret_cast<T*>(bytes.data()); }
    bool guardIntact() const {
        return std::all_of(bytes.begin() + size, bytes.end(), [](uint8_t b) { return b == 0xEE; });
    }
    static constexpr size_t kGuard = 64;
    std::vector<uint8_t> bytes;
    size_t size;
};

struct Fixture {
    Fixture() : w(&host.record, "MD", NoteController::make) {
        dispatchEntry(w.getRecord(), PLUGIN_OP_ACTIVATE, nullptr, nullptr);
    }
    int32_t send(HostBlock& b, uint64_t action, uint64_t sizeField, uint32_t key = 0) {
        ExtensionCommand c = {};
        c.record = b.bytes.data();
        c.size = sizeField;
        c.action = action;
        c.key = key;
        int32_t result = 12345;
        dispatchEntry(w.getRecord(), PLUGIN_OP_EXTENSION, &c, &result);
        return result;
    }
    int32_t send(HostBlock& b, uint64_t action) { return send(b, action, b.size); }
    NoteController& notes() { return *static_cast<NoteController*>(w.getController()); }

    FakeHost host;
    ChipWrap w;
};

TEST(ChipWrapExtensions, RecordsSmallerThanTheirLayoutAreRefused) {
    const struct {
        uint32_t id;
        size_t size;
        uint64_t action;
    } cases[] = {
        {EXT_PARAMETER_MONITOR, sizeof(ParameterMonitorRecord), 0},
        {EXT_MOD_MATRIX, sizeof(TextRecord), 0},
        {EXT_MOD_MATRIX, sizeof(TextRecord), 1},
        {EXT_SYNTH_BUFFER_A, sizeof(StepDataRecord), 0},
        {EXT_SYNTH_BUFFER_B, kCurveDataRecordSize, 0},
        {EXT_PIXEL_CANVAS, sizeof(PixelCanvasExtension), 0},
        {EXT_DAC_SAMPLES, sizeof(DacSamplesRecord), 0},
        {EXT_SYSEX_RECEIVER, kInstrumentBlockSize, 0},
    };
    for (const auto& c : cases) {
        Fixture f;
        HostBlock small(c.id, c.size - 1);
        EXPECT_EQ(f.send(small, c.action), -1) << c.id;
        EXPECT_TRUE(small.guardIntact()) << c.id;
        HostBlock fits(c.id, c.size);
        EXPECT_NE(f.send(fits, c.action), -1) << c.id;
        EXPECT_TRUE(fits.guardIntact()) << c.id;
    }
}

TEST(ChipWrapExtensions, UnknownOrMissingRecordsAnswerMinusOne) {
    Fixture f;
    HostBlock unknown(4711, 64);
    EXPECT_EQ(f.send(unknown, 0), -1);
    ExtensionCommand empty = {};
    int32_t result = 0;
    dispatchEntry(f.w.getRecord(), PLUGIN_OP_EXTENSION, &empty, &result);
    EXPECT_EQ(result, -1);
    // Without a synth the synth's extensions are refused.
    ChipWrap plain(nullptr, "DUMMY");
    HostBlock monitor(EXT_PARAMETER_MONITOR, sizeof(ParameterMonitorRecord));
    ExtensionCommand c = {};
    c.record = monitor.bytes.data();
    c.size = monitor.size;
    dispatchEntry(plain.getRecord(), PLUGIN_OP_EXTENSION, &c, &result);
    EXPECT_EQ(result, -1);
}

TEST(ChipWrapExtensions, MonitorFeeds) {
    Fixture f;
    HostBlock b(EXT_PARAMETER_MONITOR, sizeof(ParameterMonitorRecord));
    EXPECT_EQ(f.send(b, 0), 1);
    EXPECT_EQ(f.send(b, 1), 0);
    auto* m = b.as<ParameterMonitorRecord>();
    EXPECT_EQ(m->header.sizeWord, 32768u);
    EXPECT_EQ(m->header.parameterWord, 1000u);
    EXPECT_EQ(m->header.flags, 8u);
    // Mode 2 watches a key once.
    f.w.controllerParameterValue(5, 2, 0.0f);
    f.w.controllerParameterValue(5, 2, 0.0f);
    EXPECT_EQ(m->keyCount, 1u);
    EXPECT_EQ(m->keys[0], 773);
    EXPECT_EQ(m->values[773], 8388608.0f);
    // Mode 1 tells the host only about a changed value.
    f.w.controllerParameterValue(5, 1, 0.5f);
    f.w.controllerParameterValue(5, 1, 0.5f);
    EXPECT_EQ(f.host.count(HOST_OP_EXT_CHANGED, 2), 1u);
    // A host count beyond the list is not trusted.
    m->keyCount = 100000;
    f.w.layerFieldValue(1, 1, 2, 0.0f);
    EXPECT_TRUE(b.guardIntact());
}

TEST(ChipWrapExtensions, StepDataRecordsAreKeptOnceAndAtMostFifteen) {
    Fixture f;
    std::vector<std::unique_ptr<HostBlock>> blocks;
    for (int i = 0; i < 17; ++i) {
        blocks.push_back(std::make_unique<HostBlock>(EXT_SYNTH_BUFFER_A, sizeof(StepDataRecord)));
        EXPECT_EQ(f.send(*blocks.back(), 0), 0);
        EXPECT_EQ(f.send(*blocks.back(), 1), 0); // sent again
    }
    EXPECT_EQ(f.notes().stepBlocks.size(), 15u);
    EXPECT_EQ(blocks[0]->as<StepDataRecord>()->word32, 0x7F0000u);
    EXPECT_EQ(blocks[0]->header()->flags & 0x11, 0x10u);
}

TEST(ChipWrapExtensions, ModulationMatrixTextReachesTheSynth) {
    Fixture f;
    HostBlock b(EXT_MOD_MATRIX, sizeof(TextRecord));
    EXPECT_EQ(f.send(b, 0), 1);
    EXPECT_EQ(b.header()->flags, 0x38u);
    const std::string text = "SOURCE=CC1;DESTINATION=L01 DETUNE";
    std::memcpy(b.as<TextRecord>()->text, text.c_str(), text.size() + 1);
    EXPECT_EQ(f.send(b, 2), 1);
    EXPECT_EQ(f.notes().modMatrixText, text);
    EXPECT_EQ(b.header()->sizeWord, text.size() + 32);
    // An unterminated text stops at the record's end.
    std::memset(b.as<TextRecord>()->text, 'A', sizeof(TextRecord::text));
    EXPECT_EQ(f.send(b, 1), 1);
    EXPECT_EQ(f.notes().modMatrixText.size(), sizeof(TextRecord::text) - 1);
    EXPECT_TRUE(b.guardIntact());
    // The controller's text is written back into the record.
    f.w.setModMatrixText("SOURCE=CC2;DESTINATION=L02 AMP");
    EXPECT_STREQ(b.as<TextRecord>()->text, "SOURCE=CC2;DESTINATION=L02 AMP");
    EXPECT_EQ(f.notes().modMatrixText, "SOURCE=CC2;DESTINATION=L02 AMP");
}

TEST(ChipWrapExtensions, NameTableEntriesTakeTheControllerTexts) {
    Fixture f;
    HostBlock zero(EXT_NAME_TABLE, sizeof(TextRecord)), one(EXT_NAME_TABLE, sizeof(TextRecord));
    EXPECT_EQ(f.send(zero, 0, 0), 1);
    EXPECT_EQ(f.send(one, 0, 1), 1);
    EXPECT_EQ(zero.header()->flags & 0x30, 0x30u);
    EXPECT_EQ(one.header()->flags & 0x30, 0u);
    EXPECT_EQ(zero.header()->parameterWord, 1818u);
    f.w.setNameText1("Green Hill");
    EXPECT_STREQ(one.as<TextRecord>()->text, "Green Hill");
    EXPECT_EQ(f.host.calls.back().b, one.bytes.data());
}

TEST(ChipWrapExtensions, LoadFileReportsFilesItCannotLoad) {
    const fs::path dir = fs::temp_directory_path() / ("chipwrap-" + std::to_string(getpid()));
    fs::create_directories(dir);
    setenv("TMPDIR", dir.c_str(), 1);
    { std::ofstream(dir / "notes.txt") << "neither media nor a patch"; }
    Fixture f;
    HostBlock b(EXT_LOAD_FILE, sizeof(LoadFileRecord));
    auto* r = b.as<LoadFileRecord>();
    const struct {
        std::string path;
        int32_t result;
    } cases[] = {{"", -1},
                 {(dir / "missing.vgm").string(), -1},
                 {dir.string(), -1},
                 {(dir / "notes.txt").string(), -1}};
    for (const auto& c : cases) {
        std::memset(r->path, 0, sizeof r->path);
        std::memcpy(r->path, c.path.c_str(), c.path.size());
        EXPECT_EQ(f.send(b, 1, 0), c.result) << c.path;
    }
    std::memset(r->path, 'x', sizeof r->path); // no terminator
    EXPECT_EQ(f.send(b, 1, 0), -1);
    // Slot 2 names where images are published.
    EXPECT_EQ(f.send(b, 0, 2), 0);
    const uint8_t png[4] = {0x89, 'P', 'N', 'G'};
    f.w.publishImageFile(png, sizeof png);
    const std::string first = r->path;
    EXPECT_EQ(fs::path(first).extension(), ".png");
    EXPECT_EQ(fs::file_size(first), 4u);
    f.w.publishImageFile(png, sizeof png);
    EXPECT_FALSE(fs::exists(first)); // the previous one is deleted
    fs::remove_all(dir);
    unsetenv("TMPDIR");
}

TEST(ChipWrapExtensions, PixelCanvasIsHandedToTheController) {
    Fixture f;
    HostBlock b(EXT_PIXEL_CANVAS, sizeof(PixelCanvasExtension));
    EXPECT_EQ(f.send(b, 0), 1);
    EXPECT_EQ(b.header()->sizeWord, 308012u);
    f.w.canvasUpdated();
    EXPECT_EQ(f.host.calls.back().opcode, HOST_OP_EXT_CHANGED);
    EXPECT_EQ(f.host.calls.back().b, b.bytes.data());
}

TEST(ChipWrapExtensions, ListenerReportsToTheHost) {
    Fixture f;
    f.w.paramInfoChanged(0, 3, 5);
    EXPECT_EQ(f.host.calls.back().opcode, HOST_OP_PARAMS_CHANGED);
    EXPECT_EQ(f.host.calls.back().range[0], 771u);
    EXPECT_EQ(f.host.calls.back().range[1], 773u);
    uint8_t block[128] = {1, 2, 3};
    f.w.sendInfoBlock(block);
    EXPECT_EQ(f.host.calls.back().opcode, HOST_OP_INFO_BLOCK);
    EXPECT_EQ(f.host.calls.back().a, 33028);
    f.w.notifyPacked(block, 3, 1);
    EXPECT_EQ(f.host.calls.back().a, (int64_t(1) << 32) + 3);
    f.w.setChannelGain(1, 3);
    EXPECT_EQ(f.w.getOutputGain(1), 0.25f);
    f.w.setLowPassCutoff(0, -1.0);
    EXPECT_EQ(f.w.getLowPassCutoff(0), 22050.0);
    f.w.setHighPassCutoff(9, 10.0); // no such channel
}

TEST(ChipWrapExtensions, MasterSettings) {
    Fixture f;
    MasterSetting s = {};
    s.code = 1;
    s.value = -1.0;
    dispatchEntry(f.w.getRecord(), PLUGIN_OP_MASTER_SETTING, &s, nullptr);
    EXPECT_EQ(f.notes().bendRange, 200.0f);
    s.value = 1200.0;
    dispatchEntry(f.w.getRecord(), PLUGIN_OP_MASTER_SETTING, &s, nullptr);
    EXPECT_EQ(f.notes().bendRange, 1200.0f);
    s.code = 3;
    s.integer = 4;
    dispatchEntry(f.w.getRecord(), PLUGIN_OP_MASTER_SETTING, &s, nullptr);
    EXPECT_EQ(f.notes().voiceCount, 4u);
    s.code = 10;
    dispatchEntry(f.w.getRecord(), PLUGIN_OP_MASTER_SETTING, &s, nullptr);
    EXPECT_EQ(f.notes().tuning, static_cast<VSX::NoteTuningSource*>(&f.w));
}

} // namespace
