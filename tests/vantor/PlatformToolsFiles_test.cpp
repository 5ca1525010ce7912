#include "vantor/PlatformToolsFiles.h"

#include "vantor/PlatformToolsDesktop.h"
#include "vantor/support/PrivateHome.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

using testhome::readFile;
using testhome::Scratch;
using testhome::writeFile;

namespace {

// Control and non-ASCII bytes as \xNN, so that test names stay readable.
std::string visible(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const unsigned char b = static_cast<unsigned char>(c);
        if (b >= 32 && b < 127) {
            out += c;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", b);
            out += hex;
        }
    }
    return out;
}

// ---- Path strings ---------------------------------------------------------------------

struct PathCase {
    const char* name;
    std::string (*fn)(const std::string&);
    std::string in;
    std::string expected;
};

void PrintTo(const PathCase& c, std::ostream* os) {
    *os << c.name << "(\"" << visible(c.in) << "\")";
}

class PathStrings : public ::testing::TestWithParam<PathCase> {};

TEST_P(PathStrings, GiveTheExpectedPiece) {
    const PathCase& c = GetParam();
    EXPECT_EQ(c.fn(c.in), c.expected) << c.name << "(\"" << c.in << "\")";
}

INSTANTIATE_TEST_SUITE_P(
    Table, PathStrings,
    ::testing::Values(
        PathCase{"ext", getFileExtension, "song.tar.gz", "gz"},
        PathCase{"ext", getFileExtension, "a.b/c", "b/c"},
        PathCase{"ext", getFileExtension, "noext", ""}, PathCase{"ext", getFileExtension, "x.", ""},
        PathCase{"strip", stripFileExtension, "song.tar.gz", "song.tar"},
        PathCase{"strip", stripFileExtension, ".cfg", ""},
        PathCase{"strip", stripFileExtension, "noext", "noext"},
        PathCase{"file", getFileFromPath, "C:\\dir/sub\\file.vgm", "file.vgm"},
        PathCase{"file", getFileFromPath, "/a/b/", ""},
        PathCase{"file", getFileFromPath, "file.vgm", "file.vgm"},
        PathCase{"file", getFileFromPath, "", ""},
        PathCase{"folder", getPathFromFile, "file.vgm", "."},
        PathCase{"folder", getPathFromFile, "a/b\\c", "a/b"},
        PathCase{"folder", getPathFromFile, "a\\b/c", "a\\b"},
        PathCase{"folder", getPathFromFile, "/x", ""}, PathCase{"folder", getPathFromFile, "", ""},
        PathCase{"local", localToFileSystem, "/t\xe9st/\xff.vgm", "/t\xe9st/\xff.vgm"}));

TEST(PathHelpers, RelativeAndPosixForms) {
    EXPECT_TRUE(pathIsRelative(""));
    EXPECT_TRUE(pathIsRelative("a/b"));
    EXPECT_FALSE(pathIsRelative("/a"));

    std::string out;
    PToPosix(std::string("C:\\a\\b/c"), out);
    EXPECT_EQ(out, "C:/a/b/c");
    PToPosix(static_cast<const char*>(nullptr), out);
    EXPECT_EQ(out, "");
    PToPosix("x\\y", out);
    EXPECT_EQ(out, "x/y");
    std::wstring wide;
    PToPosix(std::wstring(L"a\\b"), wide);
    EXPECT_EQ(wide, L"a/b");
}

TEST(PathHelpers, CleanPathNameReplacesReservedBytesAndStopsAtNul) {
    const std::pair<std::string, std::string> cases[] = {
        {"My Patch: A/B?", "My_Patch__A_B_"}, {"a\"b", "a\"b"}, {"*<>|\\", "_____"},
        {std::string("ab\0c d", 6), "ab"},    {"", ""},
    };
    for (const auto& [in, expected] : cases) {
        std::string name = in;
        cleanPathName(name);
        EXPECT_EQ(name, expected);
    }
}

// ---- File facts ---------------------------------------------------------------------------

using FileFacts = Scratch;

TEST_F(FileFacts, ExistenceSizeAndDate) {
    writeFile(path("f.bin"), "12345");
    ::mkdir(path("sub").c_str(), 0755);

    EXPECT_TRUE(fileExists(path("f.bin"), true));
    EXPECT_FALSE(fileExists(path("sub"), true)) << "a folder must not pass for a readable file";
    EXPECT_FALSE(fileExists(path("missing"), true));
    EXPECT_FALSE(fileExists("", true));
    EXPECT_TRUE(wrap_FileExists(path("sub")));
    EXPECT_TRUE(directoryExists(path("sub")));
    EXPECT_TRUE(directoryExists(path("f.bin")));
    EXPECT_FALSE(directoryExists(path("missing")));

    EXPECT_EQ(fileSize(path("f.bin")), 5);
    EXPECT_EQ(fileSize(path("missing")), 0);
    EXPECT_EQ(fileDate(path("missing")), 0);

    const timeval times[2] = {{1796721311, 0}, {1796721311, 0}};
    ASSERT_EQ(::utimes(path("f.bin").c_str(), times), 0);
    EXPECT_EQ(fileDate(path("f.bin")), 1796721311);
    EXPECT_EQ(getFileTimeDetails(path("f.bin")), "mtime : Tue Dec  8 09:15:11 2026");
}

// ---- Whole files of bytes --------------------------------------------------------------------

struct TailCase {
    size_t fileBytes;
    uint64_t tailIn;
    uint64_t blockBytes;
    uint64_t tailOut;
};

void PrintTo(const TailCase& c, std::ostream* os) {
    *os << c.fileBytes << " bytes, tail " << c.tailIn;
}

class ZeroTailedBuffer : public Scratch, public ::testing::WithParamInterface<TailCase> {};

TEST_P(ZeroTailedBuffer, HoldsTheFileThenZerosToAMultipleOf16) {
    const TailCase& c = GetParam();
    std::string bytes(c.fileBytes, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(0xA0 + i);
    writeFile(path("data"), bytes);

    uint64_t size = 99;
    uint64_t tail = c.tailIn;
    uint8_t* block = binFileInternalize(path("data"), size, tail);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(size, c.fileBytes);
    EXPECT_EQ(tail, c.tailOut);
    EXPECT_EQ(size + tail, c.blockBytes);
    EXPECT_EQ(std::memcmp(block, bytes.data(), bytes.size()), 0);
    for (uint64_t i = size; i < size + tail; ++i) EXPECT_EQ(block[i], 0) << "byte " << i;
    binFileFree(block);
}

INSTANTIATE_TEST_SUITE_P(Table, ZeroTailedBuffer,
                         ::testing::Values(TailCase{10, 0, 16, 6}, TailCase{16, 0, 16, 0},
                                           TailCase{16, 1, 32, 16}, TailCase{0, 0, 0, 0},
                                           TailCase{0, 32, 32, 32}, TailCase{33, 32, 80, 47}));

using WholeFiles = Scratch;

TEST_F(WholeFiles, ReadIntoVectorAndWithAPlainTailValue) {
    writeFile(path("data"), std::string("\x00\x01\xff", 3));
    std::vector<uint8_t> data{9, 9};
    ASSERT_TRUE(binFileInternalize(path("data"), data));
    EXPECT_EQ(data, (std::vector<uint8_t>{0x00, 0x01, 0xff}));

    writeFile(path("empty"), "");
    ASSERT_TRUE(binFileInternalize(path("empty"), data));
    EXPECT_TRUE(data.empty());

    uint64_t size = 0;
    uint8_t* block = binFileInternalize(path("data"), size, 32);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(block[34], 0);
    binFileFree(block);
    binFileFree(nullptr);
}

// Inputs that are not readable regular files give the failure result and
// never reach an allocation or a read.
TEST_F(WholeFiles, NonRegularOrMissingInputsFail) {
    ::mkdir(path("folder").c_str(), 0755);
    ASSERT_EQ(::mkfifo(path("pipe").c_str(), 0644), 0);
    const std::string inputs[] = {path("missing"), path("folder"), path("pipe"), "", "/dev/zero"};
    for (const std::string& in : inputs) {
        SCOPED_TRACE(in);
        uint64_t size = 77;
        uint64_t tail = 4;
        EXPECT_EQ(binFileInternalize(in, size, tail), nullptr);
        EXPECT_EQ(size, 0u);
        std::vector<uint8_t> data{1, 2};
        EXPECT_FALSE(binFileInternalize(in, data));
        EXPECT_EQ(data, (std::vector<uint8_t>{1, 2})) << "a failed read leaves the vector alone";
        std::vector<std::string> lines;
        EXPECT_FALSE(textInternalize(in, lines));
        std::map<std::string, std::string> map;
        EXPECT_FALSE(createStringMap(in, map, '=', true));
    }
}

TEST_F(WholeFiles, TailThatCannotFitIsRefusedWithoutAllocating) {
    writeFile(path("data"), "abc");
    uint64_t size = 0;
    uint64_t tail = UINT64_MAX - 2;
    EXPECT_EQ(binFileInternalize(path("data"), size, tail), nullptr);
    EXPECT_EQ(size, 3u);
}

TEST_F(WholeFiles, UnreadableFileFails) {
    writeFile(path("secret"), "xyz");
    ::chmod(path("secret").c_str(), 0000);
    const std::string file = path("secret");
    const int status = testhome::runUnprivileged([&] {
        uint64_t size = 5;
        uint64_t tail = 0;
        std::vector<uint8_t> data;
        const bool failed = binFileInternalize(file, size, tail) == nullptr && size == 0 &&
                            !binFileInternalize(file, data);
        return failed ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
}

TEST_F(WholeFiles, ExternalizeWritesExactlyTheBytes) {
    writeFile(path("out"), "a much longer previous content");
    const uint8_t bytes[] = {'x', 0, 'y'};
    ASSERT_TRUE(binFileExternalize(path("out"), bytes, 3));
    EXPECT_EQ(readFile(path("out")), std::string("x\0y", 3));

    ASSERT_TRUE(binFileExternalize(path("empty"), nullptr, 0));
    EXPECT_TRUE(fileExists(path("empty")));
    EXPECT_EQ(fileSize(path("empty")), 0);

    ::mkdir(path("folder").c_str(), 0755);
    EXPECT_FALSE(binFileExternalize(path("folder"), bytes, 3));
    EXPECT_FALSE(binFileExternalize(path("no/such/file"), bytes, 3));
    EXPECT_FALSE(binFileExternalize(path("null"), nullptr, 3));
}

// In the temporary folder a planted link is not followed, and a file that
// belongs to someone else is not written.
TEST_F(WholeFiles, ExternalizeInTempFolderRefusesLinksAndForeignFiles) {
    writeFile(path("victim"), "keep");
    const std::string name = makeTempFileName(".bin");
    ASSERT_EQ(::symlink(path("victim").c_str(), name.c_str()), 0);
    const uint8_t bytes[] = {'b', 'a', 'd'};
    EXPECT_FALSE(binFileExternalize(name, bytes, 3));
    EXPECT_EQ(readFile(path("victim")), "keep");
    ::unlink(name.c_str());

    ASSERT_TRUE(binFileExternalize(name, bytes, 3));
    EXPECT_EQ(readFile(name), "bad");
    ::unlink(name.c_str());

    if (!testhome::isRoot()) GTEST_SKIP() << "giving a file to another user needs root";
    const std::string foreign = makeTempFileName(".bin");
    writeFile(foreign, "theirs");
    ::chmod(foreign.c_str(), 0666);
    ASSERT_EQ(::chown(foreign.c_str(), 65534, 65534), 0);
    EXPECT_FALSE(binFileExternalize(foreign, bytes, 3));
    EXPECT_EQ(readFile(foreign), "theirs");
}

// ---- Text -----------------------------------------------------------------------------------

struct LineCase {
    std::string text;
    std::vector<std::string> lines;
};

void PrintTo(const LineCase& c, std::ostream* os) {
    *os << '"' << visible(c.text) << '"';
}

class GetLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(GetLine, SplitsAtLfCrLfAndLoneCr) {
    std::istringstream in(GetParam().text);
    std::vector<std::string> got;
    std::string line;
    while (getLine(in, line)) got.push_back(line);
    EXPECT_EQ(got, GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(Table, GetLine,
                         ::testing::Values(LineCase{"a", {"a"}}, LineCase{"a\n", {"a"}},
                                           LineCase{"\n\n", {"", ""}}, LineCase{"", {}},
                                           LineCase{"a\r\nb\rc\n\nd", {"a", "b", "c", "", "d"}},
                                           LineCase{"\r", {""}}, LineCase{"a\r", {"a"}},
                                           LineCase{"\r\r", {"", ""}}));

struct RamCase {
    std::string text;
    bool skipEmpty;
    std::vector<std::string> lines;
    bool result;
};

void PrintTo(const RamCase& c, std::ostream* os) {
    *os << '"' << visible(c.text) << (c.skipEmpty ? "\" skipping empty" : "\"");
}

class TextInRam : public ::testing::TestWithParam<RamCase> {};

TEST_P(TextInRam, SplitsLikeTheFileReader) {
    const RamCase& c = GetParam();
    std::vector<std::string> lines{"stale"};
    EXPECT_EQ(textInternalizeRAM(c.text, lines, c.skipEmpty), c.result);
    EXPECT_EQ(lines, c.lines);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TextInRam,
    ::testing::Values(RamCase{"a\r\nb\rc\n\nd", false, {"a", "b", "c", "", "d"}, true},
                      RamCase{"a\r\nb\rc\n\nd", true, {"a", "b", "c", "d"}, true},
                      RamCase{"a\n", false, {"a"}, true}, RamCase{"a\rb", false, {"a", "b"}, true},
                      RamCase{"a\r", false, {"a"}, true},
                      RamCase{std::string("ab\0", 3), false, {"ab"}, true},
                      RamCase{"", false, {}, true}, RamCase{"\n\n", true, {}, false},
                      RamCase{"\n\n", false, {"", ""}, true}));

using TextFiles = Scratch;

TEST_F(TextFiles, ReadLinesAndText) {
    writeFile(path("t.txt"), "x\r\ny");
    std::string text = "pre:";
    ASSERT_TRUE(textInternalize(path("t.txt"), text));
    EXPECT_EQ(text, "pre:x\ny\n");

    std::vector<std::string> lines{"old"};
    ASSERT_TRUE(textInternalize(path("t.txt"), lines));
    EXPECT_EQ(lines, (std::vector<std::string>{"old", "x", "y"}));

    writeFile(path("empty"), "");
    std::string none;
    EXPECT_TRUE(textInternalize(path("empty"), none));
    EXPECT_EQ(none, "");
    EXPECT_FALSE(textInternalize(path("missing"), none));
}

TEST_F(TextFiles, StringMapKeepsTheLastValueAndSkipsCommentsAndLinesWithoutSeparator) {
    writeFile(path("map.txt"), " alpha = one \n# beta = two\ngamma\nalpha=three\n");
    std::map<std::string, std::string> map{{"kept", "1"}};
    ASSERT_TRUE(createStringMap(path("map.txt"), map, '=', true));
    EXPECT_EQ(map, (std::map<std::string, std::string>{{"alpha", "three"}, {"kept", "1"}}));

    writeFile(path("map2.txt"), "# c = d\r\n = empty key\r\nurl = a=b\r\n");
    map.clear();
    ASSERT_TRUE(createStringMap(path("map2.txt"), map, '=', false));
    EXPECT_EQ(
        map, (std::map<std::string, std::string>{{"# c", "d"}, {"", "empty key"}, {"url", "a=b"}}));
}

} // namespace
