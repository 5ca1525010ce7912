#include "engine-support/FileMapping.h"
#include "engine-support/IFFTree.h"
#include "engine-support/VNTFile.h"
#include "engine-support/VirtualRAMFile.h"
#include "engine-support/support/ChunkBytes.h"
#include "engine-support/support/TempFolder.h"
#include "engine-support/support/TreeText.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <thread>

using testsupport::ChunkBytes;
using vantor::IFFTree;
using vantor::IFFTreeNode;

namespace {

using testsupport::describe;

std::string describeChildren(const IFFTree& tree) {
    if (!tree.getRoot()) return "<no root>";
    std::string text;
    for (size_t i = 0; i < tree.getRoot()->children.size(); ++i)
        text += (i ? "," : "") + describe(tree.getRoot()->children[i]);
    return text;
}

// Every way the tree can reach its bytes.
enum class Source { Borrowed, Copied, Mapped, Stdio, StdioHanded, Virtual, VirtualOwned };

const char* sourceName(Source s) {
    switch (s) {
    case Source::Borrowed:
        return "Borrowed";
    case Source::Copied:
        return "Copied";
    case Source::Mapped:
        return "Mapped";
    case Source::Stdio:
        return "Stdio";
    case Source::StdioHanded:
        return "StdioHanded";
    case Source::Virtual:
        return "Virtual";
    case Source::VirtualOwned:
        return "VirtualOwned";
    }
    return "";
}

// Holds the bytes, the file and the borrowed source as long as the tree.
struct TreeUnderTest {
    testsupport::TempFolder folder;
    std::vector<uint8_t> bytes;
    std::unique_ptr<vantor::VirtualRAMFile> borrowed;
    std::unique_ptr<IFFTree> tree;
    bool parsed = false;
    std::string output; // what the parse printed

    TreeUnderTest(Source source, const std::vector<uint8_t>& content) : bytes(content) {
        const std::string path = folder.write("chunks.bin", bytes);
        switch (source) {
        case Source::Borrowed:
            tree = std::make_unique<IFFTree>(bytes.data(), bytes.size());
            break;
        case Source::Copied:
        case Source::Mapped:
        case Source::Stdio:
            tree = std::make_unique<IFFTree>(path);
            break;
        case Source::StdioHanded:
            tree = std::make_unique<IFFTree>(path, std::fopen(path.c_str(), "rb"));
            break;
        case Source::Virtual:
            borrowed = std::make_unique<vantor::VirtualRAMFile>(bytes.data(), bytes.size());
            tree = std::make_unique<IFFTree>(borrowed.get(), false);
            break;
        case Source::VirtualOwned:
            tree = std::make_unique<IFFTree>(new vantor::VNTFile(path), true);
            break;
        }
        uint32_t mode = source == Source::Copied                                     ? 1
                        : source == Source::Mapped                                   ? 2
                        : (source == Source::Stdio || source == Source::StdioHanded) ? 3
                                                                                     : 0;
        testing::internal::CaptureStdout();
        parsed = tree->parse(mode);
        output = testing::internal::GetCapturedStdout();
    }
};

class ChunkTreeSources : public ::testing::TestWithParam<Source> {};

INSTANTIATE_TEST_SUITE_P(AllSources, ChunkTreeSources,
                         ::testing::Values(Source::Borrowed, Source::Copied, Source::Mapped,
                                           Source::Stdio, Source::StdioHanded, Source::Virtual,
                                           Source::VirtualOwned),
                         [](const auto& info) { return std::string(sourceName(info.param)); });

struct Dialect {
    const char* title;
    std::vector<uint8_t> bytes;
    std::string tree; // the root's children as described above
};

std::vector<Dialect> dialects() {
    std::vector<Dialect> d;
    d.push_back(
        {"riffMinimal", ChunkBytes().tag("RIFF").le32(4).tag("WAVE").bytes, "RIFF(WAVE):4"});
    d.push_back({"riffOddSizeIsPadded",
                 ChunkBytes()
                     .tag("RIFF")
                     .le32(26)
                     .tag("WAVE")
                     .tag("abcd")
                     .le32(3)
                     .tag("xyz")
                     .fill(1)
                     .tag("efgh")
                     .le32(2)
                     .tag("12")
                     .bytes,
                 "RIFF(WAVE):26[abcd:4,efgh:2]"});
    d.push_back({"listInsideRiff",
                 ChunkBytes()
                     .tag("RIFF")
                     .le32(50)
                     .tag("WAVE")
                     .tag("LIST")
                     .le32(18)
                     .tag("INFO")
                     .tag("ICOP")
                     .le32(5)
                     .tag("(c) ")
                     .fill(2)
                     .tag("LIST")
                     .le32(12)
                     .fill(4)
                     .tag("zero")
                     .le32(0)
                     .bytes,
                 "RIFF(WAVE):50[LIST(INFO):18[ICOP:6],LIST(NULL):12[zero:0]]"});
    d.push_back({"formIsBigEndian",
                 ChunkBytes()
                     .tag("FORM")
                     .be32(24)
                     .tag("AIFF")
                     .tag("COMM")
                     .be32(3)
                     .tag("abc")
                     .fill(1)
                     .tag("SSND")
                     .be32(0)
                     .bytes,
                 "FORM(AIFF):24[COMM:4,SSND:0]"});
    d.push_back({"nsfeSizeFirst",
                 ChunkBytes()
                     .tag("NSFE")
                     .le32(3)
                     .tag("INFO")
                     .tag("abc")
                     .le32(2)
                     .tag("DATA")
                     .tag("xy")
                     .le32(0)
                     .tag("NEND")
                     .le32(1)
                     .tag("AFTR")
                     .tag("z")
                     .bytes,
                 "EFSN:42[INFO:3,DATA:2]"});
    d.push_back({"midiIsNotPadded",
                 ChunkBytes()
                     .tag("MThd")
                     .be32(6)
                     .fill(6, 1)
                     .tag("MTrk")
                     .be32(3)
                     .fill(3, 2)
                     .tag("MTrk")
                     .be32(1)
                     .fill(1, 3)
                     .bytes,
                 "MIDI:34[MThd:6,MTrk:3,MTrk:1]"});
    d.push_back({"wave64",
                 ChunkBytes()
                     .guid("riff")
                     .le64(40 + 40 + 28)
                     .guid("wave")
                     .guid("fmt ")
                     .le64(24 + 16)
                     .fill(16, 7)
                     .guid("data")
                     .le64(24 + 4)
                     .fill(4, 9)
                     .bytes,
                 "riff(wave):84[fmt :16,data:4]"});
    // A WAVEFORMATEX "fmt " of 18 bytes is followed by 6 bytes of padding.
    d.push_back({"wave64AlignsChunksTo8",
                 ChunkBytes()
                     .guid("riff")
                     .le64(40 + 48 + 32)
                     .guid("wave")
                     .guid("fmt ")
                     .le64(24 + 18)
                     .fill(18, 7)
                     .fill(6)
                     .guid("data")
                     .le64(24 + 8)
                     .fill(8, 9)
                     .bytes,
                 "riff(wave):96[fmt :24,data:8]"});
    d.push_back(
        {"rf64IsOnePlainChunk",
         ChunkBytes().tag("RF64").le32(0xFFFFFFFF).tag("WAVE").tag("ds64").le32(4).fill(4).bytes,
         "RF64:12"});
    d.push_back({"cafToTheEnd",
                 ChunkBytes()
                     .tag("caff")
                     .be(1, 2)
                     .be(0, 2)
                     .tag("desc")
                     .be64(5)
                     .fill(5, 1)
                     .tag("data")
                     .be64(UINT64_MAX)
                     .fill(10, 2)
                     .bytes,
                 "caff:47[desc:5,data:10]"});
    return d;
}

TEST_P(ChunkTreeSources, ReadsEveryDialect) {
    for (const Dialect& d : dialects()) {
        SCOPED_TRACE(d.title);
        TreeUnderTest t(GetParam(), d.bytes);
        ASSERT_TRUE(t.parsed) << t.output;
        EXPECT_EQ(t.output, "");
        EXPECT_EQ(describeChildren(*t.tree), d.tree);
        EXPECT_EQ(t.tree->getRoot()->size, d.bytes.size());
    }
}

TEST_P(ChunkTreeSources, RootIsNamedAfterTheSource) {
    TreeUnderTest t(GetParam(), dialects()[0].bytes);
    ASSERT_TRUE(t.parsed);
    const std::string& id = t.tree->getRoot()->id;
    switch (GetParam()) {
    case Source::Borrowed:
        EXPECT_EQ(id, "ram not owner");
        break;
    case Source::Virtual:
    case Source::VirtualOwned:
        EXPECT_EQ(id, "");
        break;
    default:
        EXPECT_EQ(id, t.folder.file("chunks.bin"));
    }
}

TEST_P(ChunkTreeSources, HandsOutChunkBytes) {
    const std::vector<uint8_t> bytes = dialects()[2].bytes; // LIST inside RIFF
    TreeUnderTest t(GetParam(), bytes);
    ASSERT_TRUE(t.parsed);
    IFFTreeNode* riff = t.tree->getRoot()->findChild("RIFF(WAVE)");
    ASSERT_NE(riff, nullptr);
    IFFTreeNode* info = riff->findChild("LIST(INFO)");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(t.tree->getRoot()->findChild("LIST(INFO)"), nullptr) << "no recursion";
    IFFTreeNode* icop = info->findChild("ICOP");
    ASSERT_NE(icop, nullptr);

    const uint8_t* body = t.tree->getChunkData(icop, false);
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(std::memcmp(body, "(c) \0\0", 6), 0);
    const uint8_t* whole = t.tree->getChunkData(icop, true);
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(std::memcmp(whole, "ICOP", 4), 0);
    const uint8_t* form = t.tree->getChunkData(riff, false);
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(std::memcmp(form, "WAVE", 4), 0);
    EXPECT_EQ(t.tree->getChunkData(t.tree->getRoot(), true), nullptr) << "past the end";

    const bool buffered = GetParam() != Source::Borrowed && GetParam() != Source::Copied &&
                          GetParam() != Source::Mapped;
    if (buffered) {
        // Two holders of one buffer: it lives until the second one gives it back.
        EXPECT_EQ(t.tree->getChunkData(icop, false), body) << "one buffer per start position";
        EXPECT_TRUE(t.tree->releaseChunkData(body));
        EXPECT_EQ(std::memcmp(body, "(c) \0\0", 6), 0) << "still held by the first request";
        EXPECT_TRUE(t.tree->releaseChunkData(body));
        EXPECT_FALSE(t.tree->releaseChunkData(body)) << "no holder left";
        EXPECT_TRUE(t.tree->releaseChunkData(whole));
        EXPECT_TRUE(t.tree->releaseChunkData(form));
    } else {
        EXPECT_EQ(body, whole + 8);
        EXPECT_FALSE(t.tree->releaseChunkData(body));
    }
    EXPECT_FALSE(t.tree->releaseChunkData(nullptr));
}

// Broken files of every kind: the parse ends (either way) without a crash,
// a hang, a leak or a read outside the source, and every node it did record
// lies inside the source.
std::vector<std::pair<const char*, std::vector<uint8_t>>> malformed() {
    std::vector<std::pair<const char*, std::vector<uint8_t>>> m;
    m.push_back({"empty", {}});
    m.push_back({"threeBytes", ChunkBytes().tag("RIF").bytes});
    m.push_back({"magicOnly", ChunkBytes().tag("RIFF").bytes});
    m.push_back({"truncatedSize", ChunkBytes().tag("RIFF").le(4, 2).bytes});
    m.push_back({"truncatedFormType", ChunkBytes().tag("RIFF").le32(4).tag("WA").bytes});
    m.push_back({"sizePastTheEnd", ChunkBytes()
                                       .tag("RIFF")
                                       .le32(0xFFFFFFFF)
                                       .tag("WAVE")
                                       .tag("fmt ")
                                       .le32(0xFFFFFFF0)
                                       .fill(8)
                                       .bytes});
    m.push_back({"oddSizes",
                 ChunkBytes().tag("RIFF").le32(13).tag("WAVE").tag("a\0cd").le32(1).fill(1).bytes});
    m.push_back({"childClaimsMoreThanParent", ChunkBytes()
                                                  .tag("RIFF")
                                                  .le32(20)
                                                  .tag("WAVE")
                                                  .tag("LIST")
                                                  .le32(1000)
                                                  .tag("INFO")
                                                  .tag("ICOP")
                                                  .le32(900)
                                                  .fill(20)
                                                  .tag("tail")
                                                  .le32(0)
                                                  .bytes});
    m.push_back(
        {"zeroSizeContainers",
         ChunkBytes().tag("LIST").le32(0).tag("LIST").be32(0).tag("LIST").be32(2).fill(8).bytes});
    m.push_back(
        {"trailingGarbage", ChunkBytes().tag("RIFF").le32(4).tag("WAVE").fill(3, 0xEE).bytes});
    m.push_back({"rf64Huge", ChunkBytes().tag("RF64").le64(UINT64_MAX).tag("WAVE").fill(16).bytes});
    m.push_back({"rf64Wraps", ChunkBytes().tag("RF64").le64(UINT64_MAX - 2).bytes});
    m.push_back({"if64Nested", ChunkBytes()
                                   .tag("IF64")
                                   .le64(UINT64_MAX - 7)
                                   .tag("WAVE")
                                   .tag("LIST")
                                   .le64(1ull << 62)
                                   .tag("INFO")
                                   .fill(12)
                                   .bytes});
    m.push_back({"cafMinusOneTwice", ChunkBytes()
                                         .tag("caff")
                                         .fill(4)
                                         .tag("data")
                                         .be64(UINT64_MAX)
                                         .fill(3)
                                         .tag("data")
                                         .be64(UINT64_MAX)
                                         .bytes});
    m.push_back({"cafShortHeader", ChunkBytes().tag("caff").fill(2).bytes});
    m.push_back({"cafHugeSize",
                 ChunkBytes().tag("caff").fill(4).tag("desc").be64(1ull << 63).fill(40).bytes});
    m.push_back({"wave64SizeBelowHeader", ChunkBytes().guid("riff").le64(3).guid("wave").bytes});
    m.push_back({"wave64Huge", ChunkBytes()
                                   .guid("riff")
                                   .le64(UINT64_MAX)
                                   .guid("wave")
                                   .guid("data")
                                   .le64(1ull << 63)
                                   .fill(10)
                                   .bytes});
    m.push_back({"nsfeTruncated", ChunkBytes().tag("NSFE").le32(100).tag("IN").bytes});
    m.push_back(
        {"nsfeHugeSize",
         ChunkBytes().tag("NSFE").le32(0xFFFFFFFF).tag("INFO").fill(7).le32(0).tag("NEND").bytes});
    m.push_back(
        {"midiTruncatedTrack",
         ChunkBytes().tag("MThd").be32(6).fill(6).tag("MTrk").be32(0x7FFFFFFF).fill(5).bytes});
    m.push_back({"formInsideFormInsideForm", ChunkBytes()
                                                 .tag("FORM")
                                                 .be32(0xFFFFFFFF)
                                                 .tag("AAAA")
                                                 .tag("FORM")
                                                 .be32(0xFFFFFFFF)
                                                 .tag("BBBB")
                                                 .tag("CAT ")
                                                 .be32(8)
                                                 .fill(4)
                                                 .bytes});
    // Ten thousand nested containers: neither the parse nor the destruction
    // may recurse once per level.
    ChunkBytes deep;
    deep.tag("RIFF").le32(0xFFFFFFFF).tag("WAVE");
    for (int i = 0; i < 10000; ++i) deep.tag("LIST").le32(0xFFFFFFFF).tag("DEEP");
    m.push_back({"deeplyNested", deep.bytes});
    return m;
}

void expectInside(const IFFTreeNode* node, uint64_t length, uint64_t& checked) {
    std::vector<const IFFTreeNode*> pending{node};
    while (!pending.empty()) {
        const IFFTreeNode* n = pending.back();
        pending.pop_back();
        ++checked;
        if (n->parent) {
            ASSERT_LE(n->offset, length) << n->id;
            ASSERT_LE(n->size, length - n->offset) << n->id;
        }
        for (size_t i = 0; i < n->children.size(); ++i) {
            if (i > 0) {
                ASSERT_GT(n->children[i]->offset, n->children[i - 1]->offset) << "forward only";
            }
            pending.push_back(n->children[i]);
        }
    }
}

TEST_P(ChunkTreeSources, SurvivesMalformedFiles) {
    for (const auto& [title, bytes] : malformed()) {
        SCOPED_TRACE(title);
        TreeUnderTest t(GetParam(), bytes);
        if (!t.parsed) {
            EXPECT_EQ(t.tree->getRoot(), nullptr);
            continue;
        }
        uint64_t checked = 0;
        expectInside(t.tree->getRoot(), bytes.size(), checked);
        EXPECT_GT(checked, 1u);
        // Hand out and release every chunk's bytes.
        std::vector<const IFFTreeNode*> pending(t.tree->getRoot()->children.begin(),
                                                t.tree->getRoot()->children.end());
        int handedOut = 0;
        while (!pending.empty() && handedOut < 50) {
            const IFFTreeNode* n = pending.back();
            pending.pop_back();
            for (bool withHeader : {false, true}) {
                const uint8_t* p = t.tree->getChunkData(n, withHeader);
                if (p) t.tree->releaseChunkData(p);
            }
            ++handedOut;
            pending.insert(pending.end(), n->children.begin(), n->children.end());
        }
    }
}

// Pinned results for broken files whose outcome matters. Recorded sizes are
// bounded by the bytes present, but the stated sizes decide how many chunks a
// container promises: a file cut before a promised chunk fails.
TEST(IFFTree, BoundsSizesByTheBytesPresent) {
    struct Expect {
        const char* title;
        std::vector<uint8_t> bytes;
        bool parses;
        std::string tree;
        std::string output;
    };
    const Expect cases[] = {
        {"threeBytes", ChunkBytes().tag("RIF").bytes, false, "<no root>", ""},
        {"text", ChunkBytes().tag("hello world").bytes, false, "<no root>",
         "Not an IFF-like file\n"},
        {"truncatedSize", ChunkBytes().tag("RIFF").le(4, 2).bytes, false, "<no root>",
         "Tree Error2\n"},
        {"truncatedWideSize", ChunkBytes().tag("RF64").le(4, 6).bytes, false, "<no root>",
         "Tree Error3\n"},
        {"truncatedFormType", ChunkBytes().tag("RIFF").le32(4).tag("WA").bytes, false, "<no root>",
         "Tree Error4\n"},
        {"noRoomForAHeader", ChunkBytes().tag("RIFF").le32(6).tag("WAVE").tag("ab").bytes, false,
         "<no root>", "Not enough space in real file for new chunks!!\n"},
        {"wave64SizeBelowHeader", ChunkBytes().guid("riff").le64(3).guid("wave").bytes, false,
         "<no root>", "Tree Error3\n"},
        {"truncatedData",
         ChunkBytes()
             .tag("RIFF")
             .le32(0xFFFFFFFF)
             .tag("WAVE")
             .tag("data")
             .le32(0xFFFFFFF0)
             .fill(10)
             .bytes,
         false, "<no root>", "Not enough space in real file for new chunks!!\n"},
        // The stated sizes promise another chunk that the file does not hold.
        {"containerPromisesMore",
         ChunkBytes().tag("RIFF").le32(100).tag("WAVE").tag("fmt ").le32(4).fill(4).bytes, false,
         "<no root>", "Not enough space in real file for new chunks!!\n"},
        {"lastChunkCut",
         ChunkBytes()
             .tag("RIFF")
             .le32(0xFFFFFFFC)
             .tag("WAVE")
             .tag("data")
             .le32(0xFFFFFFF0)
             .fill(10)
             .bytes,
         true, "RIFF(WAVE):22[data:10]", ""},
        {"lastPadMissing",
         ChunkBytes().tag("RIFF").le32(17).tag("WAVE").tag("data").le32(5).fill(5).bytes, true,
         "RIFF(WAVE):17[data:5]", ""},
        {"rf64Wraps", ChunkBytes().tag("RF64").le64(UINT64_MAX - 2).fill(3).bytes, true, "RF64:3",
         ""},
        {"cafMinusOneTwice",
         ChunkBytes().tag("caff").fill(4).tag("data").be64(UINT64_MAX).fill(3).bytes, true,
         "caff:23[data:3]", ""},
        {"nsfeHugeSize",
         ChunkBytes().tag("NSFE").le32(0xFFFFFFFF).tag("INFO").fill(7).le32(0).tag("NEND").bytes,
         true, "EFSN:27[INFO:15]", ""},
    };
    for (const Expect& c : cases) {
        SCOPED_TRACE(c.title);
        TreeUnderTest t(Source::Borrowed, c.bytes);
        EXPECT_EQ(t.parsed, c.parses);
        EXPECT_EQ(describeChildren(*t.tree), c.tree);
        EXPECT_EQ(t.output, c.output);
    }
}

TEST(IFFTree, FileSourceNeverAllocatesMoreThanTheFileHolds) {
    const std::vector<uint8_t> bytes = ChunkBytes()
                                           .tag("RIFF")
                                           .le32(0xFFFFFFFC)
                                           .tag("WAVE")
                                           .tag("data")
                                           .le32(0xFFFFFFF0)
                                           .fill(10, 5)
                                           .bytes;
    TreeUnderTest t(Source::Stdio, bytes);
    ASSERT_TRUE(t.parsed);
    IFFTreeNode* data = t.tree->getRoot()->children[0]->findChild("data");
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->size, 10u);
    const uint8_t* body = t.tree->getChunkData(data, false);
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(body[9], 5);
    EXPECT_TRUE(t.tree->releaseChunkData(body));
    IFFTreeNode forged(nullptr, "forged", 0, 0xFFFFFFF0);
    EXPECT_EQ(t.tree->getChunkData(&forged, false), nullptr);
}

TEST(IFFTree, FailedParseReleasesTheSourceAndCanBeRetried) {
    testsupport::TempFolder folder;
    const std::string path = folder.write("text.txt", std::string("plain text, not chunks"));
    IFFTree tree(path);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(tree.parse(3));
    EXPECT_EQ(tree.getKind(), IFFTree::kNone);
    EXPECT_EQ(tree.tell(), -1);
    EXPECT_FALSE(tree.parse(3)) << "reopened and read again";
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Not an IFF-like file\nNot an IFF-like file\n");

    IFFTree missing(folder.file("missing.bin"));
    testing::internal::CaptureStdout();
    EXPECT_FALSE(missing.parse(2)) << "a mapping failure is silent";
    EXPECT_FALSE(missing.parse(1));
    EXPECT_FALSE(missing.parse(3));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error opening file\n");
}

// The body of an empty chunk starts where the next chunk's header starts: the
// short buffer handed out for the one must not be handed out for the other.
TEST_P(ChunkTreeSources, BuffersSharingAStartHoldEveryRequestedByte) {
    const std::vector<uint8_t> bytes = ChunkBytes()
                                           .tag("RIFF")
                                           .le32(24)
                                           .tag("WAVE")
                                           .tag("empt")
                                           .le32(0)
                                           .tag("next")
                                           .le32(4)
                                           .tag("abcd")
                                           .bytes;
    TreeUnderTest t(GetParam(), bytes);
    ASSERT_TRUE(t.parsed);
    IFFTreeNode* riff = t.tree->getRoot()->children[0];
    IFFTreeNode* empty = riff->findChild("empt");
    IFFTreeNode* next = riff->findChild("next");
    ASSERT_NE(empty, nullptr);
    ASSERT_NE(next, nullptr);
    const uint8_t* nothing = t.tree->getChunkData(empty, false);
    ASSERT_NE(nothing, nullptr);
    const uint8_t* whole = t.tree->getChunkData(next, true);
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(std::memcmp(whole, "next\4\0\0\0abcd", 12), 0);
    EXPECT_EQ(t.tree->getChunkData(empty, false), whole) << "a longer buffer serves both";
    // Three requests, three releases: the header request and the second body
    // request share one buffer.
    t.tree->releaseChunkData(nothing);
    t.tree->releaseChunkData(whole);
    t.tree->releaseChunkData(whole);
    EXPECT_FALSE(t.tree->releaseChunkData(whole));
}

TEST(IFFTree, CloseKeepsTheNodesAndOutstandingBuffers) {
    TreeUnderTest t(Source::Stdio, dialects()[1].bytes);
    ASSERT_TRUE(t.parsed);
    IFFTreeNode* abcd = t.tree->getRoot()->children[0]->findChild("abcd");
    ASSERT_NE(abcd, nullptr);
    const uint8_t* body = t.tree->getChunkData(abcd, false);
    ASSERT_NE(body, nullptr);
    t.tree->close();
    EXPECT_NE(t.tree->getRoot()->children[0]->findChild("efgh"), nullptr);
    EXPECT_EQ(t.tree->getChunkData(t.tree->getRoot()->children[0]->findChild("efgh"), false),
              nullptr);
    EXPECT_TRUE(t.tree->releaseChunkData(body));
}

TEST(IFFTree, DirectAccessReadsWholeItems) {
    const uint8_t bytes[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    IFFTree tree(bytes, sizeof(bytes));
    uint8_t out[12] = {};
    EXPECT_EQ(tree.read(out, 0, 4), 0u);
    EXPECT_EQ(tree.read(out, 4, 3), 2u);
    EXPECT_EQ(tree.tell(), 8);
    EXPECT_TRUE(tree.seek(-3, SEEK_END));
    EXPECT_EQ(tree.tell(), 7);
    EXPECT_TRUE(tree.seek(-2, SEEK_CUR));
    EXPECT_EQ(tree.read(out, 1, 1), 1u);
    EXPECT_EQ(out[0], 5);
    EXPECT_FALSE(tree.seek(-1, SEEK_SET));
    EXPECT_FALSE(tree.seek(11, SEEK_SET));
    EXPECT_EQ(tree.tell(), 6);

    IFFTree unopened(std::string("/nonexistent/path"));
    EXPECT_EQ(unopened.tell(), -1);
    EXPECT_EQ(unopened.read(out, 1, 4), 0u);
}

TEST(FileMapping, MapsWholeFilesAndRefusesEmptyOrMissingOnes) {
    testsupport::TempFolder folder;
    uint64_t length = 99;
    EXPECT_EQ(vantor::mapFile(folder.write("empty.bin", std::vector<uint8_t>{}), length), nullptr);
    EXPECT_EQ(length, 0u);
    length = 99;
    EXPECT_EQ(vantor::mapFile(folder.file("missing.bin"), length), nullptr);
    EXPECT_EQ(length, 0u);
    vantor::unmapFile(nullptr);
    const uint8_t unknown = 0;
    vantor::unmapFile(&unknown);

    const std::string path = folder.write("data.bin", std::string("mapped bytes"));
    const uint8_t* a = vantor::mapFile(path, length);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(length, 12u);
    EXPECT_EQ(std::memcmp(a, "mapped bytes", 12), 0);
    uint64_t otherLength = 0;
    const uint8_t* b = vantor::mapFile(path, otherLength);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    vantor::unmapFile(a);
    vantor::unmapFile(b);
}

TEST(FileMapping, RegistryTakesConcurrentCallers) {
    testsupport::TempFolder folder;
    const std::string path = folder.write("shared.bin", std::string(4096, 'q'));
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&, i] {
            for (int round = 0; round < 200; ++round) {
                uint64_t length = 0;
                const uint8_t* p = vantor::mapFile(path, length);
                if (!p || length != 4096 || p[4095] != 'q') ++failures[i];
                vantor::unmapFile(p);
            }
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(failures, std::vector<int>(4, 0));
}

} // namespace
