// Encoding names, detection and conversion to UTF-8.
#include <gtest/gtest.h>

#include <string>

#include "platform/support/ScopedEnv.h"
#include "support/BoundedCall.h"
#include "vantor/VNTRConv.h"

namespace {

std::string bytes(std::initializer_list<int> b) {
    std::string s;
    for (int v : b) s.push_back(static_cast<char>(v));
    return s;
}

const uint8_t* u8(const std::string& s) {
    return reinterpret_cast<const uint8_t*>(s.data());
}

TEST(VNTRConv, EncodingNamesWrapAtSixteen) {
    struct Case {
        uint32_t value;
        const char* name;
    };
    const Case cases[] = {{0, "UTF8"},  {4, "UTF32LE"}, {12, "WINDOWS_LATIN/CP_ACP"},
                          {13, "OEM"},  {14, ""},       {15, ""},
                          {16, "UTF8"}, {29, "OEM"},    {0xFFFFFFFF, ""}};
    for (const Case& c : cases) EXPECT_STREQ(getCharEncodingName(c.value), c.name) << c.value;
}

TEST(VNTRConv, MarksAreTestedInTableOrder) {
    struct Case {
        std::string head;
        bool found;
        CHARACTER_ENCODING encoding;
        uint64_t length;
    };
    const Case cases[] = {
        {bytes({0xEF, 0xBB, 0xBF, 0x41}), true, UTF8, 3},
        {bytes({0xFE, 0xFF, 0x00, 0x41}), true, UTF16BE, 2},
        {bytes({0xFF, 0xFE, 0x00, 0x00}), true, UTF32LE, 4},
        {bytes({0xFF, 0xFE, 0x41, 0x00}), true, UTF16LE, 2},
        {bytes({0x00, 0x00, 0xFE, 0xFF}), true, UTF32BE, 4},
        {bytes({0x2B, 0x2F, 0x76, 0x38}), true, UTF7, 3},
        {bytes({0xF7, 0x64, 0x4C, 0x00}), true, UTF1, 3},
        {bytes({0xDD, 0x73, 0x66, 0x73}), true, UTF_EBCDIC, 4},
        {bytes({0x0E, 0xFE, 0xFF, 0x00}), true, SCSU, 3},
        {bytes({0xFB, 0xEE, 0x28, 0x00}), true, BOCU1, 3},
        {bytes({0x41, 0x42, 0x43, 0x44}), false, OEM, 99},
    };
    for (const Case& c : cases) {
        CHARACTER_ENCODING e = OEM;
        uint64_t len = 99;
        EXPECT_EQ(getCharEncodingFromBOM(u8(c.head), e, len), c.found);
        EXPECT_EQ(e, c.encoding);
        EXPECT_EQ(len, c.length);
    }
}

TEST(VNTRConv, MarkOfAFileNeedsFourBytes) {
    sxtest::ScopedEnv env;
    const std::string full = env.root + "/full.txt", shortFile = env.root + "/short.txt";
    ASSERT_TRUE(env.writeFile(full, bytes({0xEF, 0xBB, 0xBF, 0x41})));
    ASSERT_TRUE(env.writeFile(shortFile, bytes({0xEF, 0xBB, 0xBF})));
    CHARACTER_ENCODING e = OEM;
    uint64_t len = 0;
    EXPECT_TRUE(getCharEncodingFromBOM(full, e, len));
    EXPECT_EQ(e, UTF8);
    EXPECT_EQ(len, 3u);
    e = OEM;
    EXPECT_FALSE(getCharEncodingFromBOM(shortFile, e, len));
    EXPECT_FALSE(getCharEncodingFromBOM(env.root + "/missing.txt", e, len));
    EXPECT_EQ(e, OEM);
    // A FIFO nobody writes to is refused at once instead of blocking the open.
    const std::string fifo = env.root + "/fifo";
    ASSERT_TRUE(testsupport::makeFifo(fifo));
    const testsupport::Outcome o = testsupport::runBounded([&] {
        CHARACTER_ENCODING found = OEM;
        uint64_t length = 0;
        return getCharEncodingFromBOM(fifo, found, length);
    });
    EXPECT_EQ(o, testsupport::Outcome::kFalse) << testsupport::outcomeName(o);
}

TEST(VNTRConv, DetectionFromData) {
    struct Case {
        std::string data;
        CHARACTER_ENCODING expected;
        uint64_t markLength;
        std::string report;
    };
    const Case cases[] = {
        {bytes({0xFF, 0xFE, 0, 0, 0x41, 0, 0, 0}), UTF32LE, 4, ""},
        {bytes({0xFF, 0xFE, 0x41, 0, 0x42, 0}), UTF16LE, 2, ""},
        {bytes({0xEF, 0xBB, 0xBF, 0x41, 0x42}), UTF8, 3, ""},
        // Four bytes skip the mark test and pass the UTF-8 test instead.
        {bytes({0xEF, 0xBB, 0xBF, 0x41}), UTF8, 0,
         "Binary detected! off:0 = 239 brute force detected UTF-8!\n"},
        {"abc", ASCII, 0, ""},
        {"", ASCII, 0, ""},
        {bytes({0x61, 0xC3, 0xA9}), UTF8, 0,
         "Binary detected! off:1 = 195 brute force detected UTF-8!\n"},
        {bytes({0x61, 0xE9, 0x62}), WINDOWS_LATIN, 0,
         "Binary detected! off:1 = 233 Exhausted heuristics! Will use WINDOWS LATIN encoding!\n"},
        // A high byte after 0xC0 anywhere, even before the first scan stop.
        {bytes({0x41, 0x42, 0x80, 0x43, 0xC0, 0x80}), UTF8, 0,
         "Binary detected! off:2 = 128 brute force detected UTF-8!\n"},
    };
    for (const Case& c : cases) {
        uint64_t mark = 77;
        std::string report = "prefix:";
        EXPECT_EQ(getCharEncodingFromData(u8(c.data), c.data.size(), mark, &report), c.expected);
        EXPECT_EQ(mark, c.markLength);
        EXPECT_EQ(report, "prefix:" + c.report);
        EXPECT_EQ(getCharEncodingFromData(u8(c.data), c.data.size(), mark, nullptr), c.expected);
    }
}

TEST(VNTRConv, WindowsLatinToUtf8) {
    struct Case {
        std::string in;
        uint32_t encoding;
        std::string out;
    };
    const Case cases[] = {
        {"caf\xE9 \x80", WINDOWS_LATIN, "caf\xC3\xA9 \xE2\x82\xAC"},
        {std::string("ab\0cd", 5), WINDOWS_LATIN, "ab"}, // up to the first zero byte
        {"\x81", WINDOWS_LATIN, "VNTRConv_ERROR6"},      // undefined in Windows Latin-1
        {std::string(1023, 'x'), WINDOWS_LATIN, std::string(1023, 'x')},
        {std::string(1024, 'x'), WINDOWS_LATIN, "VNTRConv_ERROR6"},   // the 1024-byte buffer
        {std::string(512, '\xE9'), WINDOWS_LATIN, "VNTRConv_ERROR6"}, // 1024 bytes as UTF-8
        {"", WINDOWS_LATIN, ""},
        {"\xFF\xFE invalid \xC3", UTF8, "\xFF\xFE invalid \xC3"}, // other encodings: unchanged
        {std::string("a\0b", 3), OEM, std::string("a\0b", 3)},
    };
    for (const Case& c : cases) EXPECT_EQ(VNTRConv(c.in, c.encoding), c.out);
    EXPECT_EQ(VNTRConv(static_cast<const char*>(nullptr), 12), "");
    EXPECT_EQ(VNTRConv("caf\xE9", 12), "caf\xC3\xA9");
    EXPECT_EQ(VNTRConv("plain", 0), "plain");
}

TEST(VNTRConv, Utf8ToWindowsLatin) {
    EXPECT_EQ(VNTRConv(std::string("caf\xC3\xA9"), UTF8, WINDOWS_LATIN), "caf\xE9");
    EXPECT_EQ(VNTRConv(std::string("caf\xC3\xA9"), UTF8, UTF8), "caf\xC3\xA9");
    EXPECT_EQ(VNTRConv(std::string("\xE4\xB8\x80"), UTF8, WINDOWS_LATIN), "VNTRConv_ERROR6a");
    EXPECT_EQ(VNTRConv(std::string("caf\xE9"), UTF8, UTF8), "VNTRConv_ERROR6a"); // not UTF-8
    EXPECT_EQ(VNTRConv(std::string(1024, 'a'), UTF8, UTF8), "VNTRConv_ERROR6a");
}

TEST(VNTRConv, WideTextToUtf8) {
    EXPECT_EQ(VNTRConv(std::wstring(L"A\u00E9\U0001F600"), UTF8, false),
              "A\xC3\xA9\xF0\x9F\x98\x80");
    std::wstring bad(1, static_cast<wchar_t>(0x00410042));
    EXPECT_EQ(VNTRConv(bad, UTF8, false), "VNTRConv_ERROR8");
    EXPECT_EQ(VNTRConv(bad, UTF8, true), "BA"); // read again as UTF-16LE
    EXPECT_EQ(VNTRConv(std::wstring(1024, L'w'), UTF8, false), "VNTRConv_ERROR8");
}

TEST(VNTRConv, CrudeUtf16) {
    struct Case {
        std::u16string in;
        std::string out;
    };
    const Case cases[] = {
        {u"\x41\xE9\x20AC", bytes({0x41, 0xC3, 0xA9, 0xE2, 0x82, 0xAC})},
        {std::u16string({0x41, 0xD800, 0xDC00, 0x42}), "A"}, // stops at a leading surrogate
        {std::u16string({0xDC00}), bytes({0xED, 0xB0, 0x80})},
        {std::u16string({0x7F, 0x80, 0x7FF, 0x800}),
         bytes({0x7F, 0xC2, 0x80, 0xDF, 0xBF, 0xE0, 0xA0, 0x80})},
        {std::u16string({0x41, 0, 0x42}), std::string("A\0B", 3)}, // zero unit kept in a string
        {u"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(VNTRConvCrudeUTF16_TO_UTF8(c.in), c.out);
        EXPECT_EQ(VNTRConv(c.in, WINDOWS_LATIN), c.out); // the encoding is not used
    }
    const uint16_t units[] = {0x41, 0xE9, 0, 0x42};
    EXPECT_EQ(VNTRConvCrudeUTF16_TO_UTF8(units), "A\xC3\xA9"); // up to the zero
    EXPECT_EQ(VNTRConvCrudeUTF16_TO_UTF8(static_cast<const uint16_t*>(nullptr)), "");
    EXPECT_EQ(VNTRConvCrudeUTF16_TO_UTF8(u"x\x20AC"), "x\xE2\x82\xAC");
    const uint32_t wide[] = {0x10041, 0x20AC, 0};
    EXPECT_EQ(VNTRConvCrudeUTF16_IN_UINT32_TO_UTF8(wide), "A\xE2\x82\xAC");
    EXPECT_EQ(VNTRConvCrudeUTF16_IN_UINT32_TO_UTF8(nullptr), "");
}

} // namespace
