// File and web URLs of the object layer.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

#include "platform/CoreFoundation.h"
#include "platform/support/CFHold.h"

namespace {

std::string text(CFStringRef s) {
    char buf[4096];
    return CFStringGetCString(s, buf, sizeof buf, kCFStringEncodingUTF8) ? buf : "<fail>";
}

Hold fromBytes(const std::string& p, bool dir) {
    return Hold(CFURLCreateFromFileSystemRepresentation(kCFAllocatorDefault,
                                                        reinterpret_cast<const uint8_t*>(p.data()),
                                                        static_cast<CFIndex>(p.size()), dir));
}

TEST(CFURL, FilePathsKeepTheirBytes) {
    struct Case {
        std::string path;
        bool dir;
        std::string expectedPath;
        std::string expectedText;
    };
    const Case cases[] = {
        {"/a b/c", false, "/a b/c", "file:///a%20b/c"},
        {"/folder/", true, "/folder", "file:///folder/"},
        {"/", true, "/", "file:///"},
        {"/x\xFF.bin", false, "/x\xFF.bin", "file:///x%FF.bin"}, // not UTF-8: kept as bytes
    };
    for (const Case& c : cases) {
        Hold u = fromBytes(c.path, c.dir);
        ASSERT_NE(u.ref, nullptr) << c.path;
        EXPECT_EQ(fsPath(u.url()), c.expectedPath);
        EXPECT_EQ(text(CFURLGetString(u.url())), c.expectedText);
        EXPECT_EQ(CFURLHasDirectoryPath(u.url()), c.dir);
    }
    Hold notUtf8 = fromBytes("/x\xFF", false);
    EXPECT_EQ(CFURLCopyFileSystemPath(notUtf8.url(), kCFURLPOSIXPathStyle), nullptr);
    EXPECT_EQ(fromBytes("", false).ref, nullptr);
}

TEST(CFURL, RelativePathsResolveAgainstTheCurrentFolder) {
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    Hold u(CFURLCreateWithFileSystemPath(kCFAllocatorDefault, CFSTR("sub/file.txt"),
                                         kCFURLPOSIXPathStyle, false));
    EXPECT_EQ(fsPath(u.url()), std::string(cwd) + "/sub/file.txt");
    Hold scheme(CFURLCopyScheme(u.url()));
    EXPECT_EQ(text(static_cast<CFStringRef>(scheme.ref)), "file");
}

TEST(CFURL, RepresentationMustFitTheBuffer) {
    Hold u = fromBytes("/abc", false);
    EXPECT_EQ(fsPath(u.url(), 5), "/abc");
    EXPECT_EQ(fsPath(u.url(), 4), "<fail>");
}

TEST(CFURL, WebAddressesFromBytes) {
    struct Case {
        std::string text;
        bool valid;
        const char* scheme;
        bool isFile;
    };
    const Case cases[] = {
        {"https://example.com/a?b=c#d", true, "https", false},
        {"mailto:someone@example.com", true, "mailto", false},
        {"file:///tmp/a%20b", true, "file", true},
        {"file://localhost/tmp/x", true, "file", true},
        {"file://otherhost/tmp/x", false, nullptr, false},
        {"https://exa mple.com", false, nullptr, false},
        {"https://example.com/\xC3\xA9", false, nullptr, false},
        {"http://x/\"q\"", false, nullptr, false},
        {"", false, nullptr, false},
        {"relative/path", true, nullptr, false},
    };
    for (const Case& c : cases) {
        Hold u(CFURLCreateWithBytes(
            kCFAllocatorDefault, reinterpret_cast<const uint8_t*>(c.text.data()),
            static_cast<CFIndex>(c.text.size()), kCFStringEncodingASCII, nullptr));
        SCOPED_TRACE(c.text);
        ASSERT_EQ(u.ref != nullptr, c.valid);
        if (!c.valid) continue;
        Hold scheme(CFURLCopyScheme(u.url()));
        EXPECT_EQ(scheme.ref ? text(static_cast<CFStringRef>(scheme.ref)) : std::string(),
                  c.scheme ? c.scheme : "");
        EXPECT_EQ(fsPath(u.url()) != "<fail>", c.isFile);
    }
    Hold decoded(CFURLCreateWithBytes(kCFAllocatorDefault,
                                      reinterpret_cast<const uint8_t*>("file:///tmp/a%20b"), 17,
                                      kCFStringEncodingASCII, nullptr));
    EXPECT_EQ(fsPath(decoded.url()), "/tmp/a b");
    Hold web(CFURLCreateWithBytes(kCFAllocatorDefault,
                                  reinterpret_cast<const uint8_t*>("https://e.com/%41"), 17,
                                  kCFStringEncodingASCII, nullptr));
    EXPECT_EQ(text(CFURLGetString(web.url())), "https://e.com/%41");
}

} // namespace
