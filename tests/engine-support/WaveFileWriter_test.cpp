#include "engine-support/IFFTree.h"
#include "engine-support/WaveFileWriter.h"
#include "engine-support/support/TempFolder.h"
#include "engine-support/support/TreeText.h"

#include <gtest/gtest.h>

#include <cstring>

using vantor::IFFTree;
using vantor::IFFTreeNode;
using vantor::WaveFileWriter;

namespace {

using testsupport::describe;

uint32_t fourCC(const char* text) {
    return uint32_t(uint8_t(text[0])) | uint32_t(uint8_t(text[1])) << 8 |
           uint32_t(uint8_t(text[2])) << 16 | uint32_t(uint8_t(text[3])) << 24;
}

uint32_t u32At(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}

// The file as the chunk-tree reader sees it: the RIFF chunk and everything in it.
std::string readBack(const std::string& path) {
    IFFTree tree(path);
    if (!tree.parse(3) || tree.getRoot()->children.size() != 1) return "<unreadable>";
    return describe(tree.getRoot()->children[0]);
}

class WaveWriter : public ::testing::Test {
protected:
    testsupport::TempFolder folder;
    std::string path = folder.file("out.wav");
};

TEST_F(WaveWriter, HeaderOnlyFileIsStillAValidRiff) {
    { WaveFileWriter writer(path); }
    const std::vector<uint8_t> bytes = testsupport::readAll(path);
    ASSERT_EQ(bytes.size(), 36u);
    EXPECT_EQ(std::memcmp(bytes.data(), "RIFF", 4), 0);
    EXPECT_EQ(u32At(bytes, 4), 28u);
    EXPECT_EQ(std::memcmp(bytes.data() + 8, "WAVEfmt ", 8), 0);
    EXPECT_EQ(u32At(bytes, 16), 16u);
    const uint8_t defaultFormat[16] = {1,    0,    1,    0, 0x44, 0xAC, 0,  0,
                                       0x88, 0x58, 0x01, 0, 2,    0,    16, 0};
    EXPECT_EQ(std::memcmp(bytes.data() + 20, defaultFormat, 16), 0);
    EXPECT_EQ(readBack(path), "RIFF(WAVE):28[fmt :16]");
}

TEST_F(WaveWriter, BeginDataDerivesTheFormat) {
    struct Case {
        uint32_t rate, channels, bits, floatFlag;
        uint16_t tag, align;
        uint32_t perSecond;
    };
    const Case cases[] = {
        {48000, 2, 24, 0, 1, 6, 288000}, {44100, 1, 32, 1, 3, 4, 176400},
        {44100, 1, 32, 0, 1, 4, 176400}, {22050, 1, 4, 0, 17, 0, 0},
        {44100, 2, 16, 0, 1, 4, 176400}, {8000, 1, 8, 1, 1, 1, 8000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << "/" << c.channels << "/" << c.bits);
        WaveFileWriter writer(path);
        ASSERT_TRUE(writer.beginData(c.rate, c.channels, c.bits, c.floatFlag));
        EXPECT_EQ(writer.getFormat().formatTag, c.tag);
        EXPECT_EQ(writer.getFormat().blockAlign, c.align);
        EXPECT_EQ(writer.getFormat().bytesPerSecond, c.perSecond);
        EXPECT_EQ(writer.getFormat().sampleRate, c.rate);
        EXPECT_EQ(writer.getFormat().channels, c.channels);
        EXPECT_EQ(writer.getFormat().bitsPerSample, c.bits);
    }
}

TEST_F(WaveWriter, MetadataAndSamplesReadBackAsChunks) {
    const int16_t left[4] = {1, 2, 3, 4};
    const int16_t right[4] = {-1, -2, -3, -4};
    {
        WaveFileWriter writer(path);
        ASSERT_TRUE(writer.writeSamplerLoop(60, 100, 200));
        ASSERT_TRUE(writer.writeInfo(0, "(c) me"));
        ASSERT_TRUE(writer.writeCues({{10, 5, "abc"}, {20, 0, "ab"}}));
        ASSERT_TRUE(writer.writeChunk(fourCC("junk"), 3, "xyz"));
        ASSERT_TRUE(writer.beginData(44100, 2, 16, 0));
        ASSERT_TRUE(writer.writeInterleaved(left, right, 4));
        ASSERT_TRUE(writer.writeData("\x7F\x00", 2));
    }
    EXPECT_EQ(readBack(path), "RIFF(WAVE):320[fmt :16,smpl:60,LIST(INFO):20[ICOP:8],cue :52,"
                              "LIST(adtl):90[ltxt:20,ltxt:20,labl:8,labl:6],junk:4,data:18]");

    const std::vector<uint8_t> bytes = testsupport::readAll(path);
    ASSERT_EQ(bytes.size(), 328u);
    EXPECT_EQ(u32At(bytes, 4), 320u);
    // smpl: unity note, loop count, loop start and end.
    EXPECT_EQ(u32At(bytes, 44 + 12), 60u);
    EXPECT_EQ(u32At(bytes, 44 + 28), 1u);
    EXPECT_EQ(u32At(bytes, 44 + 36 + 8), 100u);
    EXPECT_EQ(u32At(bytes, 44 + 36 + 12), 200u);

    IFFTree tree(path);
    ASSERT_TRUE(tree.parse(2));
    const IFFTreeNode* riff = tree.getRoot()->children[0];
    const uint8_t* cue = tree.getChunkData(riff->findChild("cue "), false);
    ASSERT_NE(cue, nullptr);
    const uint8_t firstCue[28] = {2,   0,   0, 0, 1, 0, 0, 0, 10, 0, 0,  0, 'd', 'a',
                                  't', 'a', 0, 0, 0, 0, 0, 0, 0,  0, 10, 0, 0,   0};
    EXPECT_EQ(std::memcmp(cue, firstCue, 28), 0);
    const uint8_t* data = tree.getChunkData(riff->findChild("data"), false);
    ASSERT_NE(data, nullptr);
    const uint8_t samples[18] = {1, 0,    0xFF, 0xFF, 2, 0,    0xFE, 0xFF, 3,
                                 0, 0xFD, 0xFF, 4,    0, 0xFC, 0xFF, 0x7F, 0};
    EXPECT_EQ(std::memcmp(data, samples, 18), 0);
    const uint8_t* junk = tree.getChunkData(riff->findChild("junk"), false);
    ASSERT_NE(junk, nullptr);
    EXPECT_EQ(std::memcmp(junk, "xyz\0", 4), 0);
}

TEST_F(WaveWriter, InfoAndCueEdgeCases) {
    {
        WaveFileWriter writer(path);
        EXPECT_TRUE(writer.writeInfo(0, "abc"));
        EXPECT_FALSE(writer.writeInfo(1, "no id for this selector"));
        EXPECT_FALSE(writer.writeInfo(7, ""));
        EXPECT_TRUE(writer.writeInfo(0, ""));
        EXPECT_TRUE(writer.writeCues({}));
        EXPECT_FALSE(writer.writeChunk(fourCC("null"), 4, nullptr));
    }
    EXPECT_EQ(readBack(path),
              "RIFF(WAVE):98[fmt :16,LIST(INFO):16[ICOP:4],LIST(INFO):14[ICOP:2],cue :4,"
              "LIST(adtl):4]");
}

// After beginData every metadata call is refused and the file stays a valid
// RIFF whose data chunk holds exactly the samples.
TEST_F(WaveWriter, MetadataAfterBeginDataIsRefused) {
    {
        WaveFileWriter writer(path);
        EXPECT_FALSE(writer.writeData("ab", 2)) << "no data chunk yet";
        ASSERT_TRUE(writer.beginData(8000, 1, 8, 0));
        EXPECT_FALSE(writer.beginData(8000, 1, 8, 0));
        ASSERT_TRUE(writer.writeData("abc", 3));
        const uint8_t block[60] = {};
        EXPECT_FALSE(writer.writeChunk(fourCC("junk"), 2, "zz"));
        EXPECT_FALSE(writer.writeSampler(block, block));
        EXPECT_FALSE(writer.writeSamplerLoop(60, 0, 10));
        EXPECT_FALSE(writer.writeInfo(0, "late"));
        EXPECT_FALSE(writer.writeCues({{1, 1, "late"}}));
        ASSERT_TRUE(writer.writeData("d", 1));
    }
    EXPECT_EQ(readBack(path), "RIFF(WAVE):40[fmt :16,data:4]");
    const std::vector<uint8_t> bytes = testsupport::readAll(path);
    ASSERT_EQ(bytes.size(), 48u);
    EXPECT_EQ(std::memcmp(bytes.data() + 44, "abcd", 4), 0);
}

TEST_F(WaveWriter, OddSampleCountIsNotPadded) {
    {
        WaveFileWriter writer(path.c_str());
        ASSERT_TRUE(writer.beginData(8000, 1, 8, 0));
        ASSERT_TRUE(writer.writeData("xyz", 3));
        EXPECT_TRUE(writer.finish());
        EXPECT_FALSE(writer.finish()) << "once";
    }
    EXPECT_EQ(testsupport::readAll(path).size(), 47u);
    EXPECT_EQ(readBack(path), "RIFF(WAVE):39[fmt :16,data:3]");
}

TEST_F(WaveWriter, WritesToAStreamItDoesNotOwn) {
    FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    {
        WaveFileWriter writer(stream);
        ASSERT_TRUE(writer.beginData(44100, 1, 16, 0));
        ASSERT_TRUE(writer.writeData("\1\0\2\0", 4));
    }
    // Still open: the writer did not close it.
    ASSERT_EQ(std::fseek(stream, 0, SEEK_END), 0);
    EXPECT_EQ(std::ftell(stream), 48);
    std::rewind(stream);
    uint8_t header[8];
    ASSERT_EQ(std::fread(header, 1, 8, stream), 8u);
    EXPECT_EQ(std::memcmp(header, "RIFF\x28\0\0\0", 8), 0);
    std::fclose(stream);
}

TEST_F(WaveWriter, EveryCallFailsWithoutAStream) {
    const std::string unreachable = folder.file("no/such/folder/out.wav");
    WaveFileWriter byPath(unreachable);
    WaveFileWriter byCString(static_cast<const char*>(nullptr));
    WaveFileWriter byEmpty(std::string{});
    WaveFileWriter byStream(static_cast<FILE*>(nullptr));
    const uint8_t block[60] = {};
    for (WaveFileWriter* w : {&byPath, &byCString, &byEmpty, &byStream}) {
        EXPECT_FALSE(w->isOpen());
        EXPECT_FALSE(w->writeChunk(fourCC("junk"), 2, "zz"));
        EXPECT_FALSE(w->writeSampler(block, block));
        EXPECT_FALSE(w->writeSamplerLoop(60, 0, 10));
        EXPECT_FALSE(w->writeInfo(0, "x"));
        EXPECT_FALSE(w->writeCues({{1, 1, "x"}}));
        EXPECT_FALSE(w->beginData(44100, 2, 16, 0));
        EXPECT_FALSE(w->writeData("ab", 2));
        EXPECT_FALSE(w->writeInterleaved(block, block, 4));
        EXPECT_FALSE(w->finish());
    }
    EXPECT_TRUE(testsupport::readAll(unreachable).empty());
}

} // namespace
