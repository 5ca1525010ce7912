// Folder locations, names and the preferred languages.
#include <gtest/gtest.h>

#include <errno.h>

#include <string>

#include "platform/CFLocale.h"
#include "platform/CFString.h"
#include "platform/ProcessInfo.h"
#include "platform/StandardFolders.h"
#include "platform/support/ScopedEnv.h"

namespace {

TEST(StandardFolders, XdgVariablesAndTheirDefaults) {
    sxtest::ScopedEnv env;
    env.set("HOME", "/h/me/");
    struct Case {
        const char* var;
        const char* value; // null: unset
        std::string (*fn)();
        std::string expected;
    };
    const Case cases[] = {
        {"XDG_DATA_HOME", "/d/x/", platform::userDataFolder, "/d/x"},
        {"XDG_DATA_HOME", nullptr, platform::userDataFolder, "/h/me/.local/share"},
        {"XDG_DATA_HOME", "relative", platform::userDataFolder, "/h/me/.local/share"},
        {"XDG_CONFIG_HOME", "/c", platform::userConfigFolder, "/c"},
        {"XDG_CONFIG_HOME", "", platform::userConfigFolder, "/h/me/.config"},
        {"XDG_CONFIG_DIRS", "rel:/first:/second", platform::machineConfigFolder, "/first"},
        {"XDG_CONFIG_DIRS", nullptr, platform::machineConfigFolder, "/etc/xdg"},
        {"XDG_DATA_DIRS", nullptr, platform::machineDataFolder, "/usr/local/share"},
        {"XDG_DATA_DIRS", "/opt/share/", platform::machineDataFolder, "/opt/share"},
        {"TMPDIR", "/var/tmp", platform::tempFolder, "/var/tmp/"},
        {"TMPDIR", "/var/tmp/", platform::tempFolder, "/var/tmp/"},
        {"TMPDIR", nullptr, platform::tempFolder, "/tmp/"},
        {"TMPDIR", "tmp", platform::tempFolder, "/tmp/"},
        {"HOME", "/h/me", platform::desktopFolder, "/h/me/Desktop"},
    };
    for (const Case& c : cases) {
        env.set(c.var, c.value);
        EXPECT_EQ(c.fn(), c.expected) << c.var << "=" << (c.value ? c.value : "(unset)");
    }
}

TEST(StandardFolders, MakeFoldersCreatesParentsAndRejectsFiles) {
    sxtest::ScopedEnv env;
    EXPECT_TRUE(platform::makeFolders(env.root + "/a/b/c"));
    EXPECT_TRUE(env.exists(env.root + "/a/b/c"));
    EXPECT_TRUE(platform::makeFolders(env.root + "/a/b/c")); // already there
    ASSERT_TRUE(env.writeFile(env.root + "/file", "x"));
    EXPECT_FALSE(platform::makeFolders(env.root + "/file"));
    EXPECT_FALSE(platform::makeFolders(env.root + "/file/sub"));
    EXPECT_FALSE(platform::makeFolders(""));
}

TEST(StandardFolders, HostIdentifierIsAFileNameComponent) {
    std::string id = platform::hostIdentifier();
    EXPECT_FALSE(id.empty());
    EXPECT_EQ(id.find('/'), std::string::npos);
}

TEST(ProcessInfo, NamesOfTheProcessAndTheUser) {
    EXPECT_EQ(platform::processName(), program_invocation_short_name);
    EXPECT_FALSE(platform::userName().empty());
    EXPECT_EQ(platform::operatingSystemVersion().rfind("Linux ", 0), 0u);
    EXPECT_TRUE(platform::environmentHasKey("PATH"));
    EXPECT_FALSE(platform::environmentHasKey("SX_SURELY_NOT_SET_ANYWHERE"));
    EXPECT_FALSE(platform::environmentHasKey(nullptr));
}

std::vector<std::string> languages() {
    std::vector<std::string> out;
    CFArrayRef list = CFLocaleCopyPreferredLanguages();
    if (!list) return {"<none>"};
    for (CFIndex i = 0; i < CFArrayGetCount(list); ++i) {
        char buf[64];
        CFStringGetCString(static_cast<CFStringRef>(CFArrayGetValueAtIndex(list, i)), buf,
                           sizeof buf, kCFStringEncodingUTF8);
        out.push_back(buf);
    }
    CFRelease(list);
    return out;
}

TEST(CFLocale, PreferredLanguagesFromTheEnvironment) {
    struct Case {
        const char *language, *lcAll, *lcMessages, *lang;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"de_CH:de_DE:fr", nullptr, nullptr, "en_US.UTF-8", {"de-CH", "de-DE", "fr"}},
        {nullptr, nullptr, nullptr, "zh_Hans_CN.UTF-8@x", {"zh-Hans-CN"}},
        {nullptr, "pt_BR", nullptr, "en_US", {"pt-BR"}},
        {"", nullptr, "it_IT.UTF-8", "en_US", {"it-IT"}},
        {nullptr, nullptr, nullptr, "C.UTF-8", {"<none>"}},
        {"C:POSIX", nullptr, nullptr, nullptr, {"<none>"}},
        {nullptr, nullptr, nullptr, nullptr, {"<none>"}},
    };
    sxtest::ScopedEnv env;
    for (const Case& c : cases) {
        env.set("LANGUAGE", c.language);
        env.set("LC_ALL", c.lcAll);
        env.set("LC_MESSAGES", c.lcMessages);
        env.set("LANG", c.lang);
        EXPECT_EQ(languages(), c.expected)
            << (c.language ? c.language : "") << "|" << (c.lang ? c.lang : "");
    }
}

} // namespace
