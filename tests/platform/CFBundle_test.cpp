// Bundles: folder layout, resources, loading and function lookup.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

#include "platform/CoreFoundation.h"
#include "platform/support/CFHold.h"
#include "platform/support/ScopedEnv.h"

namespace {

CFURLRef folderURL(const std::string& p) {
    return CFURLCreateFromFileSystemRepresentation(kCFAllocatorDefault,
                                                   reinterpret_cast<const uint8_t*>(p.data()),
                                                   static_cast<CFIndex>(p.size()), true);
}

class CFBundleTest : public ::testing::Test {
protected:
    void SetUp() override {
        bundle = env.root + "/Test Engine.bundle";
        for (const char* sub : {"", "/Contents", "/Contents/x86_64-linux", "/Contents/Resources",
                                "/Contents/Resources/sub"})
            mkdir((bundle + sub).c_str(), 0755);
        ASSERT_TRUE(env.writeFile(bundle + "/Contents/Resources/data.bin", "x"));
        ASSERT_TRUE(env.writeFile(bundle + "/Contents/Resources/sub/more.txt", "y"));
    }
    bool installModule() {
        std::string so = sxtest::ScopedEnv::readFile(SX_TEST_BUNDLE_SO);
        return !so.empty() && env.writeFile(bundle + "/Contents/x86_64-linux/Test Engine.so", so);
    }

    sxtest::ScopedEnv env;
    std::string bundle;
};

TEST_F(CFBundleTest, LoadsTheExecutableAndFindsFunctions) {
    ASSERT_TRUE(installModule());
    Hold url(folderURL(bundle));
    CFBundleRef b = CFBundleCreate(kCFAllocatorDefault, static_cast<CFURLRef>(url.ref));
    ASSERT_NE(b, nullptr);
    EXPECT_FALSE(CFBundleIsExecutableLoaded(b));
    EXPECT_TRUE(CFBundleLoadExecutable(b));
    using Fn = int (*)(int);
    auto fn =
        reinterpret_cast<Fn>(CFBundleGetFunctionPointerForName(b, CFSTR("sxTestBundleAnswer")));
    ASSERT_NE(fn, nullptr);
    EXPECT_EQ(fn(20), 41);
    EXPECT_EQ(CFBundleGetFunctionPointerForName(b, CFSTR("noSuchFunction")), nullptr);
    CFBundleUnloadExecutable(b);
    EXPECT_FALSE(CFBundleIsExecutableLoaded(b));
    // Looking a function up loads the executable again.
    EXPECT_NE(CFBundleGetFunctionPointerForName(b, CFSTR("sxTestBundleAnswer")), nullptr);
    CFBundleUnloadExecutable(b);
    CFRelease(b);
}

TEST_F(CFBundleTest, MissingExecutableOrFolderFails) {
    Hold url(folderURL(bundle));
    CFBundleRef b = CFBundleCreate(kCFAllocatorDefault, static_cast<CFURLRef>(url.ref));
    ASSERT_NE(b, nullptr);
    EXPECT_FALSE(CFBundleLoadExecutable(b));
    EXPECT_EQ(CFBundleGetFunctionPointerForName(b, CFSTR("sxTestBundleAnswer")), nullptr);
    Hold exe(CFBundleCopyExecutableURL(b));
    EXPECT_EQ(fsPath(static_cast<CFURLRef>(exe.ref)),
              bundle + "/Contents/x86_64-linux/Test Engine.so");
    CFRelease(b);

    Hold missing(folderURL(env.root + "/Nothing.bundle"));
    EXPECT_EQ(CFBundleCreate(kCFAllocatorDefault, static_cast<CFURLRef>(missing.ref)), nullptr);
    Hold file(folderURL(bundle + "/Contents/Resources/data.bin"));
    EXPECT_EQ(CFBundleCreate(kCFAllocatorDefault, static_cast<CFURLRef>(file.ref)), nullptr);
}

TEST_F(CFBundleTest, ResourceURLs) {
    Hold url(folderURL(bundle));
    CFBundleRef b = CFBundleCreate(kCFAllocatorDefault, static_cast<CFURLRef>(url.ref));
    ASSERT_NE(b, nullptr);
    struct Case {
        CFStringRef name, type, sub;
        std::string expected;
    };
    const Case cases[] = {
        {CFSTR("data"), CFSTR("bin"), nullptr, bundle + "/Contents/Resources/data.bin"},
        {CFSTR("data.bin"), nullptr, nullptr, bundle + "/Contents/Resources/data.bin"},
        {CFSTR("more"), CFSTR(".txt"), CFSTR("sub"), bundle + "/Contents/Resources/sub/more.txt"},
        {CFSTR("data"), CFSTR("txt"), nullptr, "<none>"},
        {CFSTR("../Resources/data.bin"), nullptr, nullptr, "<none>"},
    };
    for (const Case& c : cases) {
        Hold r(CFBundleCopyResourceURL(b, c.name, c.type, c.sub));
        EXPECT_EQ(r.ref ? fsPath(static_cast<CFURLRef>(r.ref)) : "<none>", c.expected);
    }
    Hold res(CFBundleCopyResourcesDirectoryURL(b));
    EXPECT_EQ(fsPath(static_cast<CFURLRef>(res.ref)), bundle + "/Contents/Resources");
    Hold self(CFBundleCopyBundleURL(b));
    EXPECT_EQ(fsPath(static_cast<CFURLRef>(self.ref)), bundle);
    CFRelease(b);
}

} // namespace
