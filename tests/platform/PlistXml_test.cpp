// The XML property-list reader and writer.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "platform/CoreFoundation.h"
#include "platform/PlistXml.h"
#include "platform/support/CFHold.h"

namespace {

std::string text(CFTypeRef s) {
    char buf[4096];
    return CFStringGetCString(static_cast<CFStringRef>(s), buf, sizeof buf, kCFStringEncodingUTF8)
               ? std::string(buf)
               : "<fail>";
}

CFTypeRef get(CFTypeRef dict, const char* key) {
    Hold k(CFStringCreateWithCString(kCFAllocatorDefault, key, kCFStringEncodingUTF8));
    return CFDictionaryGetValue(static_cast<CFDictionaryRef>(dict), k.ref);
}

const char* kDocument = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<!-- a comment -->
<dict>
	<key>path</key>
	<string>/Applications/Morvane Engine.bundle</string>
	<key>count</key>
	<integer>-42</integer>
	<key>gain</key>
	<real>2.5e-1</real>
	<key>on</key>
	<true/>
	<key>off</key>
	<false></false>
	<key>blob</key>
	<data>
	AAEC/w==
	</data>
	<key>when</key>
	<date>2026-01-02T03:04:05Z</date>
	<key>list</key>
	<array><string>a</string><integer>1</integer><array/></array>
	<key>nested</key>
	<dict><key>x</key><string>a &amp; b &lt;c&gt; &#233;&#x20AC;<![CDATA[<raw>]]></string><key>empty</key><string/></dict>
</dict>
</plist>
)";

TEST(PlistXml, ReadsEveryValueType) {
    Hold root(platform::parsePlistXml(kDocument));
    ASSERT_NE(root.ref, nullptr);
    ASSERT_EQ(CFGetTypeID(root.ref), CFDictionaryGetTypeID());
    EXPECT_EQ(text(get(root.ref, "path")), "/Applications/Morvane Engine.bundle");
    int32_t count = 0;
    EXPECT_TRUE(CFNumberGetValue(static_cast<CFNumberRef>(get(root.ref, "count")),
                                 kCFNumberSInt32Type, &count));
    EXPECT_EQ(count, -42);
    double gain = 0;
    CFNumberGetValue(static_cast<CFNumberRef>(get(root.ref, "gain")), kCFNumberFloat64Type, &gain);
    EXPECT_EQ(gain, 0.25);
    EXPECT_EQ(get(root.ref, "on"), kCFBooleanTrue);
    EXPECT_EQ(get(root.ref, "off"), kCFBooleanFalse);
    CFDataRef blob = static_cast<CFDataRef>(get(root.ref, "blob"));
    ASSERT_EQ(CFDataGetLength(blob), 4);
    EXPECT_EQ(CFDataGetBytePtr(blob)[3], 0xFF);
    EXPECT_EQ(CFGetTypeID(get(root.ref, "when")), CFDateGetTypeID());
    EXPECT_EQ(CFArrayGetCount(static_cast<CFArrayRef>(get(root.ref, "list"))), 3);
    CFTypeRef nested = get(root.ref, "nested");
    EXPECT_EQ(text(get(nested, "x")), "a & b <c> \xC3\xA9\xE2\x82\xAC<raw>");
    EXPECT_EQ(text(get(nested, "empty")), "");
}

TEST(PlistXml, WriteThenReadGivesAnEqualTree) {
    Hold root(platform::parsePlistXml(kDocument));
    ASSERT_NE(root.ref, nullptr);
    // Values that need escaping on the way out.
    CFMutableDictionaryRef d = CFDictionaryCreateMutableCopy(
        kCFAllocatorDefault, 0, static_cast<CFDictionaryRef>(root.ref));
    Hold hd(d);
    Hold odd(CFStringCreateWithBytes(kCFAllocatorDefault,
                                     reinterpret_cast<const uint8_t*>("a\0b\x01\r\n<&>\t"), 10,
                                     kCFStringEncodingUTF8, false));
    CFDictionarySetValue(d, CFSTR("odd <key> & more"), odd.ref);
    double values[] = {INFINITY, -INFINITY, 1e300, -0.1};
    for (int i = 0; i < 4; ++i) {
        Hold n(CFNumberCreate(kCFAllocatorDefault, kCFNumberFloat64Type, &values[i]));
        Hold key(CFStringCreateWithCString(kCFAllocatorDefault, ("r" + std::to_string(i)).c_str(),
                                           kCFStringEncodingUTF8));
        CFDictionarySetValue(d, key.ref, n.ref);
    }
    std::string xml;
    ASSERT_TRUE(platform::writePlistXml(d, xml));
    Hold back(platform::parsePlistXml(xml));
    ASSERT_NE(back.ref, nullptr) << xml;
    EXPECT_TRUE(CFEqual(back.ref, d)) << xml;
}

TEST(PlistXml, RejectsMalformedDocuments) {
    const char* bad[] = {
        "",
        "<plist><dict><key>a</key></dict></plist>",       // key without value
        "<plist><dict><string>a</string></dict></plist>", // value without key
        "<plist><integer>12x</integer></plist>",          // not a number
        "<plist><integer></integer></plist>",             // empty number
        "<plist><real>1.5.2</real></plist>",
        "<plist><string>a</plist>",                            // unclosed
        "<plist><string>a &bogus; b</string></plist>",         // unknown entity
        "<plist><string>&#xD800;</string></plist>",            // surrogate reference
        "<plist><string>\xFF</string></plist>",                // not UTF-8
        "<plist><unknown/></plist>",                           // unknown element
        "<plist><data>@@@@</data></plist>",                    // not base64
        "<plist><string>a</string><string>b</string></plist>", // two roots
        "<plist><dict></dict></plist> trailing",
        "bplist00\x01\x02", // binary format
    };
    for (const char* doc : bad) {
        Hold r(platform::parsePlistXml(doc));
        EXPECT_EQ(r.ref, nullptr) << doc;
    }
}

TEST(PlistXml, NestingDepthIsBounded) {
    std::string deep;
    for (int i = 0; i < 300; ++i) deep += "<array>";
    for (int i = 0; i < 300; ++i) deep += "</array>";
    Hold tooDeep(platform::parsePlistXml(deep));
    EXPECT_EQ(tooDeep.ref, nullptr);
    std::string ok;
    for (int i = 0; i < 100; ++i) ok += "<array>";
    for (int i = 0; i < 100; ++i) ok += "</array>";
    Hold fine(platform::parsePlistXml(ok));
    EXPECT_NE(fine.ref, nullptr);
}

TEST(PlistXml, BareRootWithoutPlistElementAndByteOrderMark) {
    Hold r(platform::parsePlistXml("\xEF\xBB\xBF<dict><key>k</key><string>v</string></dict>"));
    ASSERT_NE(r.ref, nullptr);
    EXPECT_EQ(text(get(r.ref, "k")), "v");
}

TEST(PlistXml, NonPropertyListObjectsAreNotWritten) {
    Hold url(CFURLCreateFromFileSystemRepresentation(
        kCFAllocatorDefault, reinterpret_cast<const uint8_t*>("/x"), 2, false));
    CFMutableDictionaryRef d = CFDictionaryCreateMutable(kCFAllocatorDefault, 0);
    CFDictionarySetValue(d, CFSTR("u"), url.ref);
    std::string xml = "unchanged";
    EXPECT_FALSE(platform::writePlistXml(d, xml));
    EXPECT_EQ(xml, "unchanged");
    EXPECT_EQ(
        CFPropertyListCreateData(kCFAllocatorDefault, d, kCFPropertyListXMLFormat_v1_0, 0, nullptr),
        nullptr);
    CFRelease(d);
}

} // namespace
