#include "engine-support/IFFTree.h"

#include "engine-support/FileMapping.h"
#include "engine-support/PMemory.h"
#include "engine-support/VirtualFile.h"
#include "platform/RegularFile.h"
#include "vantor/PlatformToolsFiles.h"
#include "vantor/VNTRConv.h"

#include <bit>
#include <cstring>
#include <sys/types.h>
#include <vector>

namespace vantor {

namespace {

constexpr bool kHostBigEndian = std::endian::native == std::endian::big;
constexpr uint64_t kZeroTail = 32; // zero bytes kept after a copied file

void report(const char* message) {
    std::printf("%s\n", message);
}

int64_t toSigned(uint64_t v) {
    return v > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(v);
}

// Remaining bytes of a level after a chunk of `header` + `body` bytes; a chunk
// that claims more than is left ends the level.
int64_t consume(int64_t remaining, uint64_t header, uint64_t body) {
    if (remaining < 1 || body >= static_cast<uint64_t>(remaining) ||
        header >= static_cast<uint64_t>(remaining) - body)
        return 0;
    return remaining - static_cast<int64_t>(header + body);
}

bool isContainer(const uint8_t* id) {
    static const char* const kContainers[] = {"RIFF", "RIFX", "FORM", "LIST", "CAT ",
                                              "PROP", "IF64", "if64", "riff", "list"};
    for (const char* c : kContainers)
        if (std::memcmp(id, c, 4) == 0) return true;
    return false;
}

// Node names are C strings: everything from the first zero byte on is dropped.
std::string cutAtZero(std::string text) {
    size_t zero = text.find('\0');
    if (zero != std::string::npos) text.resize(zero);
    return text;
}

std::string containerName(const uint8_t* id, const uint8_t* formType) {
    static const uint8_t kZero[4] = {0, 0, 0, 0};
    std::string text(reinterpret_cast<const char*>(id), 4);
    text += '(';
    if (std::memcmp(formType, kZero, 4) == 0)
        text += "NULL";
    else
        text.append(reinterpret_cast<const char*>(formType), 4);
    text += ')';
    return cutAtZero(text);
}

} // namespace

struct IFFTree::Level {
    IFFTreeNode* node;
    int64_t remaining;
};

IFFTree::IFFTree(const uint8_t* memory, uint64_t length)
    : kind(kBorrowed), data(memory), size(length), name("ram not owner"), sourceLength(length) {}

IFFTree::IFFTree(const std::string& path, FILE* handed) : file(handed), owns(true), name(path) {}

IFFTree::IFFTree(VirtualFile* source, bool ownsSource)
    : kind(kVirtual), stream(source), owns(ownsSource) {
    int64_t length = source ? source->getSize() : 0;
    size = length > 0 ? static_cast<uint64_t>(length) : 0;
    sourceLength = size;
}

IFFTree::~IFFTree() {
    releaseSource();
    if (file) std::fclose(file); // a stream handed in but never parsed
    file = nullptr;
    delete root;
}

const uint8_t* IFFTree::memoryBlock() const {
    return (kind == kCopied || kind == kMapped || kind == kBorrowed) ? data : nullptr;
}

void IFFTree::releaseSource() {
    switch (kind) {
    case kCopied:
        binFileFree(const_cast<uint8_t*>(data));
        break;
    case kMapped:
        unmapFile(data);
        break;
    case kStdio:
        if (file) std::fclose(file);
        file = nullptr;
        break;
    case kVirtual:
        if (!owns) return; // borrowed: stays usable
        delete stream;
        stream = nullptr;
        break;
    case kBorrowed:
    default:
        return;
    }
    data = nullptr;
    position = 0;
    sourceLength = 0;
    kind = kNone;
}

void IFFTree::close() {
    releaseSource();
}

bool IFFTree::openForMode(uint32_t mode) {
    releaseSource();
    uint64_t length = 0;
    if (mode == 1) {
        uint64_t tail = kZeroTail;
        const uint8_t* block = binFileInternalize(name, length, tail);
        if (!block) return false;
        data = block;
        kind = kCopied;
    } else if (mode == 2) {
        const uint8_t* address = mapFile(name, length);
        if (!address) return false;
        data = address;
        kind = kMapped;
    } else {
        if (!file) file = platform::openRegularStream(name);
        if (!file) {
            report("Error opening file");
            return false;
        }
        kind = kStdio;
        off_t end = -1;
        if (fseeko(file, 0, SEEK_END) == 0) end = ftello(file);
        std::rewind(file);
        length = end > 0 ? static_cast<uint64_t>(end) : 0;
    }
    position = 0;
    size = length;
    sourceLength = length;
    return true;
}

// Reads n bytes at `at`, all or nothing; never past the source's length.
bool IFFTree::readAt(uint64_t at, uint8_t* out, uint64_t n) {
    if (at > sourceLength || n > sourceLength - at) return false;
    if (n == 0) return true;
    if (const uint8_t* block = memoryBlock()) {
        std::memcpy(out, block + at, n);
        position = at + n;
        return true;
    }
    if (kind == kStdio && file) {
        if (ftello(file) != static_cast<off_t>(at) &&
            fseeko(file, static_cast<off_t>(at), SEEK_SET) != 0)
            return false;
        return std::fread(out, 1, n, file) == n;
    }
    if (kind == kVirtual && stream) {
        if (stream->tell() != static_cast<int64_t>(at) && !stream->seek(at)) return false;
        return stream->read(out, n) == n;
    }
    return false;
}

bool IFFTree::readHeaderBytes(uint8_t* out, uint64_t n) {
    if (!readAt(cursor, out, n)) return false;
    cursor += n;
    return true;
}

uint64_t IFFTree::decodeSize(const uint8_t* bytes, unsigned width) const {
    uint64_t value = 0;
    for (unsigned i = 0; i < width; ++i) {
        // Sizes are stored in the file's order; `swap` means it differs from the host's.
        unsigned shift = (swap != kHostBigEndian) ? (width - 1 - i) : i;
        value |= static_cast<uint64_t>(bytes[i]) << (8 * shift);
    }
    return value;
}

bool IFFTree::fail(const char* message) {
    if (message) report(message);
    delete root;
    root = nullptr;
    releaseSource();
    return false;
}

bool IFFTree::parse(uint32_t mode) {
    if ((mode == 1 || mode == 2 || mode == 3) && !openForMode(mode)) return false;

    uint8_t first[4];
    if (kind == kNone || !readAt(0, first, 4)) return fail(nullptr);
    std::memcpy(magic, first, 4);
    position = 0;

    delete root;
    root = new IFFTreeNode(nullptr, VNTRConv(name, 0), 0, size);

    idSize = 4;
    sizeSize = 4;
    formTypeSize = 4;
    bigEndian = true;
    padEven = true;
    sizeFirst = false;
    wave64 = false;
    nsfe = false;
    const char* topName = nullptr;
    uint64_t start = 0;

    auto is = [&](const char* m) { return std::memcmp(magic, m, 4) == 0; };
    if (is("RIFF")) {
        bigEndian = false;
    } else if (is("RIFX") || is("FORM") || is("LIST") || is("CAT ")) {
        // defaults
    } else if (is("RF64") || is("IF64")) {
        bigEndian = false;
        sizeSize = 8;
    } else if (is("riff")) {
        bigEndian = false;
        idSize = 16;
        sizeSize = 8;
        formTypeSize = 16;
        wave64 = true;
    } else if (is("caff") || is("CAF ")) {
        sizeSize = 8;
        padEven = false;
        topName = "caff";
        start = 8;
    } else if (is("NSFE")) {
        bigEndian = false;
        padEven = false;
        sizeFirst = true;
        topName = "EFSN";
        start = 4;
        nsfe = true;
    } else if (is("MThd")) {
        formTypeSize = 0;
        padEven = false;
        topName = "MIDI";
    } else {
        return fail("Not an IFF-like file");
    }

    IFFTreeNode* parent = root;
    if (topName) parent = root->addChild(topName, 0, sourceLength);
    size = size > start ? size - start : 0;
    cursor = start;
    swap = bigEndian != kHostBigEndian;

    return parseChunks(parent);
}

// The chunk loop, kept as an explicit stack of open containers so that deeply
// nested files cannot exhaust the call stack. Every step consumes at least one
// header from the source and only ever moves forward, so the loop ends.
bool IFFTree::parseChunks(IFFTreeNode* parent) {
    std::vector<Level> levels{{parent, toSigned(size)}};
    while (!levels.empty()) {
        if (levels.back().remaining < 1) {
            levels.pop_back();
            continue;
        }
        const uint64_t header = cursor;
        uint8_t id[16] = {};
        uint8_t sizeBytes[8] = {};
        if (!sizeFirst && !readHeaderBytes(id, idSize))
            return fail("Not enough space in real file for new chunks!!");

        uint64_t chunkSize = 0;
        if (sizeSize == 8) {
            if (!readHeaderBytes(sizeBytes, 8)) return fail("Tree Error3");
            chunkSize = decodeSize(sizeBytes, 8);
            if (wave64) {
                // Wave64 sizes count their own header; one smaller than that is corrupt.
                if (chunkSize < idSize + sizeSize) return fail("Tree Error3");
                chunkSize -= idSize + sizeSize;
            }
        } else {
            if (!readHeaderBytes(sizeBytes, 4)) return fail("Tree Error2");
            chunkSize = decodeSize(sizeBytes, 4);
        }
        // Wave64 aligns every chunk to 8 bytes (its sizes are at most 2^64 - 25
        // here, so the rounding cannot wrap); the other padding dialects to 2.
        if (wave64)
            chunkSize = (chunkSize + 7) & ~uint64_t(7);
        else if (padEven && chunkSize != UINT64_MAX)
            chunkSize = (chunkSize + 1) & ~uint64_t(1);

        if (sizeFirst && !readHeaderBytes(id, idSize))
            return fail("Not enough space in real file for new chunks!!");

        // The node records the size bounded by what the source really holds
        // after the header (this also gives CAF's "to the end" size of -1 its
        // real length). Where the chunks lie is decided by the stated size: a
        // container that promises more chunks than the file holds still fails.
        const uint64_t body = cursor;
        const uint64_t present = sourceLength > body ? sourceLength - body : 0;
        const uint64_t recorded = chunkSize > present ? present : chunkSize;

        if (isContainer(id)) {
            uint8_t formType[16] = {};
            if (formTypeSize && !readHeaderBytes(formType, formTypeSize))
                return fail("Tree Error4");
            IFFTreeNode* child =
                levels.back().node->addChild(containerName(id, formType), header, recorded);
            levels.back().remaining =
                consume(levels.back().remaining, idSize + sizeSize, chunkSize);
            int64_t inner = chunkSize >= idSize ? toSigned(chunkSize - idSize) : 0;
            levels.push_back({child, inner});
        } else if (nsfe && std::memcmp(id, "NEND", 4) == 0) {
            levels.pop_back();
        } else {
            std::string chunkName(reinterpret_cast<const char*>(id), 4);
            levels.back().node->addChild(cutAtZero(chunkName), header, recorded);
            // Past the end the next header read fails, as it would after a seek there.
            cursor = chunkSize > present ? sourceLength : body + chunkSize;
            levels.back().remaining =
                consume(levels.back().remaining, idSize + sizeSize, chunkSize);
        }
    }
    return true;
}

const uint8_t* IFFTree::getChunkData(const IFFTreeNode* node, bool withHeader) {
    if (!node) return nullptr;
    const uint64_t header = idSize + sizeSize;
    uint64_t start = node->offset;
    uint64_t length = node->size;
    if (withHeader) {
        if (length > UINT64_MAX - header) return nullptr;
        length += header;
    } else {
        if (start > UINT64_MAX - header) return nullptr;
        start += header;
    }
    // The range must lie inside the source before anything is handed out or allocated.
    if (start > sourceLength || length > sourceLength - start) return nullptr;

    if (const uint8_t* block = memoryBlock()) return block + start;
    if (kind != kStdio && kind != kVirtual) return nullptr;

    auto known = buffersByOffset.find(start);
    if (known != buffersByOffset.end() && known->second.length >= length) {
        ++offsetsByBuffer[known->second.buffer].count;
        return known->second.buffer;
    }

    auto* buffer = static_cast<uint8_t*>(PCalloc(length ? length : 1));
    if (!buffer) return nullptr;
    if (!readAt(start, buffer, length)) {
        PFree(buffer);
        return nullptr;
    }
    buffersByOffset[start] = {buffer, length};
    offsetsByBuffer[buffer] = {start, 1};
    return buffer;
}

bool IFFTree::releaseChunkData(const void* buffer) {
    auto it = offsetsByBuffer.find(buffer);
    if (!buffer || it == offsetsByBuffer.end()) return false;
    if (--it->second.count > 0) return true; // another holder still reads it
    auto byOffset = buffersByOffset.find(it->second.offset);
    if (byOffset != buffersByOffset.end() && byOffset->second.buffer == buffer)
        buffersByOffset.erase(byOffset);
    offsetsByBuffer.erase(it);
    PFree(const_cast<void*>(buffer));
    return true;
}

uint64_t IFFTree::read(void* buffer, uint64_t itemSize, uint64_t count) {
    if (!buffer || itemSize == 0 || count == 0) return 0;
    if (const uint8_t* block = memoryBlock()) {
        uint64_t left = position < sourceLength ? sourceLength - position : 0;
        uint64_t items = left / itemSize;
        if (count < items) items = count;
        std::memcpy(buffer, block + position, items * itemSize);
        position += items * itemSize;
        return items;
    }
    if (kind == kStdio && file) return std::fread(buffer, itemSize, count, file);
    if (kind == kVirtual && stream) {
        if (count > UINT64_MAX / itemSize) count = UINT64_MAX / itemSize;
        return stream->read(static_cast<uint8_t*>(buffer), itemSize * count) / itemSize;
    }
    return 0;
}

// Offsets from the end count forward from the end, as stdio does, for every source.
bool IFFTree::seek(int64_t offset, int whence) {
    if (kind == kStdio && file) return fseeko(file, static_cast<off_t>(offset), whence) == 0;
    int64_t base = 0;
    if (whence == SEEK_CUR)
        base = tell();
    else if (whence == SEEK_END)
        base = toSigned(sourceLength);
    else if (whence != SEEK_SET)
        return false;
    if (base < 0 || (offset < 0 && -(offset + 1) >= base) ||
        (offset > 0 && offset > INT64_MAX - base))
        return false;
    const uint64_t target = static_cast<uint64_t>(base + offset);
    if (memoryBlock()) {
        if (target > sourceLength) return false;
        position = target;
        return true;
    }
    if (kind == kVirtual && stream) return stream->seek(target);
    return false;
}

int64_t IFFTree::tell() {
    if (memoryBlock()) return static_cast<int64_t>(position);
    if (kind == kStdio && file) return static_cast<int64_t>(ftello(file));
    if (kind == kVirtual && stream) return stream->tell();
    return -1;
}

} // namespace vantor
