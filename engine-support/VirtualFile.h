// A small abstract byte source that the file parsers of the engine plug-in
// read through, so that one parser serves a disk file and a memory block alike.
// Multi-byte values come in host byte order (little-endian on every supported
// processor); readers that need big-endian values swap them themselves.
#pragma once

#include <cstdint>
#include <string>

namespace vantor {

class VirtualFile {
public:
    virtual ~VirtualFile() = default;

    virtual bool isOpen() = 0;
    // Copies up to `count` bytes; returns the number actually copied.
    virtual uint64_t read(uint8_t* buffer, uint64_t count) = 0;
    // Fixed-width reads: 0 when the whole value is not there.
    virtual uint64_t readU8() = 0;
    virtual uint64_t readU16() = 0;
    virtual uint64_t readU32() = 0;
    virtual bool skip(int64_t offset) = 0;    // relative to the current position
    virtual bool seek(uint64_t position) = 0; // absolute
    virtual int64_t tell() = 0;
    virtual int64_t getSize() = 0;
    virtual bool canSeekBackwards() = 0;

    std::string name; // UTF-8 path of a disk file, empty for memory
};

} // namespace vantor
