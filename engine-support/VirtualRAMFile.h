// VirtualFile over a memory block owned by somebody else. The block is never
// freed here; every read stays inside [data, data + size).
#pragma once

#include "engine-support/VirtualFile.h"

namespace vantor {

class VirtualRAMFile : public VirtualFile {
public:
    VirtualRAMFile(const uint8_t* data, uint64_t size) : data(data), size(size) {}

    bool isOpen() override { return data != nullptr && size != 0; }
    uint64_t read(uint8_t* buffer, uint64_t count) override;
    uint64_t readU8() override { return readWord(1); }
    uint64_t readU16() override { return readWord(2); }
    uint64_t readU32() override { return readWord(4); }
    // Moves only to a position inside the block; the end itself is refused.
    bool skip(int64_t offset) override;
    bool seek(uint64_t target) override;
    int64_t tell() override { return static_cast<int64_t>(position); }
    int64_t getSize() override { return static_cast<int64_t>(size); }
    bool canSeekBackwards() override { return true; }
    // The whole block, for a parser that reads it in place instead of copying it.
    const uint8_t* bytes() const { return data; }

private:
    uint64_t readWord(unsigned width);

    const uint8_t* data;
    uint64_t size;
    uint64_t position = 0;
};

} // namespace vantor
