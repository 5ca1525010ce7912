#include "vgm/MetaContainer.h"

#include "vantor/PlatformToolsDesktop.h"
#include "vantor/PlatformToolsFiles.h"
#include "vantor/VNTRConv.h"

#include <unzip.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vantor {

namespace {

constexpr uint32_t kMagic7z = 0xAFBC7A37;
constexpr uint32_t kMagicZip = 0x04034B50;
constexpr uint32_t kMagicGzip = 0x088B1F;   // low three bytes
constexpr uint64_t kDeflateMaxRatio = 1032; // the most deflate can expand one byte
constexpr uint64_t kLhaMinimum = 22;        // a level-0 member header with a one-letter name

uint32_t littleEndian32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// The largest unpacked size a deflate stream of `packed` bytes can claim.
uint64_t deflateBound(uint64_t packed) {
    return packed * kDeflateMaxRatio + 1024;
}

// Sequential byte reader over a memory buffer or an open file, which never
// reads past `size`.
struct ByteCursor {
    const uint8_t* data = nullptr;
    FILE* file = nullptr;
    uint64_t pos = 0;
    uint64_t size = 0;

    bool byte(uint8_t& out) {
        if (pos >= size) return false;
        if (data) {
            out = data[pos++];
            return true;
        }
        const int c = std::fgetc(file);
        if (c == EOF) return false;
        out = static_cast<uint8_t>(c);
        ++pos;
        return true;
    }
    bool bytes(uint8_t* out, uint64_t n) {
        for (uint64_t i = 0; i < n; ++i)
            if (!byte(out[i])) return false;
        return true;
    }
    // A zero-terminated text; keeps at most `keep` characters.
    bool text(char* out, size_t keep) {
        size_t n = 0;
        for (;;) {
            uint8_t c = 0;
            if (!byte(c)) return false;
            if (c == 0) break;
            if (n < keep) out[n++] = static_cast<char>(c);
        }
        out[n] = '\0';
        return true;
    }
};

// An LHA archive opens with a member header whose method id ("-lh5-",
// "-lh0-", "-lzs-" ...) sits at bytes 2-6 in every header level.
bool looksLikeLha(const uint8_t* head, uint64_t size) {
    return size >= kLhaMinimum && head[2] == '-' && head[3] == 'l' &&
           (head[4] == 'h' || head[4] == 'z') && head[6] == '-';
}

bool nameIsSafeBelowFolder(const std::string& name) {
    if (name.empty() || name[0] == '/') return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find('/', start);
        if (end == std::string::npos) end = name.size();
        if (name.compare(start, end - start, "..") == 0 && end - start == 2) return false;
        start = end + 1;
    }
    return true;
}

} // namespace

// The parsed RFC 1952 header of a gzip member and where its deflate data sits.
struct MetaContainer::GzipState {
    char name[512] = {};
    char comment[512] = {};
    uint64_t totalSize = 0;
    uint8_t header[10] = {};
    uint16_t headerCrc = 0;
    uint64_t headerLength = 0;
    uint64_t deflateLength = 0;
    uint8_t trailer[8] = {};
};

bool inflateRawBuffer(const uint8_t* input, uint64_t inputLength, uint8_t* output,
                      uint64_t outputLength) {
    if (inputLength > UINT32_MAX || outputLength > UINT32_MAX) return false;
    z_stream zs{};
    if (inflateInit2(&zs, -15) != Z_OK) return false;
    zs.next_in = const_cast<uint8_t*>(input);
    zs.avail_in = static_cast<uInt>(inputLength);
    int result = Z_OK;
    while (result == Z_OK) {
        zs.next_out = output + zs.total_out;
        zs.avail_out = static_cast<uInt>(outputLength - zs.total_out);
        result = inflate(&zs, Z_NO_FLUSH);
    }
    inflateEnd(&zs);
    return result == Z_STREAM_END;
}

MetaContainer::MetaContainer(const std::string& path) : source(kSourcePath), sourcePath(path) {}

MetaContainer::MetaContainer(const uint8_t* data, uint64_t size)
    : source(kSourceMemory), sourceData(data), sourceSize(data ? size : 0) {
    if (sourceData && sourceSize >= 5) magicWord = littleEndian32(sourceData);
    if (sourceData)
        std::memcpy(head, sourceData, static_cast<size_t>(std::min<uint64_t>(sourceSize, 8)));
}

MetaContainer::MetaContainer() : source(kSourcePath) {}

MetaContainer::~MetaContainer() {
    closeArchive();
    removeTempCopy();
}

// Only the copy this container wrote is removed: a file of the user's that
// happens to end in ".deleteme" stays.
void MetaContainer::removeTempCopy() {
    if (wroteTempCopy && getFileExtension(sourcePath) == "deleteme") PDeleteFile(sourcePath);
    wroteTempCopy = false;
}

void MetaContainer::closeArchive() {
    if (zipHandle) unzClose(static_cast<unzFile>(zipHandle));
    zipHandle = nullptr;
    zipPositions.clear();
    gzip.reset();
    closeWalker();
    entrySizes.clear();
    lhaNamesAsLatin1 = false;
    archiveKind = kNotOpen;
}

bool MetaContainer::refuseLarge(const MetaMember& member) {
    if (member.size <= kMaxMemberSize) return false;
    refusalText = VGM::tooLargeLine("Archive", "the member " + member.displayName, member.size);
    return true;
}

// The size and the first four bytes of the file at the path.
bool MetaContainer::readMagicFromPath() {
    if (sourcePath.empty()) return false;
    const int64_t length = fileSize(sourcePath);
    FILE* f = fileExists(sourcePath) ? std::fopen(sourcePath.c_str(), "rb") : nullptr;
    if (!f) return false;
    std::memset(head, 0, sizeof head);
    const size_t got = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    sourceSize = static_cast<uint64_t>(length);
    magicWord = (got >= 4 && sourceSize >= 5) ? littleEndian32(head) : 0;
    return true;
}

std::string MetaContainer::tooManyEntries() {
    return "Archive: the archive lists more than " + std::to_string(VGM::kMaxArchiveEntries) +
           " entries, the most one may hold; it is refused\n";
}

bool MetaContainer::open() {
    refusalText.clear();
    members.clear();
    closeArchive();
    if (magicWord == 0 || sourceSize == 0) {
        if (source == kSourceMemory) return false;
        if (!readMagicFromPath()) return false;
    }
    if (magicWord == kMagic7z) return openWalk(k7z);
    if (magicWord == kMagicZip) return openZip();
    if ((magicWord & 0xFFFFFF) == kMagicGzip) return openGzip();
    if (looksLikeLha(head, sourceSize)) return openWalk(kLha);
    return false;
}

bool MetaContainer::extractToMemory(const MetaMember& member, uint8_t* destination) {
    refusalText.clear();
    if (!destination || refuseLarge(member)) return false;
    switch (archiveKind) {
    case kZip:
        return extractZip(member, destination);
    case kGzip: {
        uint64_t total = 0;
        return inflateGzip(destination, member.size, total) == GzipResult::kDone &&
               total == member.size;
    }
    case k7z:
    case kLha: {
        std::vector<uint8_t> bytes;
        if (!extractWalk(member, bytes)) return false;
        std::memcpy(destination, bytes.data(), bytes.size());
        return true;
    }
    default:
        return false;
    }
}

bool MetaContainer::extractToVector(const MetaMember& member, std::vector<uint8_t>& out) {
    refusalText.clear();
    // A gzip lists the size its last member's trailer states, a claim only:
    // the members are bounded and checked while they inflate.
    if (archiveKind == kGzip) return extractGzip(member, out);
    if (member.size == 0 || refuseLarge(member)) return false;
    // 7z and LHA tell no packed size per member: the vector grows with the data instead.
    if (isWalkKind()) return extractWalk(member, out);
    // A packed size beyond the archive, or an unpacked size deflate cannot
    // reach from it, is a lie: nothing is allocated for it.
    if (member.packedSize > sourceSize && sourceSize > 0) return false;
    if (member.packedSize && member.size > deflateBound(member.packedSize)) return false;
    out.assign(static_cast<size_t>(member.size), 0);
    return extractToMemory(member, out.data());
}

bool MetaContainer::extractToFile(const MetaMember& member, const std::string& directory) {
    if (archiveKind != kZip && !isWalkKind()) return false;
    if (!nameIsSafeBelowFolder(member.displayName)) return false;
    std::vector<uint8_t> bytes;
    if (!extractToVector(member, bytes)) return false;
    const std::string target =
        directory.empty() ? member.displayName : directory + "/" + member.displayName;
    return binFileExternalize(target, bytes.data(), bytes.size());
}

// ---- zip ------------------------------------------------------------------------

bool MetaContainer::openZip() {
    if (source == kSourceMemory) {
        removeTempCopy();
        const std::string temp = makeTempFileName(".deleteme");
        sourcePath = temp;
        wroteTempCopy = true;
        if (!binFileExternalize(temp, sourceData, sourceSize)) return false;
    }
    unzFile zf = unzOpen64(sourcePath.c_str());
    if (!zf) return false;
    zipHandle = zf;
    archiveKind = kZip;
    unz_global_info64 global{};
    if (unzGetGlobalInfo64(zf, &global) != UNZ_OK) return false;
    if (global.number_entry > VGM::kMaxArchiveEntries) {
        refusalText = tooManyEntries();
        return false;
    }
    members.reserve(static_cast<size_t>(std::min<ZPOS64_T>(global.number_entry, 4096)));
    for (ZPOS64_T i = 0; i < global.number_entry; ++i) {
        unz_file_info64 info{};
        char name[256] = {};
        if (unzGetCurrentFileInfo64(zf, &info, name, 255, nullptr, 0, nullptr, 0) != UNZ_OK) break;
        MetaMember m;
        m.storedName.assign(name, std::min<uLong>(info.size_filename, 255));
        m.storedName.resize(std::strlen(m.storedName.c_str()));
        m.encoding = (info.flag & 0x800) ? UTF8 : OEM;
        m.displayName = VNTRConv(m.storedName, m.encoding);
        m.size = info.uncompressed_size;
        m.packedSize = info.compressed_size ? info.compressed_size : 1;
        m.index = i;
        unz64_file_pos position{};
        if (unzGetFilePos64(zf, &position) != UNZ_OK) break;
        zipPositions.emplace_back(position.pos_in_zip_directory, position.num_of_file);
        members.push_back(std::move(m));
        ++done.entriesVisited;
        if (i + 1 < global.number_entry && unzGoToNextFile(zf) != UNZ_OK) break;
    }
    return members.size() == global.number_entry;
}

bool MetaContainer::locateZip(const MetaMember& member) {
    unzFile zf = static_cast<unzFile>(zipHandle);
    if (member.index < zipPositions.size() && member.index < members.size() &&
        members[member.index].storedName == member.storedName) {
        unz64_file_pos position{zipPositions[member.index].first,
                                zipPositions[member.index].second};
        ++done.entriesVisited;
        return unzGoToFilePos64(zf, &position) == UNZ_OK;
    }
    // minizip searches the directory from its first entry.
    done.entriesVisited += members.size();
    return unzLocateFile(zf, member.storedName.c_str(), 1) == UNZ_OK;
}

bool MetaContainer::extractZip(const MetaMember& member, uint8_t* destination) {
    unzFile zf = static_cast<unzFile>(zipHandle);
    if (!zf || member.size > kMaxMemberSize) return false;
    if (!locateZip(member)) return false;
    if (unzOpenCurrentFile(zf) != UNZ_OK) return false;
    unz_file_info64 info{};
    bool ok = unzGetCurrentFileInfo64(zf, &info, nullptr, 0, nullptr, 0, nullptr, 0) == UNZ_OK &&
              info.uncompressed_size == member.size;
    uint64_t filled = 0;
    if (ok) {
        std::memset(destination, 0, static_cast<size_t>(member.size));
        while (filled < member.size) {
            const int got = unzReadCurrentFile(zf, destination + filled,
                                               static_cast<unsigned>(member.size - filled));
            if (got <= 0) break;
            filled += static_cast<uint64_t>(got);
        }
    }
    done.bytesUnpacked += filled;
    // Closing checks the CRC once the whole member was read.
    const bool closed = unzCloseCurrentFile(zf) == UNZ_OK;
    return ok && closed && filled == member.size;
}

// ---- gzip -----------------------------------------------------------------------

bool MetaContainer::openGzip() {
    archiveKind = kGzip;
    gzip = std::make_unique<GzipState>();
    GzipState& g = *gzip;
    ByteCursor in;
    FILE* f = nullptr;
    if (source == kSourceMemory) {
        in.data = sourceData;
        in.size = sourceSize;
    } else {
        f = std::fopen(sourcePath.c_str(), "rb");
        if (!f) return false;
        in.file = f;
        in.size = sourceSize;
    }
    g.totalSize = in.size;
    bool ok = g.totalSize >= 18 && in.bytes(g.header, 10);
    g.headerLength = 10;
    const uint8_t flags = g.header[3];
    if (ok && (flags & 0x04)) { // FEXTRA
        uint8_t len[2];
        ok = in.bytes(len, 2);
        const uint64_t xlen = len[0] | (len[1] << 8);
        for (uint64_t i = 0; ok && i < xlen; ++i) {
            uint8_t skip;
            ok = in.byte(skip);
        }
        g.headerLength = xlen + 12;
    }
    if (ok && (flags & 0x08)) ok = in.text(g.name, 511);    // FNAME
    if (ok && (flags & 0x10)) ok = in.text(g.comment, 511); // FCOMMENT
    if (ok && (flags & 0x02)) {                             // FHCRC
        uint8_t crc[2];
        ok = in.bytes(crc, 2);
        g.headerCrc = static_cast<uint16_t>(crc[0] | (crc[1] << 8));
    }
    g.headerLength = in.pos;
    ok = ok && g.totalSize >= g.headerLength + 8;
    if (ok) {
        g.deflateLength = g.totalSize - g.headerLength - 8;
        if (source == kSourceMemory) {
            std::memcpy(g.trailer, sourceData + g.totalSize - 8, 8);
        } else {
            ok = ::fseeko(f, static_cast<off_t>(g.totalSize - 8), SEEK_SET) == 0 &&
                 std::fread(g.trailer, 1, 8, f) == 8;
        }
    }
    if (f) std::fclose(f);
    if (!ok) return false;

    MetaMember m;
    if (g.name[0]) {
        m.storedName = g.name;
        m.displayName = VNTRConv(m.storedName, UTF8);
    } else if (!sourcePath.empty()) {
        m.displayName = stripFileExtension(sourcePath);
    } else {
        m.displayName = "gzextract_noname.bin";
    }
    m.size = littleEndian32(g.trailer + 4); // ISIZE
    m.packedSize = g.deflateLength ? g.deflateLength : 1;
    m.index = 0;
    members.push_back(std::move(m));
    return true;
}

} // namespace vantor
