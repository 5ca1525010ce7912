// The byte streams and text conversions of the interface layer: MemoryStream
// (reads past the end, seeks, growth), IBStreamer (byte orders, short reads)
// and the UTF-8/UTF-16 conversions with malformed input and tight buffers.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "vst3base/IBStreamer.h"
#include "vst3base/MemoryStream.h"
#include "vst3base/UString.h"

using namespace Steinberg;

namespace {

TEST(MemoryStream, ReadsWhatWasWrittenAndStopsAtTheEnd) {
    MemoryStream s;
    char data[] = "abcdef";
    int32 n = -1;
    ASSERT_EQ(s.write(data, 6, &n), kResultOk);
    EXPECT_EQ(n, 6);
    ASSERT_EQ(s.seek(2, IBStream::kIBSeekSet), kResultOk);
    char buffer[8] = {};
    ASSERT_EQ(s.read(buffer, 8, &n), kResultOk);
    EXPECT_EQ(n, 4);
    EXPECT_EQ(std::string(buffer, 4), "cdef");
    ASSERT_EQ(s.read(buffer, 8, &n), kResultOk);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(s.read(nullptr, 4, &n), kInvalidArgument);
    EXPECT_EQ(s.read(buffer, -1, &n), kInvalidArgument);
    EXPECT_EQ(s.tell(nullptr), kInvalidArgument);
}

TEST(MemoryStream, SeeksByModeAndRefusesWildPositions) {
    MemoryStream s("0123456789", 10);
    const struct {
        int64 pos;
        int32 mode;
        tresult result;
        int64 at; // position afterwards
    } cases[] = {
        {4, IBStream::kIBSeekSet, kResultOk, 4},
        {2, IBStream::kIBSeekCur, kResultOk, 6},
        {-3, IBStream::kIBSeekEnd, kResultOk, 7},
        {5, IBStream::kIBSeekEnd, kResultOk, 15}, // past the end is allowed
        {-1, IBStream::kIBSeekSet, kInvalidArgument, 15},
        {-16, IBStream::kIBSeekCur, kInvalidArgument, 15},
        {INT64_MAX, IBStream::kIBSeekCur, kInvalidArgument, 15},
        {INT64_MIN, IBStream::kIBSeekCur, kInvalidArgument, 15},
        {INT64_MIN, IBStream::kIBSeekSet, kInvalidArgument, 15},
        {0, 7, kInvalidArgument, 15},
    };
    for (const auto& c : cases) {
        int64 result = -1;
        EXPECT_EQ(s.seek(c.pos, c.mode, &result), c.result) << c.pos << "/" << c.mode;
        int64 at = -1;
        s.tell(&at);
        EXPECT_EQ(at, c.at) << c.pos << "/" << c.mode;
    }
    // Writing after a seek past the end fills the gap with zeros.
    char x = 'x';
    ASSERT_EQ(s.write(&x, 1), kResultOk);
    ASSERT_EQ(s.getSize(), 16);
    EXPECT_EQ(s.bytes()[12], 0);
    EXPECT_EQ(s.bytes()[15], 'x');
}

TEST(IBStreamer, WritesAndReadsEachWidthInBothByteOrders) {
    for (auto order : {IBStreamer::kLittleEndian, IBStreamer::kBigEndian}) {
        MemoryStream s;
        IBStreamer w(&s, order);
        ASSERT_TRUE(w.writeInt8(-2) && w.writeInt16u(0x1234) && w.writeInt32(-123456) &&
                    w.writeInt64u(0x0102030405060708ull) && w.writeFloat(1.5f) &&
                    w.writeDouble(-0.25));
        EXPECT_EQ(s.getSize(), 1 + 2 + 4 + 8 + 4 + 8);
        // The 16-bit value's bytes show the order.
        EXPECT_EQ(static_cast<unsigned char>(s.bytes()[1]),
                  order == IBStreamer::kLittleEndian ? 0x34 : 0x12);
        s.seek(0, IBStream::kIBSeekSet);
        IBStreamer r(&s, order);
        int8 a;
        uint16 b;
        int32 c;
        uint64 d;
        float e;
        double f;
        ASSERT_TRUE(r.readInt8(a) && r.readInt16u(b) && r.readInt32(c) && r.readInt64u(d) &&
                    r.readFloat(e) && r.readDouble(f));
        EXPECT_EQ(a, -2);
        EXPECT_EQ(b, 0x1234);
        EXPECT_EQ(c, -123456);
        EXPECT_EQ(d, 0x0102030405060708ull);
        EXPECT_EQ(e, 1.5f);
        EXPECT_EQ(f, -0.25);
    }
}

TEST(IBStreamer, ShortReadsFailAndMeasureKeepsThePosition) {
    MemoryStream s("\x01\x02\x03", 3);
    IBStreamer r(&s);
    EXPECT_EQ(r.measure(), 3);
    EXPECT_EQ(r.tell(), 0);
    int32 v = 77;
    EXPECT_FALSE(r.readInt32(v)); // three bytes only
    char raw[4];
    int32 got = -1;
    s.seek(1, IBStream::kIBSeekSet);
    EXPECT_FALSE(r.readRaw(raw, 4, &got));
    EXPECT_EQ(got, 2);
    IBStreamer none(nullptr);
    EXPECT_FALSE(none.readInt32(v));
    EXPECT_FALSE(none.writeInt32(v));
    EXPECT_EQ(none.measure(), -1);
}

TEST(UString, ConvertsBothWaysAndReplacesMalformedInput) {
    const struct {
        const char* utf8;
        std::u16string utf16;
        const char* back; // UTF-8 after the round trip
    } cases[] = {
        {"Stereo Output", u"Stereo Output", "Stereo Output"},
        {"", u"", ""},
        {"\xC3\xA9t\xC3\xA9", u"\u00E9t\u00E9", "\xC3\xA9t\xC3\xA9"},
        {"\xF0\x9F\x8E\xB9", u"\U0001F3B9", "\xF0\x9F\x8E\xB9"}, // surrogate pair
        {"a\x80z", u"a\uFFFDz", "a\xEF\xBF\xBDz"},               // stray continuation
        {"a\xE2\x82z", u"a\uFFFDz", "a\xEF\xBF\xBDz"}, // truncated: one mark, the next byte kept
        {"\xC0\xAF", u"\uFFFD", "\xEF\xBF\xBD"},       // overlong form
        {"\xED\xA0\x80", u"\uFFFD", "\xEF\xBF\xBD"},   // encoded surrogate
    };
    for (const auto& c : cases) {
        EXPECT_EQ(utf8ToU16(c.utf8), c.utf16) << c.utf8;
        EXPECT_EQ(utf16ToUtf8(c.utf16.c_str()), c.back) << c.utf8;
    }
    const char16 lone[] = {u'x', 0xD800, u'y', 0};
    EXPECT_EQ(utf16ToUtf8(lone), "x\xEF\xBF\xBDy");
}

TEST(UString, FixedBuffersAreCutWholeAndTerminated) {
    char16 buffer[4];
    EXPECT_EQ(utf8ToUtf16("abcdef", buffer, 4), 3);
    EXPECT_EQ(std::u16string(buffer), u"abc");
    // A pair that would not fit whole is left out rather than split.
    EXPECT_EQ(utf8ToUtf16("ab\xF0\x9F\x8E\xB9", buffer, 4), 2);
    EXPECT_EQ(std::u16string(buffer), u"ab");
    EXPECT_EQ(utf8ToUtf16("x", buffer, 0), 0);

    Vst::String128 title;
    Vst::toString128(title, std::string(300, 'n').c_str());
    EXPECT_EQ(strlen16(title, 128), 127);
    const char16 unterminated[3] = {u'a', u'b', u'c'};
    EXPECT_EQ(utf16ToUtf8(unterminated, 3), "abc");
    strcpy16(buffer, u"longer text", 4);
    EXPECT_EQ(std::u16string(buffer), u"lon");
}

} // namespace
