// Starting detached programs and opening targets with xdg-open.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/Launcher.h"
#include "platform/support/ScopedEnv.h"

namespace {

// Waits (bounded) until `path` exists; the launched script writes it.
bool appears(const std::string& path) {
    for (int i = 0; i < 1000; ++i) {
        if (sxtest::ScopedEnv::exists(path)) return true;
        usleep(10000);
    }
    return false;
}

class LauncherTest : public ::testing::Test {
protected:
    void SetUp() override {
        bin = env.root + "/bin";
        mkdir(bin.c_str(), 0755);
        out = env.root + "/out.txt";
        // Writes its arguments, one a line, then renames into place so the
        // test never sees a half-written file.
        script(bin + "/recorder", "for a in \"$@\"; do echo \"$a\"; done > \"$SX_OUT.part\"\n"
                                  "mv \"$SX_OUT.part\" \"$SX_OUT\"\n");
        script(bin + "/xdg-open", "echo \"open:$1\" > \"$SX_OUT.part\"; mv \"$SX_OUT.part\" "
                                  "\"$SX_OUT\"\n");
        env.set("SX_OUT", out);
        env.set("PATH", bin + ":/usr/bin:/bin");
    }
    void script(const std::string& path, const std::string& body) {
        ASSERT_TRUE(env.writeFile(path, "#!/bin/sh\n" + body));
        chmod(path.c_str(), 0755);
    }

    sxtest::ScopedEnv env;
    std::string bin, out;
};

TEST_F(LauncherTest, LaunchesWithArgumentsAndReportsTermination) {
    platform::RunningApplication* app =
        platform::launchApplication(bin + "/recorder", {"one", "two words", ""});
    ASSERT_NE(app, nullptr);
    ASSERT_TRUE(appears(out));
    EXPECT_EQ(env.readFile(out), "one\ntwo words\n\n");
    bool ended = false;
    for (int i = 0; i < 1000 && !ended; ++i) {
        ended = platform::isTerminated(app);
        if (!ended) usleep(10000);
    }
    EXPECT_TRUE(ended);
    EXPECT_TRUE(platform::isTerminated(app)); // stays ended
    EXPECT_TRUE(platform::isTerminated(nullptr));
}

TEST_F(LauncherTest, ProgramsAreFoundOnPath) {
    ASSERT_NE(platform::launchApplication("recorder", {"x"}), nullptr);
    ASSERT_TRUE(appears(out));
    EXPECT_EQ(env.readFile(out), "x\n");
}

TEST_F(LauncherTest, ChildInheritsNoOtherDescriptors) {
    int fd = open("/dev/null", O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(dup2(fd, 77), 77); // no close-on-exec flag
    script(bin + "/fds", "if [ -e /proc/$$/fd/77 ]; then r=leaked; else r=clean; fi\n"
                         "echo $r > \"$SX_OUT.part\"; mv \"$SX_OUT.part\" \"$SX_OUT\"\n");
    ASSERT_NE(platform::launchApplication(bin + "/fds", {}), nullptr);
    close(77);
    close(fd);
    ASSERT_TRUE(appears(out));
    EXPECT_EQ(env.readFile(out), "clean\n");
}

TEST_F(LauncherTest, MissingProgramGivesNull) {
    EXPECT_EQ(platform::launchApplication(bin + "/absent", {}), nullptr);
    EXPECT_EQ(platform::launchApplication("", {}), nullptr);
    ASSERT_TRUE(env.writeFile(bin + "/notexec", "#!/bin/sh\n"));
    chmod((bin + "/notexec").c_str(), 0644);
    // root may run anything with an x bit; without one exec fails for root too.
    EXPECT_EQ(platform::launchApplication(bin + "/notexec", {}), nullptr);
}

TEST_F(LauncherTest, OpenUsesXdgOpenAndFailsWithoutIt) {
    EXPECT_TRUE(platform::openWithDefaultApplication("https://example.com/x y"));
    ASSERT_TRUE(appears(out));
    EXPECT_EQ(env.readFile(out), "open:https://example.com/x y\n");
    env.set("PATH", env.root + "/nothing-here");
    EXPECT_FALSE(platform::openWithDefaultApplication("/tmp"));
}

} // namespace
