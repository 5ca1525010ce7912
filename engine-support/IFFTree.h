// Reader of files built of tagged, length-prefixed chunks (RIFF, RIFX, IFF-85,
// RF64, Wave64, CAF, NSFE, Standard MIDI) into a tree of IFFTreeNodes that
// record where each chunk lies. Chunk bodies are not copied by the parse: they
// are handed out later by getChunkData, straight from memory or read into a
// buffer that the caller gives back with releaseChunkData. Bodies are padded
// to an even length (RIFF, IFF and RF64) or to a multiple of 8 bytes (Wave64),
// and a node's size includes that padding. A path names a regular file: a
// pipe or a device is refused without blocking.
//
// Every recorded chunk size is bounded by the bytes actually present in the
// source, so a corrupt size can neither move the parse backwards nor make a
// buffer larger than the source. The stated sizes still decide how many chunks
// a container holds: a file cut before a promised chunk fails to parse.
#pragma once

#include "engine-support/IFFTreeNode.h"

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>

namespace vantor {

class VirtualFile;

class IFFTree {
public:
    // Source kinds.
    enum Kind : uint32_t {
        kNone = 0,     // not opened yet
        kCopied = 1,   // whole file copied into memory
        kMapped = 2,   // file mapped read-only
        kStdio = 3,    // stdio stream
        kBorrowed = 4, // memory owned by the caller
        kVirtual = 5,  // VirtualFile
    };

    // Borrowed memory; the block is never freed by the tree.
    IFFTree(const uint8_t* data, uint64_t size);
    // A file path; a stream handed in is used (and then closed) by parse(3).
    explicit IFFTree(const std::string& path, FILE* stream = nullptr);
    // A VirtualFile, deleted by the tree when `owns`.
    IFFTree(VirtualFile* source, bool owns);
    virtual ~IFFTree();

    IFFTree(const IFFTree&) = delete;
    IFFTree& operator=(const IFFTree&) = delete;

    // Mode 1: copy the file into memory; 2: map it read-only; 3: stdio;
    // anything else: the source given to the constructor.
    bool parse(uint32_t mode);

    IFFTreeNode* getRoot() const { return root; }
    uint32_t getKind() const { return kind; }

    // The chunk's bytes: with the header from `offset` (size + header bytes),
    // without it the body (`size` bytes). Null when they are not all there.
    // File and stream sources read the bytes into a buffer that is shared by
    // every request for the same start position: each request counts one more
    // holder of it, and each holder gives it back with releaseChunkData.
    const uint8_t* getChunkData(const IFFTreeNode* node, bool withHeader);
    // Gives back one holder's share of a buffer of getChunkData (file and
    // stream sources); the buffer is freed when its last holder releases it,
    // so another holder's pointer stays valid until then. False for anything
    // the tree did not hand out or that has no holder left.
    bool releaseChunkData(const void* buffer);
    // Releases the source; the nodes stay.
    void close();

    // Direct access to the source.
    uint64_t read(void* buffer, uint64_t itemSize, uint64_t count);
    bool seek(int64_t offset, int whence);
    int64_t tell();

private:
    struct Level;

    bool openForMode(uint32_t mode);
    void releaseSource();
    bool fail(const char* message);
    bool readAt(uint64_t at, uint8_t* out, uint64_t n);
    bool readHeaderBytes(uint8_t* out, uint64_t n);
    bool parseChunks(IFFTreeNode* parent);
    uint64_t decodeSize(const uint8_t* bytes, unsigned width) const;
    const uint8_t* memoryBlock() const;

    IFFTreeNode* root = nullptr;
    uint64_t idSize = 4;
    uint64_t sizeSize = 4;
    uint32_t formTypeSize = 4;
    char magic[4] = {0, 0, 0, 0};
    bool bigEndian = true;
    bool swap = false;
    bool padEven = true;
    bool sizeFirst = false;
    uint32_t kind = kNone;
    const uint8_t* data = nullptr;
    uint64_t position = 0;
    VirtualFile* stream = nullptr;
    FILE* file = nullptr;
    uint64_t cursor = 0;
    uint64_t size = 0;
    bool owns = false;
    struct Handed {
        uint8_t* buffer;
        uint64_t length;
    };
    struct Holders {
        uint64_t offset;
        uint64_t count; // getChunkData results not yet released
    };
    // The newest buffer for each start position; a longer request than it
    // holds gets a new buffer (an empty chunk's body starts at the next header).
    std::map<uint64_t, Handed> buffersByOffset;
    // Every buffer handed out and not yet freed, with its start and holders.
    std::map<const void*, Holders> offsetsByBuffer;
    std::string name;

    uint64_t sourceLength = 0; // bytes in the source
    bool wave64 = false;
    bool nsfe = false;
};

} // namespace vantor
