#include "engine-support/VNTFile.h"
#include "engine-support/VirtualRAMFile.h"
#include "engine-support/support/TempFolder.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using vantor::VirtualFile;
using vantor::VirtualRAMFile;
using vantor::VNTFile;

namespace {

const std::vector<uint8_t> kBytes = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A};

// The contract both implementations share, run over a disk file and a memory block.
class VirtualFileContract : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        if (GetParam()) {
            file = std::make_unique<VNTFile>(folder.write("ten.bin", kBytes));
        } else {
            file = std::make_unique<VirtualRAMFile>(kBytes.data(), kBytes.size());
        }
        ASSERT_TRUE(file->isOpen());
    }
    testsupport::TempFolder folder;
    std::unique_ptr<VirtualFile> file;
};

TEST_P(VirtualFileContract, ReadsLittleEndianValuesInOrder) {
    EXPECT_EQ(file->getSize(), 10);
    EXPECT_EQ(file->readU8(), 0x01u);
    EXPECT_EQ(file->readU16(), 0x0302u);
    EXPECT_EQ(file->readU32(), 0x07060504u);
    EXPECT_EQ(file->tell(), 7);
    uint8_t buffer[8] = {};
    EXPECT_EQ(file->read(buffer, 8), 3u);
    EXPECT_EQ(buffer[0], 0x08);
    EXPECT_EQ(buffer[2], 0x0A);
    EXPECT_EQ(file->read(buffer, 1), 0u);
    EXPECT_TRUE(file->canSeekBackwards());
}

TEST_P(VirtualFileContract, SeekAndSkipMoveInsideTheFile) {
    EXPECT_TRUE(file->seek(6));
    EXPECT_EQ(file->readU8(), 0x07u);
    EXPECT_TRUE(file->skip(-5));
    EXPECT_EQ(file->tell(), 2);
    EXPECT_EQ(file->readU8(), 0x03u);
    EXPECT_TRUE(file->skip(2));
    EXPECT_EQ(file->readU8(), 0x06u);
}

// A fixed-width read with fewer bytes left than its width gives 0, never a
// value assembled from the bytes that were there.
struct ShortRead {
    uint64_t at;
    unsigned width;
};

TEST_P(VirtualFileContract, FixedWidthReadPastTheEndGivesZero) {
    const ShortRead cases[] = {{9, 2}, {7, 4}, {8, 4}, {9, 4}};
    for (const ShortRead& c : cases) {
        SCOPED_TRACE(testing::Message() << "at " << c.at << " width " << c.width);
        ASSERT_TRUE(file->seek(c.at));
        uint64_t value = c.width == 2 ? file->readU16() : file->readU32();
        EXPECT_EQ(value, 0u);
        EXPECT_EQ(file->readU8(), 0u) << "position must be at the end";
    }
}

INSTANTIATE_TEST_SUITE_P(BothSources, VirtualFileContract, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Disk" : "Memory"; });

TEST(VirtualRAMFile, MovesOnlyInsideTheBlock) {
    VirtualRAMFile f(kBytes.data(), 10);
    ASSERT_TRUE(f.seek(9));
    EXPECT_FALSE(f.skip(1));
    EXPECT_EQ(f.tell(), 9);
    EXPECT_TRUE(f.seek(9));
    EXPECT_FALSE(f.seek(10));
    EXPECT_EQ(f.tell(), 9);
    EXPECT_FALSE(f.skip(-10)) << "before the start";
    EXPECT_EQ(f.tell(), 9);
    uint8_t buffer[5];
    EXPECT_EQ(f.read(buffer, 5), 1u);
    EXPECT_EQ(buffer[0], 0x0A);
}

TEST(VirtualRAMFile, EmptyOrNullBlockIsNotOpen) {
    uint8_t buffer[4];
    VirtualRAMFile nullBlock(nullptr, 10);
    VirtualRAMFile empty(kBytes.data(), 0);
    for (VirtualRAMFile* f : {&nullBlock, &empty}) {
        EXPECT_FALSE(f->isOpen());
        EXPECT_EQ(f->read(buffer, 4), 0u);
        EXPECT_EQ(f->readU32(), 0u);
        EXPECT_TRUE(f->name.empty());
    }
    EXPECT_FALSE(empty.seek(0));
}

TEST(VNTFile, MissingPathStaysClosed) {
    testsupport::TempFolder folder;
    VNTFile f(folder.file("missing.bin"));
    EXPECT_FALSE(f.isOpen());
    EXPECT_TRUE(f.name.empty());
    EXPECT_EQ(f.getSize(), 0);
    uint8_t buffer[4];
    EXPECT_EQ(f.read(buffer, 4), 0u);
    EXPECT_EQ(f.readU32(), 0u);
    EXPECT_FALSE(f.seek(0));
    EXPECT_FALSE(f.skip(1));
}

// A folder opens with stdio on some systems and then claims an enormous size
// that no read can deliver; it is not a file to read.
TEST(VNTFile, FolderStaysClosed) {
    testsupport::TempFolder folder;
    VNTFile f(folder.path());
    EXPECT_FALSE(f.isOpen());
    EXPECT_TRUE(f.name.empty());
    EXPECT_EQ(f.getSize(), 0);
}

TEST(VNTFile, KeepsItsPathAndSeeksPastTheEnd) {
    testsupport::TempFolder folder;
    const std::string path = folder.write("ten.bin", kBytes);
    VNTFile f(path.c_str());
    ASSERT_TRUE(f.isOpen());
    EXPECT_EQ(f.name, path);
    EXPECT_TRUE(f.seek(20)) << "stdio accepts seeks past the end";
    EXPECT_EQ(f.readU8(), 0u);
    f.close();
    EXPECT_FALSE(f.isOpen());
    EXPECT_EQ(f.read(nullptr, 0), 0u);
}

} // namespace
