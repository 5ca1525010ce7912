#include "engine-support/VirtualRAMFile.h"

#include <cstring>

namespace vantor {

uint64_t VirtualRAMFile::read(uint8_t* buffer, uint64_t count) {
    if (!data || !buffer || position >= size) return 0;
    uint64_t n = size - position;
    if (count < n) n = count;
    std::memcpy(buffer, data + position, n);
    position += n;
    return n;
}

// A value that does not fit in what is left gives 0 and leaves the position at
// the end, so nothing beyond the block is touched.
uint64_t VirtualRAMFile::readWord(unsigned width) {
    if (!data || position >= size) return 0;
    if (size - position < width) {
        position = size;
        return 0;
    }
    uint64_t value = 0;
    for (unsigned i = 0; i < width; ++i)
        value |= static_cast<uint64_t>(data[position + i]) << (8 * i);
    position += width;
    return value;
}

bool VirtualRAMFile::skip(int64_t offset) {
    uint64_t target = position + static_cast<uint64_t>(offset); // wraps: negative moves back
    if (target >= size) return false;
    position = target;
    return true;
}

bool VirtualRAMFile::seek(uint64_t target) {
    if (target >= size) return false;
    position = target;
    return true;
}

} // namespace vantor
