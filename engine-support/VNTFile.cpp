#include "engine-support/VNTFile.h"

#include "platform/RegularFile.h"
#include "vantor/VNTRConv.h"

#include <cstring>
#include <sys/types.h>

namespace vantor {

VNTFile::VNTFile(const std::string& path) {
    open(path);
}

VNTFile::VNTFile(const char* path) {
    if (path) open(VNTRConv(path, 0));
}

VNTFile::~VNTFile() {
    close();
}

void VNTFile::open(const std::string& path) {
    // Regular files only: a folder reports an enormous size and reads nothing,
    // and a FIFO would block the open.
    file = platform::openRegularStream(path);
    if (!file) return;
    if (fseeko(file, 0, SEEK_END) == 0) {
        off_t end = ftello(file);
        size = end > 0 ? static_cast<int64_t>(end) : 0;
    }
    fseeko(file, 0, SEEK_SET);
    name = path;
}

void VNTFile::close() {
    if (file) std::fclose(file);
    file = nullptr;
}

uint64_t VNTFile::read(uint8_t* buffer, uint64_t count) {
    if (!file || !buffer || count == 0) return 0;
    return std::fread(buffer, 1, count, file);
}

// One item of `width` bytes. A short read gives 0: the bytes that were there
// are consumed but never handed out as part of a value.
uint64_t VNTFile::readWord(unsigned width) {
    if (!file) return 0;
    uint8_t bytes[4] = {0, 0, 0, 0};
    if (std::fread(bytes, 1, width, file) != width) return 0;
    uint64_t value = 0;
    for (unsigned i = 0; i < width; ++i) value |= static_cast<uint64_t>(bytes[i]) << (8 * i);
    return value;
}

bool VNTFile::skip(int64_t offset) {
    return file && fseeko(file, static_cast<off_t>(offset), SEEK_CUR) == 0;
}

bool VNTFile::seek(uint64_t position) {
    if (!file || position > static_cast<uint64_t>(INT64_MAX)) return false;
    return fseeko(file, static_cast<off_t>(position), SEEK_SET) == 0;
}

int64_t VNTFile::tell() {
    return file ? static_cast<int64_t>(ftello(file)) : -1;
}

} // namespace vantor
