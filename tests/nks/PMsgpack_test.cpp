#include "nks/PMsgpack.h"
#include "nks/support/MsgpackReader.h"
#include "support/HexFixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>

namespace {

using namespace std::string_literals;

// `count` one-byte elements (unsigned 0), so the encoding is the header plus `count` bytes.
PMsgArray zeros(size_t count) {
    return PMsgArray(count, pmsgval(0u));
}

// A map of `count` pairs with one-byte keys and values where count allows it.
PMsgIntMap intMapOf(uint32_t count) {
    PMsgIntMap map;
    for (uint32_t k = 0; k < count; ++k) map.emplace(k, pmsgval(0u));
    return map;
}

struct WriterCase {
    const char* name;
    std::function<pmsgval()> value;
    const char* prefix;   // hand-encoded bytes the encoding starts with
    size_t totalSize = 0; // whole encoding length; 0 = exactly the prefix
};

const WriterCase kWriterCases[] = {
    // Unsigned: fixint up to 0x7F, then uint16 (no uint8 form), then uint32.
    {"unsigned 0", [] { return pmsgval(0u); }, "00"},
    {"unsigned 127", [] { return pmsgval(127u); }, "7F"},
    {"unsigned 128", [] { return pmsgval(128u); }, "CD 00 80"},
    {"unsigned 200", [] { return pmsgval(200u); }, "CD 00 C8"},
    {"unsigned 255", [] { return pmsgval(255u); }, "CD 00 FF"},
    {"unsigned 65535", [] { return pmsgval(65535u); }, "CD FF FF"},
    {"unsigned 65536", [] { return pmsgval(65536u); }, "CE 00 01 00 00"},
    {"unsigned 70000", [] { return pmsgval(70000u); }, "CE 00 01 11 70"},
    {"unsigned max", [] { return pmsgval(0xFFFFFFFFu); }, "CE FF FF FF FF"},
    // Signed: always the 5-byte int32 form.
    {"signed 0", [] { return pmsgval(int32_t(0)); }, "D2 00 00 00 00"},
    {"signed 1", [] { return pmsgval(int32_t(1)); }, "D2 00 00 00 01"},
    {"signed -1", [] { return pmsgval(int32_t(-1)); }, "D2 FF FF FF FF"},
    {"signed min", [] { return pmsgval(std::numeric_limits<int32_t>::min()); }, "D2 80 00 00 00"},
    // Float: float32, IEEE single big-endian.
    {"float 1", [] { return pmsgval(1.0f); }, "CA 3F 80 00 00"},
    {"float -2.5", [] { return pmsgval(-2.5f); }, "CA C0 20 00 00"},
    {"float 0", [] { return pmsgval(0.0f); }, "CA 00 00 00 00"},
    {"bool true", [] { return pmsgval(true); }, "C3"},
    {"bool false", [] { return pmsgval(false); }, "C2"},
    // Strings: byte counts, no terminating zero.
    {"empty string", [] { return pmsgval(""s); }, "A0"},
    {"string abc", [] { return pmsgval("abc"s); }, "A3 61 62 63"},
    {"string 31", [] { return pmsgval(std::string(31, 'x')); }, "BF 78", 32},
    {"string 32", [] { return pmsgval(std::string(32, 'x')); }, "D9 20 78", 34},
    {"string 255", [] { return pmsgval(std::string(255, 'x')); }, "D9 FF 78", 257},
    {"string 256", [] { return pmsgval(std::string(256, 'x')); }, "DA 01 00 78", 259},
    {"string 65535", [] { return pmsgval(std::string(65535, 'x')); }, "DA FF FF 78", 65538},
    {"string 65536", [] { return pmsgval(std::string(65536, 'x')); }, "DB 00 01 00 00 78", 65541},
    {"utf-8 string", [] { return pmsgval("\xC3\xA9"s); }, "A2 C3 A9"},
    // Arrays.
    {"empty array", [] { return pmsgval(PMsgArray{}); }, "90"},
    {"array 15", [] { return pmsgval(zeros(15)); }, "9F 00", 16},
    {"array 16", [] { return pmsgval(zeros(16)); }, "DC 00 10 00", 19},
    {"array 65535", [] { return pmsgval(zeros(65535)); }, "DC FF FF 00", 65538},
    {"array 65536", [] { return pmsgval(zeros(65536)); }, "DD 00 01 00 00 00", 65541},
    {"array of strings",
     [] {
         return pmsgval(std::vector<std::string>{"x", "yz"});
     },
     "92 A1 78 A2 79 7A"},
    {"mixed array",
     [] {
         return pmsgval(PMsgArray{pmsgval(true), pmsgval(int32_t(-2)), pmsgval(300u)});
     },
     "93 C3 D2 FF FF FF FE CD 01 2C"},
    // Maps: keys in the string or unsigned encoding; an ordered map sorted by key.
    {"empty map", [] { return pmsgval(PMsgStringMap{}); }, "80"},
    {"string map",
     [] {
         return pmsgval(PMsgStringMap{{"a", pmsgval(1u)}});
     },
     "81 A1 61 01"},
    {"int map",
     [] {
         return pmsgval(PMsgIntMap{{200, pmsgval(true)}});
     },
     "81 CD 00 C8 C3"},
    {"ordered map",
     [] {
         return pmsgval(PMsgOrderedMap{{"b", pmsgval(2u)}, {"a", pmsgval(1u)}});
     },
     "82 A1 61 01 A1 62 02"},
    {"map 15", [] { return pmsgval(intMapOf(15)); }, "8F", 31},
    {"map 16", [] { return pmsgval(intMapOf(16)); }, "DE 00 10", 35},
    {"map 65536", [] { return pmsgval(intMapOf(65536)); }, "DF 00 01 00 00",
     5 + 128 * 2 + 65408 * 4},
};

std::vector<uint8_t> encode(const pmsgval& value) {
    std::vector<uint8_t> out;
    pmsgpack_push(out, value);
    return out;
}

size_t fixtureSize(const char* hex) {
    size_t digits = 0;
    for (const char* p = hex; *p; ++p) digits += *p != ' ';
    return digits / 2;
}

TEST(PMsgpack, EncodesEveryKindAtItsSizeBoundaries) {
    for (const WriterCase& c : kWriterCases) {
        SCOPED_TRACE(c.name);
        const pmsgval value = c.value();
        const std::vector<uint8_t> bytes = encode(value);
        const size_t total = c.totalSize ? c.totalSize : fixtureSize(c.prefix);
        ASSERT_EQ(bytes.size(), total);
        testsupport::expectBytesMatchFixture(bytes.data(), fixtureSize(c.prefix), c.prefix);

        // An independent reader takes the bytes as exactly this one value.
        testsupport::DecodedMessage decoded(bytes);
        ASSERT_TRUE(decoded.ok);
        EXPECT_TRUE(testsupport::sameValue(value, decoded.root()));
    }
}

TEST(PMsgpack, AppendsAfterWhatTheListHolds) {
    std::vector<uint8_t> out = {0xAA};
    pmsgpack(out, 5u);
    pmsgpack(out, "hi"s);
    pmsgpack(out, false);
    testsupport::expectBytesMatchFixture(out.data(), out.size(), "AA 05 A2 68 69 C2");
}

TEST(PMsgpack, UnknownTagAppendsNothing) {
    for (uint32_t tag : {0u, 10u, 0xFFFFFFFFu}) {
        pmsgval value(7u);
        value.tag = tag;
        EXPECT_TRUE(encode(value).empty()) << tag;
    }
}

TEST(PMsgpack, HelpersWriteBigEndianNumbersAndHeaders) {
    std::vector<uint8_t> out;
    priv_uint16(out, 0x1234);
    priv_uint32(out, 0x89ABCDEF);
    priv_prep_arr(out, 3);
    priv_prep_map(out, 0x10000);
    testsupport::expectBytesMatchFixture(out.data(), out.size(),
                                         "12 34 89 AB CD EF 93 DF 00 01 00 00");
}

TEST(PMsgpack, NestedTreeDecodesWithItsStructure) {
    PMsgStringMap inner = {{"name", pmsgval("Level"s)}, {"id", pmsgval(0xFFFFFFFFu)}};
    PMsgIntMap byId = {{3, pmsgval(std::vector<std::string>{"a", "b", "c"})},
                       {70000, pmsgval(PMsgArray{pmsgval(inner), pmsgval(1.5f)})}};
    PMsgStringMap root = {{"version", pmsgval(1u)}, {"map", pmsgval(byId)}};
    const pmsgval value(root);
    const pmsgval copy = value; // deep copy: the same bytes as the original
    const std::vector<uint8_t> bytes = encode(copy);
    testsupport::DecodedMessage decoded(bytes);
    ASSERT_TRUE(decoded.ok);
    EXPECT_TRUE(testsupport::sameValue(value, decoded.root()));
}

} // namespace
