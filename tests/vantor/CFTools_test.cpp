// Owning holders of platform objects and their fixed-buffer conversions.
#include <gtest/gtest.h>

#include <string>

#include "platform/CoreFoundation.h"
#include "vantor/CFTools.h"

namespace {

using vantor::CFStringWrapper;
using vantor::CFTypeWrapper;
using vantor::CFURLWrapper;

constexpr uint32_t kUTF8 = kCFStringEncodingUTF8;

TEST(CFStringWrapper, FixedBuffersHoldTextPlusTerminatorOnly) {
    struct Case {
        size_t length;
        bool (CFStringWrapper::*get)(std::string&, uint32_t) const;
        bool fits;
    };
    const Case cases[] = {
        {63, &CFStringWrapper::getCString64, true},
        {64, &CFStringWrapper::getCString64, false},
        {255, &CFStringWrapper::getCString256, true},
        {256, &CFStringWrapper::getCString256, false},
        {511, &CFStringWrapper::getCString512, true},
        {512, &CFStringWrapper::getCString512, false},
        {1023, &CFStringWrapper::getCString1024, true},
        {1024, &CFStringWrapper::getCString1024, false},
        {1023, &CFStringWrapper::getCStringPath, true},
        {1024, &CFStringWrapper::getCStringPath, false},
        {2047, &CFStringWrapper::getCString2048, true},
        {2048, &CFStringWrapper::getCString2048, false},
    };
    for (const Case& c : cases) {
        std::string text(c.length, 'a');
        CFStringWrapper s(text, kUTF8, false);
        std::string out = "unchanged";
        EXPECT_EQ((s.*c.get)(out, kUTF8), c.fits) << c.length;
        EXPECT_EQ(out, c.fits ? text : "unchanged") << c.length;
    }
}

TEST(CFStringWrapper, MultiByteTextCountsEncodedBytes) {
    // 31 two-byte letters: 62 bytes in UTF-8 fit 64; in Latin-1 31 bytes.
    std::string e;
    for (int i = 0; i < 32; ++i) e += "\xC3\xA9";
    CFStringWrapper s(e, kUTF8, false);
    std::string out;
    EXPECT_FALSE(s.getCString64(out, kUTF8)); // 64 bytes + terminator
    EXPECT_TRUE(s.getCString64(out, kCFStringEncodingWindowsLatin1));
    EXPECT_EQ(out, std::string(32, '\xE9'));
    CFStringWrapper euro("\xE2\x82\xAC", kUTF8, false);
    EXPECT_FALSE(euro.getCString64(out, kCFStringEncodingISOLatin1)); // not expressible
}

TEST(CFStringWrapper, FallbackToTheSystemEncoding) {
    const std::string notUtf8 = "caf\xE9";
    CFStringWrapper strict(notUtf8, kUTF8, false);
    EXPECT_EQ(strict.getCFStringRef(), nullptr);
    std::string out = "unchanged";
    EXPECT_FALSE(strict.getCString64(out, kUTF8));
    EXPECT_EQ(out, "unchanged");
    CFStringWrapper lenient(notUtf8.c_str(), kUTF8, true);
    ASSERT_NE(lenient.getCFStringRef(), nullptr);
    EXPECT_TRUE(lenient.getCString64(out, kUTF8));
    EXPECT_EQ(out, "caf\xC3\xA9");
    CFStringWrapper null(static_cast<const char*>(nullptr), kUTF8, true);
    EXPECT_EQ(null.getCFStringRef(), nullptr);
}

TEST(CFStringWrapper, WideTextReadings) {
    std::string out;
    CFStringWrapper plain(std::wstring(L"A\u00E9\U0001F600"), 0, false);
    ASSERT_TRUE(plain.getCString64(out, kUTF8));
    EXPECT_EQ(out, "A\xC3\xA9\xF0\x9F\x98\x80");

    // 0x00410042 is no code point; read as UTF-16LE it is "BA".
    std::wstring odd(1, static_cast<wchar_t>(0x00410042));
    CFStringWrapper strict(odd, 0, false);
    EXPECT_EQ(strict.getCFStringRef(), nullptr);
    CFStringWrapper lenient(odd, 0, true);
    ASSERT_TRUE(lenient.getCString64(out, kUTF8));
    EXPECT_EQ(out, "BA");

    // A lone surrogate fails as UTF-32 and UTF-16 and ends in the system encoding.
    std::wstring lone(1, static_cast<wchar_t>(0xD800));
    CFStringWrapper last(lone, 0, true);
    ASSERT_NE(last.getCFStringRef(), nullptr);
    EXPECT_EQ(CFStringGetLength(last.getCFStringRef()), 4); // 00 D8 00 00 as Latin-1
}

TEST(CFStringWrapper, CharactersRecordNeverOverflows) {
    HFSUniStr255 rec;
    CFStringWrapper none(static_cast<const char*>(nullptr), kUTF8, false);
    EXPECT_FALSE(none.getCharacters(rec));
    EXPECT_EQ(rec.length, 0);
    CFStringWrapper s("ab\xC3\xA9", kUTF8, false);
    ASSERT_TRUE(s.getCharacters(rec));
    EXPECT_EQ(rec.length, 3);
    EXPECT_EQ(rec.unicode[2], 0xE9);
    EXPECT_EQ(rec.unicode[3], 0);
    CFStringWrapper longer(std::string(300, 'x'), kUTF8, false);
    ASSERT_TRUE(longer.getCharacters(rec));
    EXPECT_EQ(rec.length, 255);
    EXPECT_EQ(rec.unicode[254], 'x');
}

TEST(CFStringWrapper, AdoptsAndReleases) {
    CFStringRef raw = CFStringCreateWithCString(kCFAllocatorDefault, "x", kUTF8);
    CFRetain(raw); // one for us, one handed over
    {
        CFStringWrapper w(raw);
        EXPECT_EQ(CFGetRetainCount(raw), 2);
        w.reset(raw); // the same object: kept, not released
        EXPECT_EQ(CFGetRetainCount(raw), 2);
    }
    EXPECT_EQ(CFGetRetainCount(raw), 1);
    {
        CFStringWrapper w(CFStringRef(nullptr));
        w.reset(CFStringCreateWithCString(kCFAllocatorDefault, "y", kUTF8));
        w.reset(CFStringCreateWithCString(kCFAllocatorDefault, "z", kUTF8)); // y released
        std::string out;
        EXPECT_TRUE(w.getCString64(out, kUTF8));
        EXPECT_EQ(out, "z");
    }
    CFRelease(raw);
}

TEST(CFURLWrapper, FileSystemRepresentation) {
    const std::string path = "/tmp/some folder/file.txt";
    CFURLWrapper fromBytes(reinterpret_cast<const uint8_t*>(path.data()), path.size(), false);
    std::string out;
    EXPECT_TRUE(fromBytes.getFileSystemRepresentation(out));
    EXPECT_EQ(out, path);

    CFStringWrapper s("/tmp/dir/", kUTF8, false);
    CFURLWrapper fromString(s.getCFStringRef(), true);
    EXPECT_TRUE(fromString.getFileSystemRepresentation(out));
    EXPECT_EQ(out, "/tmp/dir");

    const std::string longPath = "/" + std::string(1023, 'p');
    CFURLWrapper tooLong(reinterpret_cast<const uint8_t*>(longPath.data()), longPath.size(), false);
    out = "unchanged";
    EXPECT_FALSE(tooLong.getFileSystemRepresentation(out));
    EXPECT_EQ(out, ""); // set even when the conversion fails

    CFURLWrapper none(CFURLRef(nullptr));
    out = "unchanged";
    EXPECT_FALSE(none.getFileSystemRepresentation(out));
    EXPECT_EQ(out, "unchanged");
    CFURLWrapper noPath(CFStringRef(nullptr), false);
    EXPECT_EQ(noPath.getCFURLRef(), nullptr);
}

TEST(CFTypeWrapper, StringsOnly) {
    int32_t n = 5;
    CFTypeWrapper number(CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &n));
    std::string out = "unchanged";
    EXPECT_FALSE(number.getCString2048(out, kUTF8));
    EXPECT_EQ(out, "unchanged");
    CFTypeWrapper text(CFStringCreateWithCString(kCFAllocatorDefault, "hello", kUTF8));
    EXPECT_TRUE(text.getCString2048(out, kUTF8));
    EXPECT_EQ(out, "hello");
    CFTypeWrapper empty(nullptr);
    EXPECT_FALSE(empty.getCString2048(out, kUTF8));
}

} // namespace
