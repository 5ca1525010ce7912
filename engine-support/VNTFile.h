// VirtualFile over a disk file read through stdio. Only a regular file opens:
// a folder, pipe or device leaves the file closed, and the open never blocks.
#pragma once

#include "engine-support/VirtualFile.h"

#include <cstdio>

namespace vantor {

class VNTFile : public VirtualFile {
public:
    explicit VNTFile(const std::string& path);
    explicit VNTFile(const char* path);
    ~VNTFile() override;

    VNTFile(const VNTFile&) = delete;
    VNTFile& operator=(const VNTFile&) = delete;

    bool isOpen() override { return file != nullptr; }
    uint64_t read(uint8_t* buffer, uint64_t count) override;
    uint64_t readU8() override { return readWord(1); }
    uint64_t readU16() override { return readWord(2); }
    uint64_t readU32() override { return readWord(4); }
    bool skip(int64_t offset) override;
    bool seek(uint64_t position) override;
    int64_t tell() override;
    int64_t getSize() override { return size; }
    bool canSeekBackwards() override { return true; }

    void close();

private:
    void open(const std::string& path);
    uint64_t readWord(unsigned width);

    FILE* file = nullptr;
    int64_t size = 0;
};

} // namespace vantor
