// Alerts, folders, names, the sandbox test and launching.
#include <gtest/gtest.h>

#include <errno.h> // program_invocation_short_name
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/AlertHandler.h"
#include "platform/support/ScopedEnv.h"
#include "vantor/PlatformToolsCocoa.h"

namespace {

// ---- Alerts -----------------------------------------------------------------------------

std::vector<platform::Alert> g_alerts;
int g_answer = platform::kAlertFirstButton;

int capture(const platform::Alert& alert) {
    g_alerts.push_back(alert);
    return g_answer;
}

class AlertTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_alerts.clear();
        m_previous = platform::setAlertHandler(capture);
    }
    void TearDown() override { platform::setAlertHandler(m_previous); }

private:
    platform::AlertHandler m_previous = nullptr;
};

TEST_F(AlertTest, ButtonsAndResults) {
    struct Case {
        int answer;
        bool yesNo, okCancel;
    };
    const Case cases[] = {{1000, true, true}, {1001, false, false}, {1002, true, true}};
    for (const Case& c : cases) {
        g_alerts.clear();
        g_answer = c.answer;
        EXPECT_EQ(popupModalYesNoWindowCocoa(nullptr, "T", "Q"), c.yesNo);
        EXPECT_EQ(popupModalYesNoWindow(nullptr, "T", "Q", true), c.yesNo);
        EXPECT_EQ(popupModalOkCancelWindowCocoa(nullptr, "T", "Q"), c.okCancel);
        EXPECT_EQ(popupModalOkCancelWindow(nullptr, "T", "Q"), c.okCancel);
        popupModalMessageWindow(nullptr, "T", "Q");
        ASSERT_EQ(g_alerts.size(), 5u);
        EXPECT_EQ(g_alerts[0].buttons, (std::vector<std::string>{"Yes", "No"}));
        EXPECT_EQ(g_alerts[2].buttons, (std::vector<std::string>{"Ok", "Cancel"}));
        EXPECT_EQ(g_alerts[4].buttons, (std::vector<std::string>{"OK"}));
        EXPECT_EQ(g_alerts[4].title, "T");
        EXPECT_EQ(g_alerts[4].text, "Q");
    }
    g_answer = platform::kAlertFirstButton;
}

TEST_F(AlertTest, TextThatIsNotUtf8) {
    popupModalMessageWindowCocoa(nullptr, "Title \xE9", "bad \xFF");
    popupModalYesNoWindowCocoa(nullptr, "ok", "bad \xFF");
    popupModalMessageWindowCocoa(nullptr, nullptr, nullptr);
    ASSERT_EQ(g_alerts.size(), 3u);
    EXPECT_EQ(g_alerts[0].title, "");
    EXPECT_EQ(g_alerts[0].text, "OK");
    EXPECT_EQ(g_alerts[1].text, "");
    EXPECT_EQ(g_alerts[2].text, "OK");
}

std::string g_logged;
void logHook(const std::string& title, const std::string& text) {
    g_logged += title + "|" + text + ";";
}

TEST(AlertDefault, WritesToStandardErrorAndTheLogWithoutWaiting) {
    g_logged.clear();
    platform::setAlertLogHook(logHook);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(
        popupModalYesNoWindow(nullptr, "sondrix MD", "Cannot find data installation", false));
    popupModalMessageWindow(nullptr, "Vendor Product", "engine error");
    std::string err = testing::internal::GetCapturedStderr();
    platform::setAlertLogHook(nullptr);
    EXPECT_NE(err.find("sondrix MD"), std::string::npos);
    EXPECT_NE(err.find("Cannot find data installation"), std::string::npos);
    EXPECT_NE(err.find("engine error"), std::string::npos);
    EXPECT_EQ(g_logged, "sondrix MD|Cannot find data installation;Vendor Product|engine error;");
    testing::internal::CaptureStderr();
    popupModalMessageWindow(nullptr, "after", "hook removed");
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(g_logged.find("after"), std::string::npos);
}

// ---- Folders and names --------------------------------------------------------------

TEST(FindFolder, KindsAndDomains) {
    sxtest::ScopedEnv env;
    struct Case {
        uint32_t kind, domain;
        bool found;
        std::string expected;
    };
    const Case cases[] = {
        {FOLDER_USER_DATA, DOMAIN_USER, true, env.dataHome},
        {FOLDER_DESKTOP, DOMAIN_USER, true, env.home + "/Desktop"},
        {FOLDER_LIBRARY, DOMAIN_USER, true, env.configHome},
        {FOLDER_USER_DATA, DOMAIN_LOCAL, true, env.dataDirs},
        {FOLDER_DESKTOP, DOMAIN_LOCAL, false, "unchanged"},
        {FOLDER_LIBRARY, DOMAIN_LOCAL, true, env.configDirs},
        {3, DOMAIN_USER, false, "unchanged"},
        {FOLDER_USER_DATA, 2, false, "unchanged"},
    };
    for (const Case& c : cases) {
        std::string out = "unchanged";
        auto kind = static_cast<VTC_FindFolder>(c.kind);
        auto domain = static_cast<VTC_FindFolderDomain>(c.domain);
        EXPECT_EQ(wrap_FindFolder(kind, domain, out, false), c.found) << c.kind << "/" << c.domain;
        EXPECT_EQ(out, c.expected);
    }
    EXPECT_EQ(getUserPath(), env.dataHome);
    EXPECT_EQ(getUserDesktop(), env.home + "/Desktop");
}

TEST(FindFolder, CreateAndPathLimits) {
    sxtest::ScopedEnv env;
    env.set("XDG_DATA_HOME", env.root + "/new/data");
    std::string out;
    EXPECT_TRUE(wrap_FindFolder(FOLDER_USER_DATA, DOMAIN_USER, out, false));
    EXPECT_FALSE(env.exists(out)); // found, not created
    EXPECT_TRUE(wrap_FindFolder(FOLDER_USER_DATA, DOMAIN_USER, out, true));
    EXPECT_TRUE(env.exists(env.root + "/new/data"));

    ASSERT_TRUE(env.writeFile(env.root + "/file", "x"));
    env.set("XDG_DATA_HOME", env.root + "/file/data"); // cannot be created, even by root
    EXPECT_FALSE(wrap_FindFolder(FOLDER_USER_DATA, DOMAIN_USER, out, true));

    env.set("XDG_DATA_HOME", "/" + std::string(1023, 'd'));
    out = "unchanged";
    EXPECT_FALSE(wrap_FindFolder(FOLDER_USER_DATA, DOMAIN_USER, out, false));
    EXPECT_EQ(out, "");
    EXPECT_EQ(getUserPath(), "");
}

TEST(Names, FixedResultsAndNames) {
    sxtest::ScopedEnv env;
    EXPECT_EQ(PGetCurrentModulePath(nullptr), "/NOCLUE");
    EXPECT_EQ(getSandboxResourcePath(), "");
    EXPECT_EQ(getPlatformScale(), 1.0);
    EXPECT_FALSE(launchProgram("/bin/true"));
    EXPECT_TRUE(launchProgramWait("/bin/false", "", 10));
    EXPECT_TRUE(launchProgramRedir("/bin/false", "", "/dev/null", 10));
    EXPECT_FALSE(getUserName().empty());
    std::string s;
    EXPECT_TRUE(wrap_osversion(s));
    EXPECT_FALSE(s.empty());
    env.set("TMPDIR", env.tmp);
    EXPECT_TRUE(wrap_tempDirectory(s));
    EXPECT_EQ(s, env.tmp + "/");
}

// Runs `body` while the process is named `name`.
template <class F> void withProcessName(const char* name, F body) {
    char* saved = program_invocation_short_name;
    std::string copy = name;
    program_invocation_short_name = copy.data();
    body();
    program_invocation_short_name = saved;
}

TEST(Names, ApplicationNameAndItsDummy) {
    EXPECT_EQ(PGetCurrentApplicationPath(nullptr), program_invocation_short_name);
    withProcessName("Bitwig Studio", [] {
        std::string out;
        EXPECT_TRUE(PGetCurrentApplicationPath(out, nullptr));
        EXPECT_EQ(out, "Bitwig Studio");
    });
    withProcessName("", [] {
        testing::internal::CaptureStderr();
        EXPECT_EQ(PGetCurrentApplicationPath(nullptr), "dummy");
        std::string out;
        EXPECT_FALSE(PGetCurrentApplicationPath(out, nullptr));
        EXPECT_EQ(out, "dummy");
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "wrap_processName failed or gave empty name, dummy case\n"
                  "wrap_processName failed or gave empty name, dummy case\n");
    });
}

TEST(Names, SandboxTest) {
    sxtest::ScopedEnv env;
    env.set("APP_SANDBOX_CONTAINER_ID", nullptr);
    struct Case {
        const char* name;
        const char* container;
        bool sandboxed;
    };
    const Case cases[] = {
        {"AUHostingServiceXPC", nullptr, true},    {"AUHostingServiceXPC_arrow", nullptr, true},
        {"AUHostingServiceXPC2", nullptr, false},  {"reaper", nullptr, false},
        {"reaper", "com.example.container", true}, {"reaper", "", true},
    };
    for (const Case& c : cases) {
        env.set("APP_SANDBOX_CONTAINER_ID", c.container);
        withProcessName(c.name,
                        [&] { EXPECT_EQ(wrap_isProcessSandboxed(), c.sandboxed) << c.name; });
    }
}

TEST(Languages, RegionsAreCutAndListsAppended) {
    sxtest::ScopedEnv env;
    env.set("LC_ALL", nullptr);
    env.set("LC_MESSAGES", nullptr);
    env.set("LANGUAGE", "de_CH:de_DE:fr");
    std::vector<std::string> out = {"kept"};
    EXPECT_TRUE(getUserLanguageList(out));
    EXPECT_EQ(out, (std::vector<std::string>{"kept", "de", "de", "fr"}));
    env.set("LANGUAGE", "zh_Hans_CN:" + std::string(70, 'x')); // too long for 64 bytes: skipped
    out.clear();
    EXPECT_TRUE(getUserLanguageList(out));
    EXPECT_EQ(out, (std::vector<std::string>{"zh"}));
    env.set("LANGUAGE", nullptr);
    env.set("LANG", "C");
    out.clear();
    EXPECT_FALSE(getUserLanguageList(out));
    EXPECT_EQ(out, (std::vector<std::string>{"en"}));
}

// ---- Launching and opening --------------------------------------------------------------

class LaunchTest : public ::testing::Test {
protected:
    void SetUp() override {
        bin = env.root + "/bin";
        mkdir(bin.c_str(), 0755);
        log = env.root + "/log.txt";
        // Each run appends its arguments as one line.
        for (const char* name : {"xdg-open", "tool"}) {
            std::string path = bin + "/" + name;
            ASSERT_TRUE(env.writeFile(path, std::string("#!/bin/sh\necho \"") + name +
                                                ":$*\" >> \"$SX_LOG\"\n"));
            chmod(path.c_str(), 0755);
        }
        env.set("SX_LOG", log);
        env.set("PATH", bin + ":/usr/bin:/bin");
    }
    // Waits (bounded) until the log holds `line`; returns the whole log.
    std::string waitFor(const std::string& line) {
        for (int i = 0; i < 1000; ++i) {
            std::string text = env.readFile(log);
            if (text.find(line) != std::string::npos) return text;
            usleep(10000);
        }
        return env.readFile(log);
    }

    sxtest::ScopedEnv env;
    std::string bin, log;
};

TEST_F(LaunchTest, LaunchApplicationPassesConvertibleArguments) {
    std::string unused;
    void* app = wrap_launchApplication(bin + "/tool", {"a", "b\xFF", "c"}, unused);
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(waitFor("tool:a c\n"), "tool:a c\n");
    bool ended = false;
    for (int i = 0; i < 1000 && !ended; ++i) {
        ended = wrap_isRunningAppTerminated(app);
        if (!ended) usleep(10000);
    }
    EXPECT_TRUE(ended);
    EXPECT_TRUE(wrap_isRunningAppTerminated(nullptr));
    EXPECT_EQ(wrap_launchApplication(bin + "/missing", {}, unused), nullptr);
    EXPECT_EQ(wrap_launchApplication("bad\xFF", {}, unused), nullptr);
}

TEST_F(LaunchTest, OpenFilesAndAddresses) {
    // Texts that give no path or no address open nothing.
    wrap_openURL("bad\xFF");
    startBrowser("https://exa mple.com");
    startBrowser("");
    startEditor(env.root + "/notes file.txt");
    EXPECT_EQ(waitFor("notes file.txt"), "xdg-open:" + env.root + "/notes file.txt\n");
    startBrowser("https://example.com/?q=1");
    std::string text = waitFor("example.com");
    EXPECT_EQ(text,
              "xdg-open:" + env.root + "/notes file.txt\nxdg-open:https://example.com/?q=1\n");
}

} // namespace
