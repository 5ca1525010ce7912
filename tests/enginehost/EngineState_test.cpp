// The engine host's own tables and formats: VST3 ids against the NKS pages
// that lay the layer fields out, and the state chunk written, read back and
// refused when it is not whole.
#include "enginehost/EngineStateChunk.h"
#include "enginehost/HostParameterIds.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "nks/PageTable.h"

using morvane::EngineStateChunk;

namespace {

TEST(HostParameterIds, InstrumentIdsAndPageLayerFieldsReachTheirEngineIds) {
    for (uint32_t id = 0; id < 191; ++id) EXPECT_EQ(morvane::engineIdForHostId(id), 768 + int(id));
    for (uint32_t id = 239; id < 300; ++id)
        EXPECT_EQ(morvane::engineIdForHostId(id), morvane::kNoEngineId) << id;
    // Pages 20-29 show layers 1-10; their slot names give the layer field.
    const std::map<std::string, int> fields = {
        {"Active", 0}, {"Delay", 4}, {"Transpose", 5}, {"Detune", 6}, {"Amp", 7}};
    int layerIds = 0;
    for (size_t page = 20; page < nks::kMacroPages; ++page)
        for (size_t slot = 0; slot < nks::kMacroSlotsPerPage; ++slot) {
            const nks::NKS2MacroSlot& s = nks::g_macros[page * nks::kMacroSlotsPerPage + slot];
            if (s.id < 191 || s.id > 238) continue;
            ++layerIds;
            ASSERT_TRUE(fields.count(s.name)) << s.name;
            const int layer = static_cast<int>(page) - 20;
            EXPECT_EQ(morvane::engineIdForHostId(s.id), 512 + 16 * layer + fields.at(s.name))
                << "id " << s.id << " on page " << page;
        }
    EXPECT_EQ(layerIds, 48);
    for (uint32_t id = 0; id < 239; ++id)
        EXPECT_EQ(morvane::hostIdForEngineId(morvane::engineIdForHostId(id)), int(id));
    EXPECT_EQ(morvane::hostIdForEngineId(512 + 16 * 9 + 5), morvane::kNoEngineId);
}

size_t knownRecords(uint32_t id, uint64_t field) {
    if (id == 12499 && field == 32288) return 64;
    if (id == 32391 && field <= 2) return 64;
    return 0;
}

EngineStateChunk sample() {
    EngineStateChunk state;
    state.parameters = {{256, 3.0f}, {768, 0.25f}, {1791, -2.0f}};
    std::vector<uint8_t> text(64, 0);
    std::memcpy(text.data() + 32, "LFO > L01 AMP", 13);
    state.records.push_back({12499, 32288, text});
    state.records.push_back({32391, 1, std::vector<uint8_t>(64, 0)});
    return state;
}

TEST(EngineStateChunk, ReadsBackWhatItWroteWithoutTrailingZeros) {
    const std::vector<uint8_t> bytes = sample().write();
    ASSERT_EQ(bytes.size(), 4 + 4 + 4 + 3 * 8 + 4 + (16 + 45) + 16);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "MVST");
    EngineStateChunk back;
    std::string error;
    ASSERT_TRUE(back.read(bytes.data(), bytes.size(), 1792, knownRecords, error)) << error;
    ASSERT_EQ(back.parameters.size(), 3u);
    EXPECT_EQ(back.parameters[2].engineId, 1791);
    EXPECT_EQ(back.parameters[2].value, -2.0f);
    ASSERT_EQ(back.records.size(), 2u);
    EXPECT_EQ(back.records[0].extensionId, 12499u);
    EXPECT_EQ(back.records[0].commandField, 32288u);
    EXPECT_EQ(std::string(back.records[0].bytes.begin() + 32, back.records[0].bytes.end()),
              "LFO > L01 AMP");
    EXPECT_TRUE(back.records[1].bytes.empty());
}

TEST(EngineStateChunk, RefusesChunksItCannotReadWhole) {
    const std::vector<uint8_t> good = sample().write();
    auto patched = [&](size_t at, std::vector<uint8_t> bytes) {
        std::vector<uint8_t> b = good;
        std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
        return b;
    };
    std::vector<uint8_t> longer = good;
    longer.push_back(0);
    const size_t records = 12 + 3 * 8; // the record count
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"another magic", patched(0, {'M', 'V', 'S', 'X'})},
        {"version 0", patched(4, {0, 0, 0, 0})},
        {"version 2", patched(4, {2, 0, 0, 0})},
        {"a parameter count past the end", patched(8, {0xFF, 0xFF, 0, 0})},
        {"an engine id outside the id space", patched(12 + 8, {0x00, 0x07})},
        {"a record count past the limit", patched(records, {65, 0, 0, 0})},
        {"an unknown record", patched(records + 4, {1, 2, 0, 0})},
        {"a record longer than its room", patched(records + 8, {65, 0, 0, 0})},
        {"a record running past the end", patched(records + 8, {0, 1, 0, 0})},
        {"bytes after the end", longer},
    };
    for (const auto& c : cases) {
        EngineStateChunk state = sample();
        std::string error;
        EXPECT_FALSE(state.read(c.bytes.data(), c.bytes.size(), 1792, knownRecords, error))
            << c.what;
        EXPECT_FALSE(error.empty()) << c.what;
        EXPECT_EQ(state.parameters.size(), 3u) << c.what << ": left untouched";
    }
    for (size_t n = 0; n < good.size(); ++n) {
        EngineStateChunk state;
        std::string error;
        EXPECT_FALSE(state.read(good.data(), n, 1792, knownRecords, error)) << "cut at " << n;
    }
    EngineStateChunk state;
    std::string error;
    EXPECT_FALSE(state.read(nullptr, 10, 1792, knownRecords, error));
}

} // namespace
