// Readers that take a path accept regular files only, never block on open and
// read a bounded amount: a FIFO, a device or a huge file gives a failure.
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "platform/CoreFoundation.h"
#include "platform/PlistXml.h"
#include "platform/RegularFile.h"
#include "platform/StandardFolders.h"
#include "platform/support/CFHold.h"
#include "platform/support/ScopedEnv.h"
#include "support/BoundedCall.h"

namespace {

using testsupport::Outcome;
using testsupport::runBounded;

// Opens the path as a property-list read stream, as the preference reader does.
bool streamOpens(const std::string& path) {
    Hold url(CFURLCreateFromFileSystemRepresentation(kCFAllocatorDefault,
                                                     reinterpret_cast<const uint8_t*>(path.c_str()),
                                                     static_cast<CFIndex>(path.size()), false));
    CFReadStreamRef stream =
        CFReadStreamCreateWithFile(kCFAllocatorDefault, static_cast<CFURLRef>(url.ref));
    if (!stream) return false;
    const bool opened = CFReadStreamOpen(stream);
    CFReadStreamClose(stream);
    CFRelease(stream);
    return opened;
}

class RegularFileTest : public ::testing::Test {
protected:
    std::string file(const char* name) const { return env.root + "/" + name; }
    sxtest::ScopedEnv env;
};

TEST_F(RegularFileTest, ReadsRegularFilesAndRefusesEverythingElse) {
    ASSERT_TRUE(env.writeFile(file("plain"), "0123456789"));
    ASSERT_TRUE(testsupport::makeFifo(file("fifo")));
    const struct {
        const char* what;
        std::string path;
        int error;
    } cases[] = {
        {"regular file", file("plain"), 0},
        {"missing file", file("none"), ENOENT},
        {"folder", env.root, EISDIR},
        {"FIFO without writer", file("fifo"), EINVAL},
        {"endless device", "/dev/zero", EINVAL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const int expected = c.error;
        const std::string path = c.path;
        const Outcome o = runBounded([&] {
            std::string bytes = "kept";
            const int error = platform::readRegularFile(path, bytes, 1000);
            return error == expected && bytes == (error ? "kept" : "0123456789");
        });
        EXPECT_EQ(o, Outcome::kTrue) << testsupport::outcomeName(o);
    }
}

TEST_F(RegularFileTest, LimitIsInclusive) {
    ASSERT_TRUE(env.writeFile(file("plain"), "0123456789"));
    std::string bytes;
    EXPECT_EQ(platform::readRegularFile(file("plain"), bytes, 10), 0);
    EXPECT_EQ(bytes, "0123456789");
    EXPECT_EQ(platform::readRegularFile(file("plain"), bytes, 9), EFBIG);
    EXPECT_EQ(bytes, "0123456789");
}

TEST_F(RegularFileTest, PropertyListStreamOpensRegularFilesOnly) {
    ASSERT_TRUE(env.writeFile(file("list.plist"), "<plist><string>x</string></plist>"));
    ASSERT_TRUE(testsupport::makeFifo(file("fifo")));
    const struct {
        const char* what;
        std::string path;
        Outcome expected;
    } cases[] = {
        {"regular file", file("list.plist"), Outcome::kTrue},
        {"FIFO without writer", file("fifo"), Outcome::kFalse},
        {"endless device", "/dev/zero", Outcome::kFalse},
    };
    for (const auto& c : cases) {
        const std::string path = c.path;
        const Outcome o = runBounded([&] { return streamOpens(path); });
        EXPECT_EQ(o, c.expected) << c.what << ": " << testsupport::outcomeName(o);
    }
}

// A preference store that is a FIFO, a link to an endless device or larger
// than any preference file holds nothing and is never replaced.
TEST_F(RegularFileTest, PreferenceStoreThatIsNoRegularFileIsUnreadable) {
    const std::string folder = env.configHome + "/Preferences";
    const std::string store = folder + "/com.vantor.test.plist";
    ASSERT_TRUE(platform::makeFolders(folder));
    const std::function<bool()> makeStore[] = {
        [&] { return testsupport::makeFifo(store); },
        [&] { return ::symlink("/dev/zero", store.c_str()) == 0; },
        [&] { // sparse: one byte over the limit costs no disk space
            const int fd = ::open(store.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const bool ok = fd >= 0 && ::ftruncate(fd, off_t(platform::kLargestPlistFile) + 1) == 0;
            if (fd >= 0) ::close(fd);
            return ok;
        },
    };
    const char* const names[] = {"FIFO", "link to /dev/zero", "oversized file"};
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(names[k]);
        ::unlink(store.c_str());
        ASSERT_TRUE(makeStore[k]());
        const Outcome o = runBounded([] {
            CFStringRef domain = CFSTR("com.vantor.test");
            Hold value(CFPreferencesCopyAppValue(CFSTR("k"), domain));
            if (value.ref) return false;
            CFPreferencesSetValue(CFSTR("k"), CFSTR("v"), domain, kCFPreferencesCurrentUser,
                                  kCFPreferencesAnyHost);
            return !CFPreferencesSynchronize(domain, kCFPreferencesCurrentUser,
                                             kCFPreferencesAnyHost);
        });
        EXPECT_EQ(o, Outcome::kTrue) << testsupport::outcomeName(o);
    }
    struct stat st {};
    ASSERT_EQ(::stat(store.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, off_t(platform::kLargestPlistFile) + 1);
}

} // namespace
