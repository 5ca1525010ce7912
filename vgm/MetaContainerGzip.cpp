// The gzip side of MetaContainer. A gzip file is one or more members (RFC
// 1952), each a header, a raw deflate stream and an 8-byte trailer holding
// the CRC-32 and the size (mod 2^32) of what the stream unpacks to; the
// members unpack to one file, one after the other, as zcat reads them. Every
// member is inflated and checked against its trailer, and the unpacked bytes
// are counted against the member bound while they come, so a gzip bomb stops
// at the bound whatever its trailers say. Bytes after a complete member that
// do not start another member are ignored, as gzip tools do.

#include "vgm/MetaContainer.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vantor {

namespace {

constexpr uint64_t kDeflateMaxRatio = 1032; // the most deflate can expand one byte
// A size read from the file's end is allocated for at once up to this much;
// past it only when the file is at least half as large.
constexpr uint64_t kTrustedSize = uint64_t(16) << 20;
constexpr size_t kChunk = 65536;

// Reads the source front to back, from memory or from an open file, and
// hands its bytes out one at a time (headers and trailers) or as a run
// (deflate data).
struct GzipSource {
    const uint8_t* data = nullptr;
    FILE* file = nullptr;
    uint64_t size = 0;
    uint64_t read = 0; // bytes of the source taken into `next`
    const uint8_t* next = nullptr;
    uint64_t avail = 0;
    std::vector<uint8_t> buffer;

    bool fill() {
        if (avail) return true;
        if (read >= size) return false;
        const uint64_t want = std::min<uint64_t>(size - read, data ? UINT32_MAX / 2 : kChunk);
        if (data) {
            next = data + read;
        } else {
            const size_t got = std::fread(buffer.data(), 1, static_cast<size_t>(want), file);
            if (got == 0) return false;
            next = buffer.data();
            avail = got;
            read += got;
            return true;
        }
        avail = want;
        read += want;
        return true;
    }
    bool byte(uint8_t& out) {
        if (!fill()) return false;
        out = *next++;
        --avail;
        return true;
    }
    bool skip(uint64_t n) {
        uint8_t c = 0;
        for (uint64_t i = 0; i < n; ++i)
            if (!byte(c)) return false;
        return true;
    }
    bool skipText() {
        uint8_t c = 1;
        while (c != 0)
            if (!byte(c)) return false;
        return true;
    }
    bool atEnd() { return !fill(); }
};

struct ZStream {
    z_stream zs{};
    bool ready = inflateInit2(&zs, -15) == Z_OK;
    ~ZStream() {
        if (ready) inflateEnd(&zs);
    }
};

std::string memberText(uint64_t n) {
    return "member " + std::to_string(n);
}

} // namespace

MetaContainer::GzipResult MetaContainer::inflateGzip(uint8_t* out, uint64_t room,
                                                     uint64_t& total) {
    total = 0;
    GzipSource in;
    in.size = sourceSize;
    struct Closer {
        FILE* f = nullptr;
        ~Closer() {
            if (f) std::fclose(f);
        }
    } closer;
    if (source == kSourceMemory) {
        in.data = sourceData;
    } else {
        closer.f = in.file = std::fopen(sourcePath.c_str(), "rb");
        if (!in.file) return GzipResult::kRefused;
        in.buffer.resize(kChunk);
    }
    ZStream z;
    if (!z.ready) return GzipResult::kRefused;
    std::vector<uint8_t> scratch(out ? 0 : kChunk);
    auto refuse = [&](const std::string& why) {
        refusalText = "Gzip: " + why + "\n";
        return GzipResult::kRefused;
    };

    for (uint64_t member = 1;; ++member) {
        ++done.entriesVisited;
        uint8_t h[10];
        size_t got = 0;
        while (got < sizeof h && in.byte(h[got])) ++got;
        const bool magic = got >= 3 && h[0] == 0x1F && h[1] == 0x8B && h[2] == 8;
        if (member > 1 && !magic) return GzipResult::kDone; // bytes after the last member
        if (!magic) return refuse("not gzip data");
        if (got < sizeof h)
            return refuse("the file ends inside the header of " + memberText(member) +
                          "; it is cut short");
        const uint8_t flags = h[3];
        if (flags & 0xE0)
            return refuse(memberText(member) + " sets header flags gzip does not define; the " +
                          "file is damaged");
        bool ok = true;
        if (flags & 0x04) { // FEXTRA
            uint8_t lo = 0, hi = 0;
            ok = in.byte(lo) && in.byte(hi) && in.skip(lo | (hi << 8));
        }
        if (ok && (flags & 0x08)) ok = in.skipText(); // FNAME
        if (ok && (flags & 0x10)) ok = in.skipText(); // FCOMMENT
        if (ok && (flags & 0x02)) ok = in.skip(2);    // FHCRC
        if (!ok)
            return refuse("the file ends inside the header of " + memberText(member) +
                          "; it is cut short");

        inflateReset(&z.zs);
        uLong crc = crc32(0L, Z_NULL, 0);
        uint64_t memberSize = 0;
        for (;;) {
            if (!in.fill())
                return refuse("the file ends inside the compressed data of " +
                              memberText(member) + "; it is cut short");
            uint8_t* target = out ? out + total : scratch.data();
            const uint64_t space = out ? std::min<uint64_t>(room - total, UINT32_MAX / 2) : kChunk;
            z.zs.next_in = const_cast<uint8_t*>(in.next);
            z.zs.avail_in = static_cast<uInt>(std::min<uint64_t>(in.avail, UINT32_MAX / 2));
            const uInt offered = z.zs.avail_in;
            z.zs.next_out = target;
            z.zs.avail_out = static_cast<uInt>(space);
            const int result = inflate(&z.zs, Z_NO_FLUSH);
            const uint64_t produced = space - z.zs.avail_out;
            in.next += offered - z.zs.avail_in;
            in.avail -= offered - z.zs.avail_in;
            crc = crc32(crc, target, static_cast<uInt>(produced));
            total += produced;
            memberSize += produced;
            done.bytesUnpacked += produced;
            if (total > kMaxMemberSize)
                return refuse("the data unpacks past " + std::to_string(kMaxMemberSize >> 20) +
                              " MB, the most a media file may hold; it is refused");
            if (result == Z_STREAM_END) break;
            if (result == Z_BUF_ERROR && z.zs.avail_in > 0 && out && total == room)
                return GzipResult::kNoRoom;
            if (result != Z_OK && result != Z_BUF_ERROR)
                return refuse("the compressed data of " + memberText(member) +
                              " is damaged (" + (z.zs.msg ? z.zs.msg : "inflate failed") + ")");
        }
        uint8_t t[8];
        for (uint8_t& b : t)
            if (!in.byte(b))
                return refuse("the file ends inside the trailer of " + memberText(member) +
                              "; it is cut short");
        const uint32_t statedCrc = t[0] | (t[1] << 8) | (t[2] << 16) | (uint32_t(t[3]) << 24);
        const uint32_t statedSize = t[4] | (t[5] << 8) | (t[6] << 16) | (uint32_t(t[7]) << 24);
        if (statedCrc != static_cast<uint32_t>(crc))
            return refuse("the data of " + memberText(member) +
                          " fails its CRC-32 check; the file is damaged");
        if (statedSize != static_cast<uint32_t>(memberSize))
            return refuse(memberText(member) + " unpacks to " + std::to_string(memberSize) +
                          " bytes, not the " + std::to_string(statedSize) +
                          " its trailer states; the file is damaged");
        if (in.atEnd()) return GzipResult::kDone;
    }
}

// The last trailer's size fits a file of one member exactly, which is nearly
// every file: it is inflated once. When the data goes on past it, the members
// are counted first and then unpacked into a buffer of their exact size, so
// the buffer never holds more room than the data.
bool MetaContainer::extractGzip(const MetaMember& member, std::vector<uint8_t>& out) {
    ++done.walks;
    // A size past the bound, or one the data cannot reach, is not allocated
    // for; nor a large one the data need not reach (a short file claiming
    // many megabytes): those files are counted first.
    const uint64_t hint = member.size;
    const bool trusted = hint > 0 && hint <= kMaxMemberSize &&
                         hint <= sourceSize * kDeflateMaxRatio &&
                         (hint <= kTrustedSize || hint <= 2 * sourceSize);
    out.assign(static_cast<size_t>(trusted ? hint : 0), 0);
    uint64_t total = 0;
    GzipResult result = trusted ? inflateGzip(out.data(), hint, total) : GzipResult::kNoRoom;
    if (result == GzipResult::kNoRoom) {
        out.clear();
        out.shrink_to_fit();
        result = inflateGzip(nullptr, 0, total);
        if (result == GzipResult::kDone) {
            out.assign(static_cast<size_t>(total), 0);
            result = inflateGzip(out.data(), total, total);
        }
    }
    // Bytes after the last member may make the size read from the file's
    // end larger than the members hold.
    if (result == GzipResult::kDone && total < out.size()) out.resize(static_cast<size_t>(total));
    if (result != GzipResult::kDone || total != out.size()) {
        out.clear();
        return false;
    }
    return true;
}

} // namespace vantor
