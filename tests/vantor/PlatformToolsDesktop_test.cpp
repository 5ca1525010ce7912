#include "vantor/PlatformToolsDesktop.h"

#include "vantor/CFTools.h"
#include "vantor/PlatformToolsFiles.h"
#include "vantor/support/PrivateHome.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

using testhome::readFile;
using testhome::Scratch;
using testhome::writeFile;

namespace {

bool isFolder(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isLink(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

std::vector<std::string> namesIn(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (const dirent* e = ::readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.push_back(e->d_name);
        ::closedir(d);
    }
    return names;
}

// ---- Copying and deleting -------------------------------------------------------------

using Copying = Scratch;

TEST_F(Copying, OverwriteDecidesWhetherAnExistingDestinationIsReplaced) {
    writeFile(path("src"), "new content");
    writeFile(path("dst"), "old");

    const uint64_t refused = PCopyFile(path("src"), path("dst"), false);
    EXPECT_NE(copyStatus(refused), kCopyDone);
    EXPECT_EQ(copyError(refused), static_cast<uint32_t>(EEXIST));
    EXPECT_EQ(readFile(path("dst")), "old");

    EXPECT_EQ(PCopyFile(path("src"), path("dst"), true), 0u);
    EXPECT_EQ(readFile(path("dst")), "new content");

    EXPECT_EQ(PCopyFile(path("src"), path("fresh"), false), 0u);
    EXPECT_EQ(readFile(path("fresh")), "new content");
}

TEST_F(Copying, FailuresCarryTheirStatusAndError) {
    ::mkdir(path("folder").c_str(), 0755);
    writeFile(path("src"), "x");
    const struct {
        std::string src, dst;
        uint32_t status, error;
    } cases[] = {
        {path("missing"), path("d1"), kCopyFailed, ENOENT},
        {path("folder"), path("d2"), kCopyFailed, EISDIR},
        {path("src"), path("no/such/d3"), kCopyFailed, ENOENT},
        {"", path("d4"), kCopyNoWay, 0},
        {path("src"), "", kCopyNoWay, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.src + " -> " + c.dst);
        const uint64_t result = PCopyFile(c.src, c.dst, false);
        EXPECT_EQ(copyStatus(result), c.status);
        EXPECT_EQ(copyError(result), c.error);
    }
    EXPECT_FALSE(wrap_FileExists(path("d1")));
    EXPECT_FALSE(wrap_FileExists(path("d2")));
}

// A link planted at the destination is never written through.
TEST_F(Copying, LinkAtDestinationIsNotFollowed) {
    writeFile(path("src"), "payload");
    writeFile(path("victim"), "keep");
    ASSERT_EQ(::symlink(path("victim").c_str(), path("dst").c_str()), 0);

    EXPECT_NE(copyStatus(PCopyFile(path("src"), path("dst"), false)), kCopyDone);
    EXPECT_EQ(readFile(path("victim")), "keep");

    EXPECT_EQ(PCopyFile(path("src"), path("dst"), true), 0u);
    EXPECT_FALSE(isLink(path("dst")));
    EXPECT_EQ(readFile(path("dst")), "payload");
    EXPECT_EQ(readFile(path("victim")), "keep");
}

TEST_F(Copying, DeletingAFolderRemovesItsTreeButNotWhatLinksPointAt) {
    ::mkdir(path("outside").c_str(), 0755);
    writeFile(path("outside/keep"), "k");
    ::mkdir(path("tree").c_str(), 0755);
    ::mkdir(path("tree/sub").c_str(), 0755);
    writeFile(path("tree/sub/f"), "f");
    ASSERT_EQ(::symlink(path("outside").c_str(), path("tree/link").c_str()), 0);

    EXPECT_TRUE(PDeleteDirectory(path("tree")));
    EXPECT_FALSE(wrap_FileExists(path("tree")));
    EXPECT_EQ(readFile(path("outside/keep")), "k");

    writeFile(path("file"), "x");
    EXPECT_TRUE(wrap_deleteFile(path("file")));
    EXPECT_FALSE(wrap_deleteFile(path("file")));
    EXPECT_FALSE(PDeleteFile(path("file")));
    writeFile(path("file2"), "x");
    EXPECT_TRUE(PDeleteFile(path("file2")));
    EXPECT_FALSE(PDeleteFile(path("outside"))) << "unlink does not remove a folder";
}

// ---- Creating folders --------------------------------------------------------------------

using Folders = Scratch;

TEST_F(Folders, CreateDirMakesEveryMissingLevelAndAcceptsAnExistingFolder) {
    const std::string deep = path("a/b/c");
    EXPECT_EQ(PCreateDir(deep), 0);
    EXPECT_TRUE(isFolder(path("a")));
    EXPECT_TRUE(isFolder(deep));
    EXPECT_EQ(PCreateDir(deep), 0);
    EXPECT_EQ(PCreateDir(path("a/b/c/")), 0);
    EXPECT_EQ(PCreateDir(""), 2);
}

// The folder gets exactly the bytes of the path, whatever their encoding.
TEST_F(Folders, CreateDirKeepsThePathBytes) {
    const std::string names[] = {"caf\xc3\xa9", "latin\xe9", "back\\slash", "sp ace"};
    for (const std::string& name : names) {
        EXPECT_EQ(PCreateDir(path(name)), 0) << name;
        EXPECT_TRUE(isFolder(path(name))) << name;
    }
    auto listed = namesIn(dir);
    std::sort(listed.begin(), listed.end());
    std::vector<std::string> expected(std::begin(names), std::end(names));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listed, expected) << "no other folder may appear";
}

// A file where the folder should be is a failure, not a success.
TEST_F(Folders, CreateDirFailsWhereAFileStands) {
    writeFile(path("file"), "x");
    EXPECT_EQ(PCreateDir(path("file")), 2);
    EXPECT_EQ(PCreateDir(path("file/sub")), 2);
}

TEST_F(Folders, CreateFoldersFromAUrl) {
    const std::string target = path("u/v");
    vantor::CFURLWrapper nested(reinterpret_cast<const uint8_t*>(target.data()), target.size(),
                                true);
    EXPECT_TRUE(wrap_CreateFolders(nested, true));
    EXPECT_TRUE(isFolder(target));
    EXPECT_TRUE(wrap_CreateFolders(nested, false)) << "an existing folder counts as success";

    const std::string orphan = path("x/y");
    vantor::CFURLWrapper single(reinterpret_cast<const uint8_t*>(orphan.data()), orphan.size(),
                                true);
    EXPECT_FALSE(wrap_CreateFolders(single, false));
    EXPECT_FALSE(wrap_FileExists(path("x")));
}

TEST_F(Folders, UserPathForVendorAndProduct) {
    const std::string first = setUserPathVendorProduct("A", "B");
    EXPECT_EQ(first, std::string(std::getenv("XDG_DATA_HOME")) + "/A/B");
    EXPECT_TRUE(isFolder(first));
    EXPECT_EQ(setUserPathVendorProduct("A", "B"), first);

    // A user data folder that does not exist yet is created along the way.
    const std::string saved = std::getenv("XDG_DATA_HOME");
    ::setenv("XDG_DATA_HOME", path("fresh/share").c_str(), 1);
    const std::string fresh = setUserPathVendorProduct("Vendor", "Product");
    ::setenv("XDG_DATA_HOME", saved.c_str(), 1);
    EXPECT_EQ(fresh, path("fresh/share/Vendor/Product"));
    EXPECT_TRUE(isFolder(fresh));
}

TEST_F(Folders, FixFilePermissionCopiesModeAndOwners) {
    ::mkdir(path("d").c_str(), 0755);
    writeFile(path("d/f"), "x");
    ASSERT_EQ(::chmod(path("d").c_str(), 0751), 0);
    ASSERT_EQ(::chmod(path("d/f").c_str(), 0600), 0);
    EXPECT_TRUE(fixFilePermission(path("d"), "f"));
    struct stat st {};
    ASSERT_EQ(::stat(path("d/f").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0751u);

    EXPECT_FALSE(fixFilePermission(path("missing"), "f"));
    EXPECT_FALSE(fixFilePermission(path("d"), "missing"));
}

// ---- Write probe and temporary names ------------------------------------------------------

using Probing = Scratch;

TEST_F(Probing, WriteAccessLeavesNothingBehind) {
    EXPECT_TRUE(directoryWriteAccess(dir));
    EXPECT_TRUE(namesIn(dir).empty());
    EXPECT_FALSE(directoryWriteAccess(""));
    EXPECT_FALSE(directoryWriteAccess(path("missing")));
    // A location that refuses new files even to root.
    EXPECT_FALSE(directoryWriteAccess("/proc/self"));
}

TEST_F(Probing, WriteAccessIsFalseForAReadOnlyFolder) {
    ::mkdir(path("ro").c_str(), 0555);
    const std::string ro = path("ro");
    EXPECT_EQ(testhome::runUnprivileged([&] { return directoryWriteAccess(ro) ? 1 : 0; }), 0);
    EXPECT_TRUE(namesIn(ro).empty());
}

TEST(TempNames, LiveInTheTemporaryFolderAndDifferOnEveryCall) {
    const std::string temp = getTempDir();
    EXPECT_EQ(temp, std::string(std::getenv("TMPDIR")) + "/");
    std::set<std::string> names;
    for (int i = 0; i < 1000; ++i) {
        const std::string name = makeTempFileName(".vgz");
        ASSERT_EQ(name.rfind(temp + "/vnt", 0), 0u) << name;
        ASSERT_EQ(name.substr(name.size() - 4), ".vgz");
        const std::string ticks = name.substr(temp.size() + 4, name.size() - temp.size() - 8);
        ASSERT_FALSE(ticks.empty());
        ASSERT_EQ(ticks.find_first_not_of("0123456789"), std::string::npos) << name;
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 1000u);
}

// ---- Volume, placeholders -----------------------------------------------------------------

using Volumes = Scratch;

TEST_F(Volumes, VolumeUrlOfAPath) {
    std::string out = "unchanged";
    ASSERT_TRUE(PGetVolumeUIDForPath("/", out, true));
    EXPECT_EQ(out, "file:///");
    ASSERT_TRUE(PGetVolumeUIDForPath(dir, out, true));
    EXPECT_EQ(out.rfind("file:///", 0), 0u);
    EXPECT_EQ(out.back(), '/');

    out = "unchanged";
    EXPECT_FALSE(PGetVolumeUIDForPath(path("missing"), out, false));
    EXPECT_FALSE(PGetVolumeUIDForPath("", out, false));
    EXPECT_EQ(out, "unchanged");
}

TEST_F(Volumes, PlaceholdersKeepTheirFixedResults) {
    const std::string dummy = "DUMMYMD5DUMMYMD5DUMMYMD5";
    EXPECT_EQ(PCalcMD5(std::string("abc")), dummy);
    EXPECT_EQ(PCalcMD5(std::string()), dummy);
    EXPECT_EQ(PCalcMD5(std::vector<uint8_t>{1, 2, 3}), dummy);

    writeFile(path("src"), "data");
    EXPECT_FALSE(PGzipFile(path("src"), path("dst.gz")));
    EXPECT_FALSE(wrap_FileExists(path("dst.gz")));

    EXPECT_EQ(PcompressBound(0), 11u);
    EXPECT_EQ(PcompressBound(65536), 65567u);
}

// ---- Folder listers ------------------------------------------------------------------------

class Listers : public Scratch {
protected:
    void SetUp() override {
        Scratch::SetUp();
        for (const char* folder : {"tree", "tree/sub", "tree/.hidden", "outside"})
            ::mkdir(path(folder).c_str(), 0755);
        for (const char* file : {"tree/x.vgm", "tree/y.VGM", "tree/sub/z.wav", "tree/noext",
                                 "tree/.hidden/h.vgm", "tree/.dot.vgm", "outside/o.vgm"})
            writeFile(path(file), "1");
        ::symlink(path("outside").c_str(), path("tree/link").c_str());
    }
    std::set<std::string> full(std::initializer_list<const char*> rel) const {
        std::set<std::string> out{"kept"};
        for (const char* r : rel) out.insert(path("tree/") + r);
        return out;
    }
};

TEST_F(Listers, FileListerFilters) {
    const struct {
        std::string pattern;
        std::vector<std::string> extensions;
        std::set<std::string> expected;
    } cases[] = {
        {"*.VGM", {}, full({"y.VGM"})},
        {"wav", {}, full({"sub/z.wav"})},
        {"", {"*.VGM"}, full({"x.vgm", "y.VGM", ".hidden/h.vgm", ".dot.vgm"})},
        {"ignored",
         {"*.wav", "VGM"},
         full({"x.vgm", "y.VGM", "sub/z.wav", ".hidden/h.vgm", ".dot.vgm"})},
        {"", {"*"}, full({"x.vgm", "y.VGM", "sub", "sub/z.wav", "noext", "link"})},
        {"", {"*.*", "wav"}, full({"x.vgm", "y.VGM", "sub", "sub/z.wav", "noext", "link"})},
        {"*",
         {},
         full({"x.vgm", "y.VGM", "sub", "sub/z.wav", "noext", "link", ".hidden", ".hidden/h.vgm",
               ".dot.vgm"})},
        {"*.*",
         {},
         full({"x.vgm", "y.VGM", "sub", "sub/z.wav", "noext", "link", ".hidden", ".hidden/h.vgm",
               ".dot.vgm"})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("pattern '" + c.pattern + "', " + std::to_string(c.extensions.size()) +
                     " extensions");
        std::set<std::string> out{"kept"};
        wrap_FileLister(path("tree"), c.pattern, out, c.extensions, nullptr);
        EXPECT_EQ(out, c.expected);
        // A trailing '/' on the folder gives the same single-'/' paths.
        std::set<std::string> slashed{"kept"};
        wrap_FileLister(path("tree/"), c.pattern, slashed, c.extensions, nullptr);
        EXPECT_EQ(slashed, c.expected);
    }
}

TEST_F(Listers, CancelStopsAfterTheCurrentEntry) {
    volatile int cancel = 1;
    std::set<std::string> out;
    wrap_FileLister(path("tree"), "*", out, {}, &cancel);
    EXPECT_EQ(out.size(), 1u);
}

TEST_F(Listers, DirectoryListerReportsFoldersOnly) {
    std::set<std::string> out{"kept"};
    wrap_DirectoryLister(path("tree"), out);
    EXPECT_EQ(out, full({"sub", ".hidden"}));
}

TEST_F(Listers, MissingFolderListsNothing) {
    std::set<std::string> out{"kept"};
    wrap_FileLister(path("missing"), "*", out, {}, nullptr);
    wrap_DirectoryLister(path("missing"), out);
    EXPECT_EQ(out, std::set<std::string>{"kept"});
}

} // namespace
