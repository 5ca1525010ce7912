// Preference stores as property-list files.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <vector>

#include <string>

#include "platform/CoreFoundation.h"
#include "platform/StandardFolders.h"
#include "platform/support/CFHold.h"
#include "platform/support/ScopedEnv.h"

namespace {

std::string text(CFTypeRef s) {
    char buf[1024];
    if (!s || CFGetTypeID(s) != CFStringGetTypeID()) return "<none>";
    return CFStringGetCString(static_cast<CFStringRef>(s), buf, sizeof buf, kCFStringEncodingUTF8)
               ? std::string(buf)
               : "<fail>";
}

CFStringRef kDomain = CFSTR("com.vantor.test");

class CFPreferencesTest : public ::testing::Test {
protected:
    std::string userFile() const { return env.configHome + "/Preferences/com.vantor.test.plist"; }
    std::string machineFile() const {
        return env.configDirs + "/Preferences/com.vantor.test.plist";
    }
    std::string byHostFile() const {
        return env.configHome + "/Preferences/ByHost/com.vantor.test." +
               platform::hostIdentifier() + ".plist";
    }
    bool set(CFStringRef key, const char* value, CFStringRef user, CFStringRef host) {
        Hold v(value ? CFStringCreateWithCString(kCFAllocatorDefault, value, kCFStringEncodingUTF8)
                     : nullptr);
        CFPreferencesSetValue(key, v.ref, kDomain, user, host);
        return CFPreferencesSynchronize(kDomain, user, host);
    }
    std::string copy(CFStringRef key, CFStringRef user, CFStringRef host) {
        Hold v(CFPreferencesCopyValue(key, kDomain, user, host));
        return text(v.ref);
    }
    std::string appValue(CFStringRef key) {
        Hold v(CFPreferencesCopyAppValue(key, kDomain));
        return text(v.ref);
    }

    sxtest::ScopedEnv env;
};

TEST_F(CFPreferencesTest, EachStoreHasItsOwnFile) {
    struct Case {
        CFStringRef user, host;
        std::string file;
    };
    const Case cases[] = {
        {kCFPreferencesCurrentUser, kCFPreferencesAnyHost, userFile()},
        {kCFPreferencesCurrentUser, kCFPreferencesCurrentHost, byHostFile()},
        {kCFPreferencesAnyUser, kCFPreferencesAnyHost, machineFile()},
        {kCFPreferencesAnyUser, kCFPreferencesCurrentHost,
         env.configDirs + "/Preferences/ByHost/com.vantor.test." + platform::hostIdentifier() +
             ".plist"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::preferencesFilePath("com.vantor.test", c.user, c.host), c.file);
        ASSERT_TRUE(set(CFSTR("k"), c.file.c_str(), c.user, c.host));
        EXPECT_TRUE(env.exists(c.file)) << c.file;
        EXPECT_EQ(copy(CFSTR("k"), c.user, c.host), c.file);
    }
}

TEST_F(CFPreferencesTest, AppValueSearchesFromTheMostSpecificStore) {
    ASSERT_TRUE(set(CFSTR("k"), "machine", kCFPreferencesAnyUser, kCFPreferencesAnyHost));
    EXPECT_EQ(appValue(CFSTR("k")), "machine");
    ASSERT_TRUE(set(CFSTR("k"), "user", kCFPreferencesCurrentUser, kCFPreferencesAnyHost));
    EXPECT_EQ(appValue(CFSTR("k")), "user");
    ASSERT_TRUE(set(CFSTR("k"), "byhost", kCFPreferencesCurrentUser, kCFPreferencesCurrentHost));
    EXPECT_EQ(appValue(CFSTR("k")), "byhost");
    EXPECT_EQ(appValue(CFSTR("other")), "<none>");
}

TEST_F(CFPreferencesTest, RemovalAndKeyList) {
    const CFStringRef u = kCFPreferencesCurrentUser, h = kCFPreferencesAnyHost;
    EXPECT_EQ(CFPreferencesCopyKeyList(kDomain, u, h), nullptr); // no file yet
    ASSERT_TRUE(set(CFSTR("b"), "1", u, h));
    ASSERT_TRUE(set(CFSTR("a"), "2", u, h));
    Hold keys(CFPreferencesCopyKeyList(kDomain, u, h));
    ASSERT_NE(keys.ref, nullptr);
    auto arr = static_cast<CFArrayRef>(keys.ref);
    ASSERT_EQ(CFArrayGetCount(arr), 2);
    EXPECT_EQ(text(CFArrayGetValueAtIndex(arr, 0)), "a");
    ASSERT_TRUE(set(CFSTR("a"), nullptr, u, h));
    ASSERT_TRUE(set(CFSTR("b"), nullptr, u, h));
    Hold none(CFPreferencesCopyKeyList(kDomain, u, h));
    ASSERT_NE(none.ref, nullptr); // the file exists but is empty
    EXPECT_EQ(CFArrayGetCount(static_cast<CFArrayRef>(none.ref)), 0);
}

TEST_F(CFPreferencesTest, PendingValuesAreVisibleBeforeSynchronising) {
    Hold v(CFStringCreateWithCString(kCFAllocatorDefault, "x", kCFStringEncodingUTF8));
    CFPreferencesSetValue(CFSTR("k"), v.ref, kDomain, kCFPreferencesCurrentUser,
                          kCFPreferencesAnyHost);
    EXPECT_FALSE(env.exists(userFile()));
    EXPECT_EQ(copy(CFSTR("k"), kCFPreferencesCurrentUser, kCFPreferencesAnyHost), "x");
    EXPECT_TRUE(
        CFPreferencesSynchronize(kDomain, kCFPreferencesCurrentUser, kCFPreferencesAnyHost));
    EXPECT_TRUE(env.exists(userFile()));
    // Nothing pending: synchronising again is fine and changes nothing.
    EXPECT_TRUE(
        CFPreferencesSynchronize(kDomain, kCFPreferencesCurrentUser, kCFPreferencesAnyHost));
}

TEST_F(CFPreferencesTest, UnreadableFileIsNeverOverwritten) {
    ASSERT_TRUE(platform::makeFolders(env.configHome + "/Preferences"));
    const std::string garbage = "<plist><dict><key>a</key>broken";
    ASSERT_TRUE(env.writeFile(userFile(), garbage));
    EXPECT_EQ(copy(CFSTR("a"), kCFPreferencesCurrentUser, kCFPreferencesAnyHost), "<none>");
    EXPECT_FALSE(set(CFSTR("k"), "v", kCFPreferencesCurrentUser, kCFPreferencesAnyHost));
    EXPECT_EQ(env.readFile(userFile()), garbage);
    // A root that is not a dictionary counts as unreadable too.
    ASSERT_TRUE(env.writeFile(userFile(), "<plist><string>x</string></plist>"));
    EXPECT_FALSE(set(CFSTR("k"), "v", kCFPreferencesCurrentUser, kCFPreferencesAnyHost));
}

TEST_F(CFPreferencesTest, WriteFailureIsReportedAndLeavesNoTemporaryFile) {
    // A folder path that runs through a plain file fails for every user, root
    // included.
    ASSERT_TRUE(env.writeFile(env.root + "/plainfile", "x"));
    env.set("XDG_CONFIG_HOME", env.root + "/plainfile/config");
    EXPECT_FALSE(set(CFSTR("k"), "v", kCFPreferencesCurrentUser, kCFPreferencesAnyHost));
    EXPECT_EQ(copy(CFSTR("k"), kCFPreferencesCurrentUser, kCFPreferencesAnyHost), "<none>");

    // A successful write leaves only the file itself behind.
    env.set("XDG_CONFIG_HOME", env.configHome);
    ASSERT_TRUE(set(CFSTR("k"), "v", kCFPreferencesCurrentUser, kCFPreferencesAnyHost));
    std::vector<std::string> names;
    if (DIR* dir = opendir((env.configHome + "/Preferences").c_str())) {
        while (dirent* e = readdir(dir))
            if (e->d_name[0] != '.') names.push_back(e->d_name);
        closedir(dir);
    }
    EXPECT_EQ(names, std::vector<std::string>{"com.vantor.test.plist"});
}

TEST_F(CFPreferencesTest, DomainsThatCannotNameAFileAreRefused) {
    for (const char* domain : {"", ".", "..", "../escape", "a/b"}) {
        EXPECT_EQ(
            platform::preferencesFilePath(domain, kCFPreferencesCurrentUser, kCFPreferencesAnyHost),
            "")
            << domain;
    }
    Hold d(CFStringCreateWithCString(kCFAllocatorDefault, "../escape", kCFStringEncodingUTF8));
    CFPreferencesSetValue(CFSTR("k"), CFSTR("v"), static_cast<CFStringRef>(d.ref),
                          kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
    EXPECT_FALSE(CFPreferencesSynchronize(static_cast<CFStringRef>(d.ref),
                                          kCFPreferencesCurrentUser, kCFPreferencesAnyHost));
    EXPECT_FALSE(env.exists(env.configHome + "/escape.plist"));
}

TEST_F(CFPreferencesTest, NoHomeMeansNoUserStore) {
    env.set("XDG_CONFIG_HOME", nullptr);
    env.set("HOME", "relative/home"); // not absolute: falls back to the user database
    std::string expected = platform::homeFolder();
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(platform::preferencesFilePath("d", kCFPreferencesCurrentUser, kCFPreferencesAnyHost),
              expected + "/.config/Preferences/d.plist");
    EXPECT_EQ(platform::preferencesFilePath("d", CFSTR("someone"), kCFPreferencesAnyHost), "");
}

} // namespace
