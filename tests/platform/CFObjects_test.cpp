// Reference counting, strings, numbers and collections of the object layer.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "platform/CoreFoundation.h"
#include "platform/support/CFHold.h"

namespace {

std::string cString(CFStringRef s, CFStringEncoding e, CFIndex size = 256) {
    std::string buf(static_cast<size_t>(size), '\x7F');
    if (!CFStringGetCString(s, buf.data(), size, e)) return "<fail>";
    return std::string(buf.c_str());
}

TEST(CFRefCount, RetainReleaseAndContainersKeepObjectsAlive) {
    CFStringRef s = CFStringCreateWithCString(kCFAllocatorDefault, "x", kCFStringEncodingUTF8);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(CFGetRetainCount(s), 1);
    CFMutableArrayRef a = CFArrayCreateMutable(kCFAllocatorDefault, 0);
    CFArrayAppendValue(a, s);
    CFMutableDictionaryRef d = CFDictionaryCreateMutable(kCFAllocatorDefault, 0);
    CFDictionarySetValue(d, s, s);
    EXPECT_EQ(CFGetRetainCount(s), 4); // own + array + key + value
    CFRelease(s);
    // Still reachable through the containers.
    EXPECT_EQ(
        cString(static_cast<CFStringRef>(CFArrayGetValueAtIndex(a, 0)), kCFStringEncodingUTF8),
        "x");
    CFRelease(a);
    CFRelease(d);
    CFRelease(nullptr); // ignored
    EXPECT_EQ(CFGetTypeID(nullptr), 0u);
}

TEST(CFRefCount, SettingTheSameValueTwiceKeepsIt) {
    CFStringRef k = CFSTR("key");
    CFStringRef v = CFStringCreateWithCString(kCFAllocatorDefault, "v", kCFStringEncodingUTF8);
    CFMutableDictionaryRef d = CFDictionaryCreateMutable(kCFAllocatorDefault, 0);
    CFDictionarySetValue(d, k, v);
    CFRelease(v); // only the dictionary holds it now
    CFDictionarySetValue(d, k, CFDictionaryGetValue(d, k));
    EXPECT_EQ(cString(static_cast<CFStringRef>(CFDictionaryGetValue(d, k)), kCFStringEncodingUTF8),
              "v");
    CFRelease(d);
}

TEST(CFRefCount, ConstantStringsAreSharedAndImmortal) {
    CFStringRef a = CFSTR("same");
    CFStringRef b = CFSTR("same");
    EXPECT_EQ(a, b);
    CFRelease(a);
    CFRelease(a);
    EXPECT_EQ(cString(b, kCFStringEncodingUTF8), "same");
    EXPECT_EQ(CFSTR("\xFF"), nullptr); // not UTF-8
}

struct DecodeCase {
    const char* name;
    std::string bytes;
    CFStringEncoding encoding;
    bool external;
    const char* utf8; // null: creation fails
};

class CFStringDecode : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(CFStringDecode, ConvertsToUnicodeOrFails) {
    const DecodeCase& c = GetParam();
    Hold s(CFStringCreateWithBytes(kCFAllocatorDefault,
                                   reinterpret_cast<const uint8_t*>(c.bytes.data()),
                                   static_cast<CFIndex>(c.bytes.size()), c.encoding, c.external));
    if (!c.utf8) {
        EXPECT_EQ(s.ref, nullptr);
        return;
    }
    ASSERT_NE(s.ref, nullptr);
    EXPECT_EQ(cString(static_cast<CFStringRef>(s.ref), kCFStringEncodingUTF8), c.utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CFStringDecode,
    ::testing::Values(
        DecodeCase{"utf8", "a\xC3\xA9", kCFStringEncodingUTF8, false, "a\xC3\xA9"},
        DecodeCase{"utf8Invalid", "a\xFF", kCFStringEncodingUTF8, false, nullptr},
        DecodeCase{"utf8Surrogate", "\xED\xA0\x80", kCFStringEncodingUTF8, false, nullptr},
        DecodeCase{"utf8Truncated", "a\xC3", kCFStringEncodingUTF8, false, nullptr},
        DecodeCase{"latin1Any", "\x81\xFF", kCFStringEncodingISOLatin1, false, "\xC2\x81\xC3\xBF"},
        DecodeCase{"cp1252Euro", "\x80", kCFStringEncodingWindowsLatin1, false, "\xE2\x82\xAC"},
        DecodeCase{"cp1252Undefined", "\x81", kCFStringEncodingWindowsLatin1, false, nullptr},
        DecodeCase{"asciiHigh", "\xE9", kCFStringEncodingASCII, false, nullptr},
        DecodeCase{"utf16le", std::string("A\0\xAC\x20", 4), kCFStringEncodingUTF16LE, false,
                   "A\xE2\x82\xAC"},
        DecodeCase{"utf16leLoneSurrogate", std::string("\x00\xD8", 2), kCFStringEncodingUTF16LE,
                   false, nullptr},
        DecodeCase{"utf16OddLength", std::string("A\0B", 3), kCFStringEncodingUTF16LE, false,
                   nullptr},
        DecodeCase{"unicodeBomBigEndian", std::string("\xFE\xFF\0A", 4), kCFStringEncodingUnicode,
                   true, "A"},
        DecodeCase{"utf32le", std::string("\x00\xF6\x01\x00", 4), kCFStringEncodingUTF32LE, false,
                   "\xF0\x9F\x98\x80"},
        DecodeCase{"utf32TooLarge", std::string("\x00\x00\x11\x00", 4), kCFStringEncodingUTF32LE,
                   false, nullptr},
        DecodeCase{"unknownEncoding", "a", 0x12345678u, false, nullptr},
        DecodeCase{"emptyUtf8", "", kCFStringEncodingUTF8, false, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CFString, CStringNeedsRoomForTheTerminator) {
    Hold s(CFStringCreateWithCString(kCFAllocatorDefault, "abcd", kCFStringEncodingUTF8));
    auto str = static_cast<CFStringRef>(s.ref);
    EXPECT_EQ(cString(str, kCFStringEncodingUTF8, 5), "abcd");
    EXPECT_EQ(cString(str, kCFStringEncodingUTF8, 4), "<fail>");
    Hold e(CFStringCreateWithCString(kCFAllocatorDefault, "\xC3\xA9", kCFStringEncodingUTF8));
    auto es = static_cast<CFStringRef>(e.ref);
    EXPECT_EQ(cString(es, kCFStringEncodingWindowsLatin1, 2), "\xE9");
    EXPECT_EQ(cString(es, kCFStringEncodingUTF8, 3), "\xC3\xA9");
    EXPECT_EQ(cString(es, kCFStringEncodingUTF8, 2), "<fail>");
    EXPECT_EQ(cString(es, kCFStringEncodingASCII), "<fail>");
    EXPECT_FALSE(CFStringGetCString(nullptr, nullptr, 0, kCFStringEncodingUTF8));
}

TEST(CFString, LengthAndCharactersAreUtf16Units) {
    Hold s(CFStringCreateWithCString(kCFAllocatorDefault,
                                     "a\xF0\x9F\x98\x80"
                                     "b",
                                     kCFStringEncodingUTF8));
    auto str = static_cast<CFStringRef>(s.ref);
    ASSERT_EQ(CFStringGetLength(str), 4);
    UniChar units[4] = {};
    CFStringGetCharacters(str, CFRangeMake(0, 4), units);
    EXPECT_EQ(units[0], 'a');
    EXPECT_EQ(units[1], 0xD83D);
    EXPECT_EQ(units[2], 0xDE00);
    EXPECT_EQ(units[3], 'b');
    UniChar tail[2] = {0xFFFF, 0xFFFF};
    CFStringGetCharacters(str, CFRangeMake(3, 10), tail); // clipped to the string
    EXPECT_EQ(tail[0], 'b');
    EXPECT_EQ(tail[1], 0xFFFF);
}

TEST(CFString, CompareCaseInsensitiveFoldsLatinLetters) {
    Hold a(CFStringCreateWithCString(kCFAllocatorDefault, "Base_\xC3\x89t\xC3\xA9",
                                     kCFStringEncodingUTF8));
    Hold b(CFStringCreateWithCString(kCFAllocatorDefault, "bASE_\xC3\xA9T\xC3\x89",
                                     kCFStringEncodingUTF8));
    auto x = static_cast<CFStringRef>(a.ref), y = static_cast<CFStringRef>(b.ref);
    EXPECT_EQ(CFStringCompare(x, y, kCFCompareCaseInsensitive), kCFCompareEqualTo);
    EXPECT_EQ(CFStringCompare(x, y, 0), kCFCompareLessThan);
    EXPECT_EQ(CFStringCompare(y, x, 0), kCFCompareGreaterThan);
    EXPECT_TRUE(CFEqual(CFSTR("Base"), CFSTR("Base")));
    EXPECT_FALSE(CFEqual(x, y));
}

TEST(CFNumber, ConversionsReportLoss) {
    struct Case {
        double real;
        bool isFloat;
        int64_t integer;
        CFNumberType target;
        bool lossless;
        double expected;
    };
    const Case cases[] = {
        {0, false, 42, kCFNumberSInt32Type, true, 42},
        {0, false, 5000000000LL, kCFNumberSInt32Type, false, 2147483647},
        {0, false, -5000000000LL, kCFNumberSInt32Type, false, -2147483648.0},
        {2.0, true, 0, kCFNumberSInt32Type, true, 2},
        {2.5, true, 0, kCFNumberSInt32Type, false, 2},
        {-2.5, true, 0, kCFNumberSInt32Type, false, -2},
        {NAN, true, 0, kCFNumberSInt32Type, false, 0},
        {0, false, 7, kCFNumberFloat64Type, true, 7},
        {0, false, (1LL << 53) + 1, kCFNumberFloat64Type, false, 9007199254740992.0},
        {0.1, true, 0, kCFNumberFloat32Type, false, static_cast<double>(0.1f)},
        {0.5, true, 0, kCFNumberFloat32Type, true, 0.5},
        {0, false, 300, kCFNumberSInt8Type, false, 127},
    };
    for (const Case& c : cases) {
        Hold n(c.isFloat ? CFNumberCreate(kCFAllocatorDefault, kCFNumberFloat64Type, &c.real)
                         : CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt64Type, &c.integer));
        auto num = static_cast<CFNumberRef>(n.ref);
        double got = 0;
        bool lossless = false;
        switch (c.target) {
        case kCFNumberSInt32Type: {
            int32_t v = 0;
            lossless = CFNumberGetValue(num, c.target, &v);
            got = v;
            break;
        }
        case kCFNumberSInt8Type: {
            int8_t v = 0;
            lossless = CFNumberGetValue(num, c.target, &v);
            got = v;
            break;
        }
        case kCFNumberFloat32Type: {
            float v = 0;
            lossless = CFNumberGetValue(num, c.target, &v);
            got = v;
            break;
        }
        default: {
            double v = 0;
            lossless = CFNumberGetValue(num, c.target, &v);
            got = v;
        }
        }
        SCOPED_TRACE(testing::Message() << c.real << "/" << c.integer << " -> " << c.target);
        EXPECT_EQ(lossless, c.lossless);
        EXPECT_EQ(got, c.expected);
    }
}

TEST(CFNumber, EqualityAcrossKindsAndBooleans) {
    int32_t i = 3;
    double d = 3.0;
    Hold a(CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &i));
    Hold b(CFNumberCreate(kCFAllocatorDefault, kCFNumberFloat64Type, &d));
    EXPECT_TRUE(CFEqual(a.ref, b.ref));
    EXPECT_TRUE(CFNumberIsFloatType(static_cast<CFNumberRef>(b.ref)));
    EXPECT_FALSE(CFEqual(a.ref, kCFBooleanTrue));
    EXPECT_TRUE(CFBooleanGetValue(kCFBooleanTrue));
    EXPECT_FALSE(CFBooleanGetValue(kCFBooleanFalse));
    CFRelease(kCFBooleanTrue); // immortal
    EXPECT_TRUE(CFBooleanGetValue(kCFBooleanTrue));
    EXPECT_EQ(CFNumberCreate(kCFAllocatorDefault, static_cast<CFNumberType>(99), &i), nullptr);
}

TEST(CFDictionary, KeysAreOrderedCopiesIndependentAndNonStringKeysIgnored) {
    CFMutableDictionaryRef d = CFDictionaryCreateMutable(kCFAllocatorDefault, 0);
    CFDictionarySetValue(d, CFSTR("b"), kCFBooleanTrue);
    CFDictionarySetValue(d, CFSTR("a"), kCFBooleanFalse);
    CFDictionarySetValue(d, kCFBooleanTrue, kCFBooleanTrue); // not a string key
    CFDictionarySetValue(d, CFSTR("c"), nullptr);            // no value
    ASSERT_EQ(CFDictionaryGetCount(d), 2);
    CFTypeRef keys[2];
    CFDictionaryGetKeysAndValues(d, keys, nullptr);
    EXPECT_TRUE(CFEqual(keys[0], CFSTR("a")));
    EXPECT_TRUE(CFEqual(keys[1], CFSTR("b")));

    CFMutableDictionaryRef copy = CFDictionaryCreateMutableCopy(kCFAllocatorDefault, 0, d);
    EXPECT_TRUE(CFEqual(copy, d));
    CFDictionaryRemoveValue(copy, CFSTR("a"));
    EXPECT_EQ(CFDictionaryGetCount(copy), 1);
    EXPECT_EQ(CFDictionaryGetCount(d), 2);
    EXPECT_FALSE(CFEqual(copy, d));
    EXPECT_EQ(CFDictionaryGetValue(copy, CFSTR("a")), nullptr);
    CFRelease(copy);
    CFRelease(d);
}

TEST(CFArray, OutOfRangeIndexGivesNull) {
    const void* values[] = {CFSTR("x"), nullptr, CFSTR("y")};
    Hold a(CFArrayCreate(kCFAllocatorDefault, values, 3));
    auto arr = static_cast<CFArrayRef>(a.ref);
    EXPECT_EQ(CFArrayGetCount(arr), 2); // the null entry is not stored
    EXPECT_EQ(CFArrayGetValueAtIndex(arr, -1), nullptr);
    EXPECT_EQ(CFArrayGetValueAtIndex(arr, 2), nullptr);
    EXPECT_EQ(CFArrayGetTypeID(), CFGetTypeID(arr));
}

} // namespace
