#include "engine-support/FolderSize.h"
#include "engine-support/support/TempFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

int64_t statSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

TEST(FolderSize, EmptyOrMissingFolderIsZero) {
    testsupport::TempFolder folder;
    EXPECT_EQ(vantor::folderByteSize(folder.path()), 0);
    EXPECT_EQ(vantor::folderByteSize(folder.file("missing")), 0);
}

TEST(FolderSize, SumsEveryEntryBelowTheFolder) {
    testsupport::TempFolder folder;
    folder.write("a.bin", std::string(10, 'a'));
    folder.write("noextension", std::string(20, 'b'));
    ASSERT_EQ(::mkdir(folder.file("sub").c_str(), 0700), 0);
    folder.write("sub/c.wav", std::string(300, 'c'));
    // Folders are entries of the listing too; their size is whatever stat gives.
    EXPECT_EQ(vantor::folderByteSize(folder.path()), 330 + statSize(folder.file("sub")));
}

TEST(FolderSize, ListersAddToTheGivenSet) {
    testsupport::TempFolder folder;
    folder.write("x.WAV", std::string("1"));
    folder.write("y.wav", std::string("2"));
    ASSERT_EQ(::mkdir(folder.file("sub").c_str(), 0700), 0);
    folder.write("sub/z.txt", std::string("3"));

    std::set<std::string> names{"kept"};
    vantor::listFiles(folder.path(), "*.wav", names, nullptr);
    EXPECT_EQ(names, (std::set<std::string>{"kept", folder.file("y.wav")}));

    names.clear();
    vantor::listFilesWithExtensions(folder.path(), {"*.wav", "txt"}, names, nullptr);
    EXPECT_EQ(names, (std::set<std::string>{folder.file("x.WAV"), folder.file("y.wav"),
                                            folder.file("sub/z.txt")}));

    names.clear();
    vantor::listDirectories(folder.path(), names);
    EXPECT_EQ(names, (std::set<std::string>{folder.file("sub")}));
}

} // namespace
