#include "nks/MetadataBuilder.h"
#include "nks/PageTable.h"
#include "nks/WriteVANTOR.h"
#include "nks/support/ConsoleParameters.h"
#include "nks/support/MsgpackReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using namespace nks::metadata;
using testsupport::asString;
using testsupport::DecodedMessage;
using testsupport::findKey;

using Bytes = std::vector<uint8_t>;

Metadata instrumentMetadata() {
    static const std::vector<vantor::ParameterInfo> table = testsupport::consoleParameters(1105);
    return buildMetadata(300, [](uint32_t id) -> const vantor::ParameterInfo* {
        return id < table.size() ? &table[id] : nullptr;
    });
}

// How often `pattern` occurs in `bytes`.
size_t occurrences(const Bytes& bytes, const Bytes& pattern) {
    size_t n = 0;
    for (auto it = bytes.begin();
         (it = std::search(it, bytes.end(), pattern.begin(), pattern.end())) != bytes.end(); ++it)
        ++n;
    return n;
}

Bytes keyBytes(const std::string& key) { // a short string: fixstr header and the letters
    Bytes bytes = {static_cast<uint8_t>(0xA0 | key.size())};
    bytes.insert(bytes.end(), key.begin(), key.end());
    return bytes;
}

uint64_t asUnsigned(const msgpack_object* o) {
    return o && o->type == MSGPACK_OBJECT_POSITIVE_INTEGER ? o->via.u64 : 0xDEADBEEF;
}

std::vector<std::string> asStrings(const msgpack_object* o) {
    std::vector<std::string> out;
    if (!o || o->type != MSGPACK_OBJECT_ARRAY) return {"<not an array>"};
    for (uint32_t i = 0; i < o->via.array.size; ++i) out.push_back(asString(o->via.array.ptr[i]));
    return out;
}

const msgpack_object* at(const msgpack_object* array, uint32_t i) {
    if (!array || array->type != MSGPACK_OBJECT_ARRAY || i >= array->via.array.size) return nullptr;
    return &array->via.array.ptr[i];
}

uint32_t sizeOf(const msgpack_object* o) {
    if (!o) return 0;
    if (o->type == MSGPACK_OBJECT_ARRAY) return o->via.array.size;
    if (o->type == MSGPACK_OBJECT_MAP) return o->via.map.size;
    return 0;
}

// Checks one decoded section {"name", "parameters": [{"id", "name"}]}.
void expectSection(const msgpack_object* section, const std::string& name,
                   const std::vector<std::pair<uint32_t, std::string>>& parameters) {
    ASSERT_NE(section, nullptr);
    EXPECT_EQ(sizeOf(section), 2u);
    EXPECT_EQ(asString(findKey(*section, "name")), name);
    const msgpack_object* list = findKey(*section, "parameters");
    ASSERT_EQ(sizeOf(list), parameters.size());
    for (uint32_t i = 0; i < parameters.size(); ++i) {
        const msgpack_object* p = at(list, i);
        EXPECT_EQ(sizeOf(p), 2u);
        EXPECT_EQ(asUnsigned(findKey(*p, "id")), parameters[i].first) << i;
        EXPECT_EQ(asString(findKey(*p, "name")), parameters[i].second) << i;
    }
}

TEST(WriteVANTOR, InstrumentMessageDecodesFieldByField) {
    const Metadata metadata = instrumentMetadata();
    Bytes bytes;
    ASSERT_EQ(writeVANTOR(metadata, bytes), Result());
    DecodedMessage decoded(bytes);
    ASSERT_TRUE(decoded.ok);
    const msgpack_object& root = decoded.root();
    EXPECT_EQ(sizeOf(&root), 3u);
    EXPECT_EQ(asUnsigned(findKey(root, "version")), 1u);

    // Descriptive information: one entry per described id, four fields each.
    const msgpack_object* info = findKey(root, "parameter_descriptive_info");
    ASSERT_EQ(sizeOf(info), metadata.parameter_descriptive_info.size());
    for (const auto& [id, a] : metadata.parameter_descriptive_info) {
        SCOPED_TRACE(id);
        const msgpack_object* entry = findKey(*info, uint64_t(id));
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(sizeOf(entry), 4u);
        EXPECT_EQ(asUnsigned(findKey(*entry, "type")), uint64_t(a.type));
        EXPECT_EQ(asUnsigned(findKey(*entry, "style")), uint64_t(a.style));
        EXPECT_EQ(asUnsigned(findKey(*entry, "value_count")), a.value_count);
        EXPECT_EQ(asStrings(findKey(*entry, "display_values")), a.display_values);
    }

    // Navigation: the performance table, then the 30 pages of the page table.
    const msgpack_object* navigation = findKey(root, "parameter_navigation");
    ASSERT_EQ(sizeOf(navigation), 2u);
    const msgpack_object* perf = findKey(*navigation, "performance_mode");
    ASSERT_EQ(sizeOf(perf), 1u);
    std::vector<std::pair<uint32_t, std::string>> perfEntries;
    for (const nks::NKS2PerfEntry& e : nks::g_perf.entries)
        perfEntries.emplace_back(uint32_t(e.id), e.name);
    expectSection(at(perf, 0), nks::g_perf.name, perfEntries);

    const msgpack_object* groups = findKey(*navigation, "groups");
    ASSERT_EQ(sizeOf(groups), nks::kMacroPages);
    for (uint32_t page = 0; page < nks::kMacroPages; ++page) {
        const nks::NKS2MacroSlot* slots = &nks::g_macros[page * nks::kMacroSlotsPerPage];
        SCOPED_TRACE(slots[0].page);
        const msgpack_object* group = at(groups, page);
        EXPECT_EQ(sizeOf(group), 2u);
        EXPECT_EQ(asString(findKey(*group, "name")), slots[0].page);
        const msgpack_object* sections = findKey(*group, "sections");
        ASSERT_EQ(sizeOf(sections), 1u);
        std::vector<std::pair<uint32_t, std::string>> expected;
        for (size_t s = 0; s < nks::kMacroSlotsPerPage; ++s)
            expected.emplace_back(slots[s].id < 0 ? 0xFFFFFFFFu : uint32_t(slots[s].id),
                                  slots[s].name);
        expectSection(at(sections, 0), slots[0].page, expected);
    }

    // The version entry is the key and a fixint 1; every empty slot's id is uint32 0xFFFFFFFF.
    Bytes version = keyBytes("version");
    version.push_back(0x01);
    EXPECT_EQ(occurrences(bytes, version), 1u);
    Bytes emptySlot = keyBytes("id");
    emptySlot.insert(emptySlot.end(), {0xCE, 0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(occurrences(bytes, emptySlot), 56u);
}

TEST(WriteVANTOR, EmptyDescriptiveMapIsAnEmptyMap) {
    Metadata metadata;
    metadata.parameter_navigation.performance_mode = {{"Perf", {{1, "One"}}}};
    Bytes bytes;
    ASSERT_EQ(writeVANTOR(metadata, bytes), Result());
    const std::string key = "parameter_descriptive_info";
    Bytes pattern = {0xBA}; // fixstr of 26 bytes
    pattern.insert(pattern.end(), key.begin(), key.end());
    pattern.push_back(0x80);
    EXPECT_EQ(occurrences(bytes, pattern), 1u);
    DecodedMessage decoded(bytes);
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(sizeOf(findKey(*findKey(decoded.root(), "parameter_navigation"), "groups")), 0u);
}

TEST(WriteVANTOR, RefusedMetadataWritesNothing) {
    Metadata metadata = instrumentMetadata();
    metadata.parameter_navigation.performance_mode.clear();
    Bytes bytes = {1, 2, 3};
    EXPECT_EQ(writeVANTOR(metadata, bytes).id, Result::performanceModeUndefined);
    EXPECT_EQ(bytes, (Bytes{1, 2, 3}));
}

TEST(WriteVANTOR, AppendsAfterWhatTheListHolds) {
    Bytes alone, after = {0xC0};
    ASSERT_EQ(writeVANTOR(instrumentMetadata(), alone), Result());
    ASSERT_EQ(writeVANTOR(instrumentMetadata(), after), Result());
    ASSERT_EQ(after.size(), alone.size() + 1);
    EXPECT_EQ(after[0], 0xC0);
    DecodedMessage decoded(Bytes(after.begin() + 1, after.end()));
    EXPECT_TRUE(decoded.ok);
}

// A host stream: answers with a status and a count, and keeps what it was given.
struct FakeStream {
    int32_t status = 0;
    int32_t taken = -2; // -2: take everything; -1: leave the count untouched
    int calls = 0;
    Bytes received;

    int32_t write(void* buffer, int32_t size, int32_t* written) {
        ++calls;
        const int32_t n = taken == -2 || taken == -1 ? size : taken;
        const auto* bytes = static_cast<const uint8_t*>(buffer);
        received.assign(bytes, bytes + n);
        if (written && taken != -1) *written = n;
        return status;
    }
};

TEST(WriteVANTOR, StreamWriteReportsFailure) {
    struct Case {
        const char* name;
        int32_t status, taken;
        bool expected;
    };
    const Case cases[] = {
        {"takes all", 0, -2, true},   {"takes all without counting", 0, -1, true},
        {"fails", 1, -2, false},      {"fails without counting", 1, -1, false},
        {"takes some", 0, 10, false}, {"takes nothing", 0, 0, false},
    };
    Bytes message;
    ASSERT_EQ(writeVANTOR(instrumentMetadata(), message), Result());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeStream stream;
        stream.status = c.status;
        stream.taken = c.taken;
        EXPECT_EQ(writeMessageToStream(stream, message), c.expected);
        EXPECT_EQ(stream.calls, 1); // the whole message in one write
        if (c.expected) {
            EXPECT_EQ(stream.received, message);
        }
    }
}

} // namespace
